#pragma once
// The chain families and the twelve known chains.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "result.hpp"

namespace oxa_core {

/// Chain family; selects the signer. Declaration order is part of the format.
enum class ChainType : std::uint8_t { Evm, Solana, Cosmos, Bitcoin, Tron, Ton };

inline constexpr std::array<ChainType, 6> ALL_CHAIN_TYPES = {ChainType::Evm,    ChainType::Solana,
                                                             ChainType::Cosmos, ChainType::Bitcoin,
                                                             ChainType::Tron,   ChainType::Ton};

/// The order of the accounts of every universal wallet (Bitcoin before Cosmos).
inline constexpr std::array<ChainType, 6> ACCOUNT_ORDER = {ChainType::Evm,     ChainType::Solana,
                                                           ChainType::Bitcoin, ChainType::Cosmos,
                                                           ChainType::Tron,    ChainType::Ton};

/// "evm", "solana", "cosmos", "bitcoin", "tron" or "ton".
std::string_view chain_type_name(ChainType type) noexcept;

/// The family of one of the six lowercase names, case-sensitive.
std::optional<ChainType> chain_type_from_name(std::string_view name) noexcept;

/// A known chain: compile-time constant data.
struct Chain {
    std::string_view name;
    std::string_view chain_id;  // CAIP-2
    ChainType chain_type;
};

inline constexpr std::array<Chain, 12> KNOWN_CHAINS = {{
    {"ethereum", "eip155:1", ChainType::Evm},
    {"polygon", "eip155:137", ChainType::Evm},
    {"arbitrum", "eip155:42161", ChainType::Evm},
    {"optimism", "eip155:10", ChainType::Evm},
    {"base", "eip155:8453", ChainType::Evm},
    {"bsc", "eip155:56", ChainType::Evm},
    {"avalanche", "eip155:43114", ChainType::Evm},
    {"solana", "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp", ChainType::Solana},
    {"bitcoin", "bip122:000000000019d6689c085ae165831e93", ChainType::Bitcoin},
    {"cosmos", "cosmos:cosmoshub-4", ChainType::Cosmos},
    {"tron", "tron:mainnet", ChainType::Tron},
    {"ton", "ton:mainnet", ChainType::Ton},
}};

/// Resolves a chain name (any letter case; "evm" means ethereum) or an exact
/// CAIP-2 id. The error text quotes the input unchanged.
Result<Chain, std::string> parse_chain(std::string_view input);

/// The chain whose id every account of that family carries.
Chain default_chain_for_type(ChainType type) noexcept;

/// The CAIP-2 namespace of a family: "eip155", "solana", "cosmos", "bip122", "tron", "ton".
std::string_view chain_namespace(ChainType type) noexcept;

}  // namespace oxa_core
