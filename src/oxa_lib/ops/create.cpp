#include "oxa_lib/ops.hpp"

#include "accounts.hpp"
#include "key_pair_wallet.hpp"
#include "oxa_core/chain.hpp"
#include "oxa_signer/mnemonic.hpp"
#include "oxa_signer/traits.hpp"
#include "seal.hpp"

namespace oxa_lib {

namespace {

LibResult<WalletInfo> store_mnemonic_wallet(std::string_view name,
                                            const oxa_signer::Mnemonic& mnemonic,
                                            std::uint32_t index, std::string_view passphrase,
                                            const VaultPath& vault) {
    auto accounts = derive_all_accounts(mnemonic, index);
    if (!accounts) return Err{std::move(accounts).error()};
    const oxa_signer::SecretBytes phrase = mnemonic.phrase();
    return seal_and_store(name, std::move(accounts).value(), phrase, passphrase,
                          oxa_core::KeyType::Mnemonic, vault);
}

LibResult<oxa_signer::SecretBytes> decode_hex_key(std::string_view text) {
    return decode_secret_hex(text, "invalid hex private key: ", true);
}

/// The curve the main key argument is for: the chain's, or secp256k1.
LibResult<oxa_signer::Curve> curve_of_chain(OptText chain) {
    if (!chain) return oxa_signer::Curve::Secp256k1;
    auto parsed = oxa_core::parse_chain(*chain);
    if (!parsed) return Err{OxaLibError::invalid_input(parsed.error())};
    return oxa_signer::signer_for_chain(parsed.value().chain_type)->curve();
}

/// The key of the other curve: its own argument if given, else the random bytes.
LibResult<oxa_signer::SecretBytes> other_curve_key(OptText argument,
                                                   oxa_signer::SecretBytes& random_key) {
    if (argument) return decode_hex_key(*argument);
    return std::move(random_key);
}

LibResult<KeyPair> choose_keys(std::string_view private_key_hex, OptText chain,
                               OptText secp256k1_key, OptText ed25519_key) {
    if (secp256k1_key && ed25519_key) {
        // Both curves given: the main key and the chain are not looked at.
        auto secp = decode_hex_key(*secp256k1_key);
        if (!secp) return Err{std::move(secp).error()};
        auto ed = decode_hex_key(*ed25519_key);
        if (!ed) return Err{std::move(ed).error()};
        return KeyPair{std::move(secp).value(), std::move(ed).value()};
    }
    auto main_key = decode_hex_key(private_key_hex);
    if (!main_key) return Err{std::move(main_key).error()};
    auto curve = curve_of_chain(chain);
    if (!curve) return Err{std::move(curve).error()};
    oxa_signer::SecretBytes random_key = random_private_key();
    const bool secp_main = curve.value() == oxa_signer::Curve::Secp256k1;
    auto other = other_curve_key(secp_main ? ed25519_key : secp256k1_key, random_key);
    if (!other) return Err{std::move(other).error()};
    return key_pair_of(std::move(main_key).value(), curve.value(), std::move(other).value());
}

}  // namespace

LibResult<WalletInfo> create_wallet(std::string_view name, OptIndex words, OptText passphrase,
                                    const VaultPath& vault) {
    const std::uint32_t count = words.value_or(12);
    if (count != 12 && count != 24) {
        return Err{OxaLibError::invalid_input("words must be 12 or 24")};
    }
    auto lock = lock_with_free_name(name, vault);
    if (!lock) return Err{std::move(lock).error()};
    auto mnemonic = oxa_signer::Mnemonic::generate(count == 12 ? oxa_signer::WordCount::Twelve
                                                               : oxa_signer::WordCount::TwentyFour);
    if (!mnemonic) return Err{OxaLibError(mnemonic.error())};
    return store_mnemonic_wallet(name, mnemonic.value(), 0, passphrase.value_or(""), vault);
}

LibResult<WalletInfo> import_wallet_mnemonic(std::string_view name, std::string_view phrase,
                                             OptText passphrase, OptIndex index,
                                             const VaultPath& vault) {
    auto lock = lock_with_free_name(name, vault);
    if (!lock) return Err{std::move(lock).error()};
    auto mnemonic = oxa_signer::Mnemonic::from_phrase(phrase);
    if (!mnemonic) return Err{OxaLibError(mnemonic.error())};
    return store_mnemonic_wallet(name, mnemonic.value(), index.value_or(0), passphrase.value_or(""),
                                 vault);
}

LibResult<WalletInfo> import_wallet_private_key(std::string_view name,
                                                std::string_view private_key_hex, OptText chain,
                                                OptText passphrase, const VaultPath& vault,
                                                OptText secp256k1_key, OptText ed25519_key) {
    auto lock = lock_with_free_name(name, vault);
    if (!lock) return Err{std::move(lock).error()};
    auto keys = choose_keys(private_key_hex, chain, secp256k1_key, ed25519_key);
    if (!keys) return Err{std::move(keys).error()};
    return store_key_pair_wallet(name, keys.value(), passphrase.value_or(""), vault);
}

}  // namespace oxa_lib
