#include "chain.hpp"

#include <algorithm>

namespace oxa_core {

namespace {

// Counts the enumerators of ChainType. The switch names each of them, so the
// compiler (-Wswitch, an error in our builds) stops at a new family missing
// here, and the assertion below then asks for its row in FAMILIES.
consteval std::size_t chain_type_count() {
    std::size_t count = 0;
    for (unsigned value = 0; value <= UINT8_MAX; ++value) {
        switch (static_cast<ChainType>(value)) {
            case ChainType::Evm:
            case ChainType::Solana:
            case ChainType::Cosmos:
            case ChainType::Bitcoin:
            case ChainType::Tron:
            case ChainType::Ton: ++count; break;
        }
    }
    return count;
}
static_assert(chain_type_count() == FAMILIES.size(), "every family needs a row in FAMILIES");

consteval bool each_family_once() {
    std::array<bool, FAMILIES.size()> seen{};
    for (const Family& family : FAMILIES) {
        const auto value = static_cast<std::size_t>(family.type);
        if (value >= seen.size() || seen[value]) return false;
        seen[value] = true;
    }
    return true;
}
static_assert(each_family_once(), "a family has two rows in FAMILIES");

consteval const Chain* find_chain_id(std::string_view chain_id) {
    for (const Chain& chain : KNOWN_CHAINS) {
        if (chain.chain_id == chain_id) return &chain;
    }
    return nullptr;
}

consteval bool defaults_are_chains_of_their_family() {
    for (const Family& family : FAMILIES) {
        const Chain* chain = find_chain_id(family.default_chain);
        if (chain == nullptr || chain->chain_type != family.type) return false;
    }
    return true;
}
static_assert(defaults_are_chains_of_their_family(), "a default chain is missing or misfiled");

consteval bool chain_ids_carry_their_namespace() {
    for (const Chain& chain : KNOWN_CHAINS) {
        const Family* owner = nullptr;
        for (const Family& family : FAMILIES) {
            if (family.type == chain.chain_type) owner = &family;
        }
        if (owner == nullptr || !chain.chain_id.starts_with(owner->caip2_namespace) ||
            chain.chain_id.substr(owner->caip2_namespace.size(), 1) != ":") {
            return false;
        }
    }
    return true;
}
static_assert(chain_ids_carry_their_namespace(), "a chain id does not match its family");

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

const Family& family(ChainType type) noexcept {
    static constexpr std::array<std::size_t, FAMILIES.size()> ROW = [] {
        std::array<std::size_t, FAMILIES.size()> rows{};
        for (std::size_t i = 0; i < FAMILIES.size(); ++i) {
            rows[static_cast<std::size_t>(FAMILIES[i].type)] = i;
        }
        return rows;
    }();
    return FAMILIES[ROW[static_cast<std::size_t>(type)]];
}

std::string_view chain_type_name(ChainType type) noexcept { return family(type).name; }

std::optional<ChainType> chain_type_from_name(std::string_view name) noexcept {
    for (const Family& family : FAMILIES) {
        if (family.name == name) return family.type;
    }
    return std::nullopt;
}

Result<Chain, std::string> parse_chain(std::string_view input) {
    const std::string lower = ascii_lowercase(input);
    if (lower == "evm") return default_chain_for_type(ChainType::Evm);
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
    const std::string_view wanted = family(type).default_chain;
    // Found for every family: checked when this file is compiled.
    return *std::find_if(KNOWN_CHAINS.begin(), KNOWN_CHAINS.end(),
                         [&](const Chain& chain) { return chain.chain_id == wanted; });
}

std::string_view chain_namespace(ChainType type) noexcept { return family(type).caip2_namespace; }

}  // namespace oxa_core
