#pragma once
// The chain families and the known chains: one table for each, and every
// other list of families or chains derived from them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "result.hpp"

namespace oxa_core {

/// Chain family; selects the signer. The values are the families' positions in
/// the wallet file's list of names, so their order is part of the format.
enum class ChainType : std::uint8_t { Evm, Solana, Cosmos, Bitcoin, Tron, Ton };

/// What is fixed about a family.
struct Family {
    ChainType type;
    std::string_view name;  // lowercase, as written in files and errors
    std::string_view caip2_namespace;  // the first part of its chains' CAIP-2 ids
    std::string_view default_chain;  // CAIP-2 id that every account of the family carries
};

/// Every family, in the order of a universal wallet's accounts (Bitcoin before
/// Cosmos). Adding a family: see CONTRIBUTING.md.
inline constexpr std::array<Family, 6> FAMILIES = {{
    {ChainType::Evm, "evm", "eip155", "eip155:1"},
    {ChainType::Solana, "solana", "solana", "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp"},
    {ChainType::Bitcoin, "bitcoin", "bip122", "bip122:000000000019d6689c085ae165831e93"},
    {ChainType::Cosmos, "cosmos", "cosmos", "cosmos:cosmoshub-4"},
    {ChainType::Tron, "tron", "tron", "tron:mainnet"},
    {ChainType::Ton, "ton", "ton", "ton:mainnet"},
}};

/// A known chain: compile-time constant data.
struct Chain {
    std::string_view name;
    std::string_view chain_id;  // CAIP-2
    ChainType chain_type;
    std::string_view default_rpc;  // a public mainnet endpoint: https, no trailing slash
};

inline constexpr std::array<Chain, 12> KNOWN_CHAINS = {{
    {"ethereum", "eip155:1", ChainType::Evm, "https://ethereum-rpc.publicnode.com"},
    {"polygon", "eip155:137", ChainType::Evm, "https://polygon-rpc.com"},
    {"arbitrum", "eip155:42161", ChainType::Evm, "https://arb1.arbitrum.io/rpc"},
    {"optimism", "eip155:10", ChainType::Evm, "https://mainnet.optimism.io"},
    {"base", "eip155:8453", ChainType::Evm, "https://mainnet.base.org"},
    {"bsc", "eip155:56", ChainType::Evm, "https://bsc-dataseed.bnbchain.org"},
    {"avalanche", "eip155:43114", ChainType::Evm, "https://api.avax.network/ext/bc/C/rpc"},
    {"solana", "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp", ChainType::Solana,
     "https://api.mainnet-beta.solana.com"},
    {"bitcoin", "bip122:000000000019d6689c085ae165831e93", ChainType::Bitcoin,
     "https://blockstream.info/api"},
    {"cosmos", "cosmos:cosmoshub-4", ChainType::Cosmos, "https://cosmos-rest.publicnode.com"},
    {"tron", "tron:mainnet", ChainType::Tron, "https://api.trongrid.io"},
    {"ton", "ton:mainnet", ChainType::Ton, "https://toncenter.com/api/v2"},
}};

/// Every family in declaration order (by ChainType value).
inline constexpr std::array<ChainType, FAMILIES.size()> ALL_CHAIN_TYPES = [] {
    std::array<ChainType, FAMILIES.size()> types{};
    for (const Family& family : FAMILIES)
        types[static_cast<std::size_t>(family.type)] = family.type;
    return types;
}();

/// Every family in the order of a universal wallet's accounts.
inline constexpr std::array<ChainType, FAMILIES.size()> ACCOUNT_ORDER = [] {
    std::array<ChainType, FAMILIES.size()> types{};
    for (std::size_t i = 0; i < FAMILIES.size(); ++i) types[i] = FAMILIES[i].type;
    return types;
}();

/// The facts of a family.
const Family& family(ChainType type) noexcept;

/// "evm", "solana", "cosmos", "bitcoin", "tron" or "ton".
std::string_view chain_type_name(ChainType type) noexcept;

/// The family of one of the six lowercase names, case-sensitive.
std::optional<ChainType> chain_type_from_name(std::string_view name) noexcept;

/// Resolves a chain name (any letter case; "evm" means ethereum) or an exact
/// CAIP-2 id. The error text quotes the input unchanged.
Result<Chain, std::string> parse_chain(std::string_view input);

/// The chain whose id every account of that family carries.
Chain default_chain_for_type(ChainType type) noexcept;

/// The CAIP-2 namespace of a family: "eip155", "solana", "cosmos", "bip122", "tron", "ton".
std::string_view chain_namespace(ChainType type) noexcept;

}  // namespace oxa_core
