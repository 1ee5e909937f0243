#include "oxa_lib/ops.hpp"

#include "oxa_core/chain.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/mnemonic.hpp"
#include "oxa_signer/nfkd.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_lib {

namespace {

constexpr std::uint32_t MAX_DERIVE_COUNT = 1000;

/// Every built-in path takes the index as one component, and components of
/// 2^31 or more are refused: the last index of a range stays below.
LibStatus check_range(std::uint32_t start, std::uint32_t count) {
    if (count < 1 || count > MAX_DERIVE_COUNT) {
        return Err{OxaLibError::invalid_input("count must be from 1 to " +
                                              std::to_string(MAX_DERIVE_COUNT) + ", got " +
                                              std::to_string(count))};
    }
    const std::uint64_t last = std::uint64_t{start} + count - 1;
    if (last >= oxa_signer::HARDENED_BIT) {
        return Err{OxaLibError::invalid_input("the last index start + count - 1 must be at most " +
                                              std::to_string(oxa_signer::HARDENED_BIT - 1) +
                                              ", got " + std::to_string(last))};
    }
    return oxa_core::OK;
}

}  // namespace

LibResult<std::string> derive_address(std::string_view phrase, std::string_view chain_text,
                                      OptIndex index) {
    // The chain is checked first: a bad chain and a bad phrase report the chain.
    auto chain = oxa_core::parse_chain(chain_text);
    if (!chain) return Err{OxaLibError::invalid_input(chain.error())};
    auto mnemonic = oxa_signer::Mnemonic::from_phrase(phrase);
    if (!mnemonic) return Err{OxaLibError(mnemonic.error())};
    const auto signer = oxa_signer::signer_for_chain(chain.value().chain_type);
    const std::string path = signer->default_derivation_path(index.value_or(0));
    auto key =
        oxa_signer::HdDeriver::derive_from_mnemonic(mnemonic.value(), "", path, signer->curve());
    if (!key) return Err{OxaLibError(key.error())};
    auto address = signer->derive_address(key.value().bytes());
    if (!address) return Err{OxaLibError(address.error())};
    return std::move(address).value();
}

LibResult<std::vector<DerivedAddress>> derive_addresses(std::string_view phrase,
                                                        std::string_view chain_text,
                                                        std::uint32_t start, std::uint32_t count,
                                                        OptText bip39_passphrase) {
    auto chain = oxa_core::parse_chain(chain_text);
    if (!chain) return Err{OxaLibError::invalid_input(chain.error())};
    if (auto range = check_range(start, count); !range) return Err{std::move(range).error()};
    auto mnemonic = oxa_signer::Mnemonic::from_phrase(phrase);
    if (!mnemonic) return Err{OxaLibError(mnemonic.error())};
    auto passphrase = oxa_signer::nfkd(bip39_passphrase.value_or(""));
    if (!passphrase) {
        return Err{OxaLibError::invalid_input("invalid BIP-39 passphrase: " + passphrase.error())};
    }
    // PBKDF2 once for the whole range; each account is then one path walk.
    const oxa_signer::SecretBytes seed = mnemonic.value().to_seed(passphrase.value().text());
    const auto signer = oxa_signer::signer_for_chain(chain.value().chain_type);
    std::vector<DerivedAddress> out;
    out.reserve(count);
    for (std::uint32_t index = start; index - start < count; ++index) {
        std::string path = signer->default_derivation_path(index);
        auto key = oxa_signer::HdDeriver::derive(seed.bytes(), path, signer->curve());
        if (!key) return Err{OxaLibError(key.error())};
        auto address = signer->derive_address(key.value().bytes());
        if (!address) return Err{OxaLibError(address.error())};
        out.push_back({index, std::move(address).value(), std::move(path)});
    }
    return out;
}

}  // namespace oxa_lib
