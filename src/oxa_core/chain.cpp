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

// The checks below hold positions, not pointers: with the sanitizers, g++ no
// longer takes a table entry's address to be non-null, so comparing a pointer
// with nullptr is not a constant expression there.
consteval std::size_t position_of_chain_id(std::string_view chain_id) {
    for (std::size_t i = 0; i < KNOWN_CHAINS.size(); ++i) {
        if (KNOWN_CHAINS[i].chain_id == chain_id) return i;
    }
    return KNOWN_CHAINS.size();
}

consteval bool defaults_are_chains_of_their_family() {
    for (const Family& family : FAMILIES) {
        const std::size_t at = position_of_chain_id(family.default_chain);
        if (at == KNOWN_CHAINS.size() || KNOWN_CHAINS[at].chain_type != family.type) return false;
    }
    return true;
}
static_assert(defaults_are_chains_of_their_family(), "a default chain is missing or misfiled");

consteval std::size_t position_of_family(ChainType type) {
    for (std::size_t i = 0; i < FAMILIES.size(); ++i) {
        if (FAMILIES[i].type == type) return i;
    }
    return FAMILIES.size();
}

consteval bool chain_ids_carry_their_namespace() {
    for (const Chain& chain : KNOWN_CHAINS) {
        const std::size_t owner = position_of_family(chain.chain_type);
        if (owner == FAMILIES.size()) return false;
        const std::string_view prefix = FAMILIES[owner].caip2_namespace;
        if (!chain.chain_id.starts_with(prefix) || chain.chain_id.substr(prefix.size(), 1) != ":") {
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
