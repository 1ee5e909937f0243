#include "chain.hpp"

#include <algorithm>

namespace oxa_core {

std::string_view chain_type_name(ChainType type) noexcept {
    switch (type) {
        case ChainType::Evm: return "evm";
        case ChainType::Solana: return "solana";
        case ChainType::Cosmos: return "cosmos";
        case ChainType::Bitcoin: return "bitcoin";
        case ChainType::Tron: return "tron";
        case ChainType::Ton: return "ton";
    }
    return "";
}

std::optional<ChainType> chain_type_from_name(std::string_view name) noexcept {
    for (ChainType type : ALL_CHAIN_TYPES) {
        if (chain_type_name(type) == name) return type;
    }
    return std::nullopt;
}

namespace {

// ASCII folding is enough: the only non-ASCII characters whose Unicode
// lowercase is ASCII (such as the Kelvin sign, which folds to "k") cannot
// complete any chain name, so full case mapping would match the same inputs.
std::string ascii_lowercase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

}  // namespace

Result<Chain, std::string> parse_chain(std::string_view input) {
    const std::string lower = ascii_lowercase(input);
    if (lower == "evm") return KNOWN_CHAINS[0];
    for (const Chain& chain : KNOWN_CHAINS) {
        if (chain.name == lower) return chain;
    }
    // CAIP-2 ids are matched as typed: namespaces and references are case-sensitive.
    for (const Chain& chain : KNOWN_CHAINS) {
        if (chain.chain_id == input) return chain;
    }
    return Err{"unknown chain: '" + std::string(input) +
               "'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"};
}

Chain default_chain_for_type(ChainType type) noexcept {
    switch (type) {
        case ChainType::Evm: return KNOWN_CHAINS[0];
        case ChainType::Solana: return KNOWN_CHAINS[7];
        case ChainType::Bitcoin: return KNOWN_CHAINS[8];
        case ChainType::Cosmos: return KNOWN_CHAINS[9];
        case ChainType::Tron: return KNOWN_CHAINS[10];
        case ChainType::Ton: return KNOWN_CHAINS[11];
    }
    return KNOWN_CHAINS[0];
}

std::string_view chain_namespace(ChainType type) noexcept {
    switch (type) {
        case ChainType::Evm: return "eip155";
        case ChainType::Solana: return "solana";
        case ChainType::Cosmos: return "cosmos";
        case ChainType::Bitcoin: return "bip122";
        case ChainType::Tron: return "tron";
        case ChainType::Ton: return "ton";
    }
    return "";
}

}  // namespace oxa_core
