#include "oxa_lib/ops.hpp"

#include <array>

#include "accounts.hpp"
#include "oxa_core/chain.hpp"
#include "oxa_signer/mnemonic.hpp"
#include "oxa_signer/random.hpp"
#include "oxa_signer/traits.hpp"
#include "seal.hpp"

namespace oxa_lib {

namespace {

constexpr std::size_t RANDOM_KEY_BYTES = 32;

/// Takes the writer lock and checks that `name` is free.
LibResult<VaultWriteLock> lock_with_free_name(std::string_view name, const VaultPath& vault) {
    auto lock = VaultWriteLock::acquire(vault);
    if (!lock) return Err{std::move(lock).error()};
    auto taken = wallet_name_exists(name, vault);
    if (!taken) return Err{std::move(taken).error()};
    if (taken.value()) {
        return Err{OxaLibError::wallet_name_exists(std::string(name))};
    }
    return std::move(lock).value();
}

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

void append_hex(oxa_signer::SecretBytes& out, std::span<const std::uint8_t> bytes) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    for (std::uint8_t b : bytes) {
        const char pair[2] = {DIGITS[b >> 4], DIGITS[b & 15]};
        out.append(std::string_view(pair, 2));
    }
}

/// {"ed25519":"<hex>","secp256k1":"<hex>"}: members in name order, no blanks.
oxa_signer::SecretBytes key_pair_secret(const KeyPair& keys) {
    constexpr std::string_view OPEN = "{\"ed25519\":\"", MIDDLE = "\",\"secp256k1\":\"",
                               CLOSE = "\"}";
    oxa_signer::SecretBytes out = oxa_signer::SecretBytes::with_capacity(
        OPEN.size() + 2 * keys.ed25519.size() + MIDDLE.size() + 2 * keys.secp256k1.size() +
        CLOSE.size());
    out.append(OPEN);
    append_hex(out, keys.ed25519.bytes());
    out.append(MIDDLE);
    append_hex(out, keys.secp256k1.bytes());
    out.append(CLOSE);
    return out;
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
    oxa_signer::SecretBytes random_key = oxa_signer::SecretBytes::zeroed(RANDOM_KEY_BYTES);
    oxa_signer::random_fill(random_key.mutable_bytes());
    if (curve.value() == oxa_signer::Curve::Secp256k1) {
        auto ed = other_curve_key(ed25519_key, random_key);
        if (!ed) return Err{std::move(ed).error()};
        return KeyPair{std::move(main_key).value(), std::move(ed).value()};
    }
    auto secp = other_curve_key(secp256k1_key, random_key);
    if (!secp) return Err{std::move(secp).error()};
    return KeyPair{std::move(secp).value(), std::move(main_key).value()};
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
    auto accounts = accounts_from_key_pair(keys.value());
    if (!accounts) return Err{std::move(accounts).error()};
    const oxa_signer::SecretBytes secret = key_pair_secret(keys.value());
    return seal_and_store(name, std::move(accounts).value(), secret, passphrase.value_or(""),
                          oxa_core::KeyType::PrivateKey, vault);
}

}  // namespace oxa_lib
