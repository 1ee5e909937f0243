#include "key_pair_wallet.hpp"

#include "accounts.hpp"
#include "oxa_signer/random.hpp"
#include "seal.hpp"

namespace oxa_lib {

namespace {

constexpr std::size_t RANDOM_KEY_BYTES = 32;

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

}  // namespace

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

oxa_signer::SecretBytes random_private_key() {
    oxa_signer::SecretBytes key = oxa_signer::SecretBytes::zeroed(RANDOM_KEY_BYTES);
    oxa_signer::random_fill(key.mutable_bytes());
    return key;
}

KeyPair key_pair_of(oxa_signer::SecretBytes key, oxa_signer::Curve curve,
                    oxa_signer::SecretBytes other) {
    if (curve == oxa_signer::Curve::Secp256k1) return KeyPair{std::move(key), std::move(other)};
    return KeyPair{std::move(other), std::move(key)};
}

LibResult<WalletInfo> store_key_pair_wallet(std::string_view name, const KeyPair& keys,
                                            std::string_view passphrase, const VaultPath& vault) {
    auto accounts = accounts_from_key_pair(keys);
    if (!accounts) return Err{std::move(accounts).error()};
    const oxa_signer::SecretBytes secret = key_pair_secret(keys);
    return seal_and_store(name, std::move(accounts).value(), secret, passphrase,
                          oxa_core::KeyType::PrivateKey, vault);
}

}  // namespace oxa_lib
