#include "keystore.hpp"

#include <openssl/evp.h>
#include <sodium.h>

#include <array>
#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "cipher_context.hpp"
#include "encoding/hex.hpp"
#include "hashes.hpp"
#include "keccak.hpp"
#include "random.hpp"
#include "scrypt/scrypt.hpp"

namespace oxa_signer {
namespace {

using oxa_core::Err;
using oxa_core::KeystoreCrypto;
using oxa_core::KeystoreKdf;
using oxa_core::Result;
using oxa_core::Status;

constexpr std::size_t DERIVED_BYTES = 32;
constexpr std::size_t CIPHER_KEY_BYTES = 16;
constexpr std::size_t IV_BYTES = 16;
constexpr std::size_t MAC_BYTES = 32;
constexpr std::size_t SALT_BYTES = 32;
constexpr std::string_view PRF = "hmac-sha256";

using DerivedKey = SecretArray<DERIVED_BYTES>;

CryptoError invalid_params(std::string text) {
    return {CryptoError::Kind::InvalidParams, std::move(text)};
}

struct DecodedCrypto {
    std::vector<std::uint8_t> salt;
    std::vector<std::uint8_t> iv;
    std::vector<std::uint8_t> ciphertext;
    std::vector<std::uint8_t> mac;
};

Status<std::string> decode_member(std::string_view name, const std::string& hex,
                                  std::vector<std::uint8_t>& out) {
    auto bytes = hex_decode(hex);
    if (!bytes) return Err{"invalid hex in " + std::string(name) + ": " + bytes.error()};
    out = std::move(bytes).value();
    return oxa_core::OK;
}

Status<std::string> check_length(std::string_view name, std::size_t size, std::size_t expected) {
    if (size == expected) return oxa_core::OK;
    return Err{std::string(name) + " must be " + std::to_string(expected) + " bytes, got " +
               std::to_string(size)};
}

Result<DecodedCrypto, std::string> decode(const KeystoreCrypto& crypto) {
    DecodedCrypto out;
    if (auto step = decode_member("salt", crypto.salt, out.salt); !step) return Err{step.error()};
    if (auto step = decode_member("iv", crypto.iv, out.iv); !step) return Err{step.error()};
    if (auto step = decode_member("ciphertext", crypto.ciphertext, out.ciphertext); !step) {
        return Err{step.error()};
    }
    if (auto step = decode_member("mac", crypto.mac, out.mac); !step) return Err{step.error()};
    if (auto step = check_length("iv", out.iv.size(), IV_BYTES); !step) return Err{step.error()};
    if (auto step = check_length("key", out.ciphertext.size(), KEYSTORE_KEY_BYTES); !step) {
        return Err{step.error()};
    }
    if (auto step = check_length("mac", out.mac.size(), MAC_BYTES); !step) {
        return Err{step.error()};
    }
    return out;
}

bool is_power_of_two(std::uint32_t n) { return n != 0 && (n & (n - 1)) == 0; }

// Lower costs than our own envelope's are fine here: the keystore's author
// chose them, and opening one never writes it back.
Status<std::string> check_kdf(const KeystoreCrypto& crypto) {
    if (crypto.dklen != DERIVED_BYTES) {
        return Err{"dklen=" + std::to_string(crypto.dklen) + " is unsupported, expected exactly " +
                   std::to_string(DERIVED_BYTES)};
    }
    if (crypto.kdf == KeystoreKdf::Pbkdf2) {
        if (crypto.prf != PRF) {
            return Err{"unsupported pbkdf2 prf '" + crypto.prf + "' (expected " + std::string(PRF) +
                       ")"};
        }
        if (crypto.c == 0 || crypto.c > MAX_PBKDF2_ITERATIONS) {
            return Err{"pbkdf2 c=" + std::to_string(crypto.c) + " is outside 1 to " +
                       std::to_string(MAX_PBKDF2_ITERATIONS)};
        }
        return oxa_core::OK;
    }
    if (crypto.n < 2 || !is_power_of_two(crypto.n)) {
        return Err{"scrypt N must be a power of 2 above 1, got " + std::to_string(crypto.n)};
    }
    if (crypto.r == 0 || crypto.p == 0) {
        return Err{"scrypt r and p must be at least 1, got r=" + std::to_string(crypto.r) +
                   ", p=" + std::to_string(crypto.p)};
    }
    return check_scrypt_limits({crypto.n, crypto.r, crypto.p});
}

bool derive(const KeystoreCrypto& crypto, std::span<const std::uint8_t> password,
            std::span<const std::uint8_t> salt, DerivedKey& derived) {
    if (crypto.kdf == KeystoreKdf::Pbkdf2) {
        pbkdf2_hmac_sha256(password, salt, crypto.c, derived.mutable_bytes());
        return true;
    }
    return scrypt(password, salt, {crypto.n, crypto.r, crypto.p}, derived.mutable_bytes());
}

Bytes32 mac_of(const DerivedKey& derived, std::span<const std::uint8_t> ciphertext) {
    Keccak256 hash;
    hash.update(derived.bytes().subspan<CIPHER_KEY_BYTES>());
    hash.update(ciphertext);
    return hash.finish();
}

// CTR is its own inverse: the same call seals and opens. `out` may be `in`.
bool aes128_ctr(const DerivedKey& derived, std::span<const std::uint8_t> iv,
                std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    const CipherContext ctx(EVP_CIPHER_CTX_new());
    int written = 0;
    int tail = 0;
    return ctx && in.size() == out.size() && in.size() <= static_cast<std::size_t>(INT_MAX) &&
           EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_ctr(), nullptr, derived.data(), iv.data()) ==
               1 &&
           EVP_EncryptUpdate(ctx.get(), out.data(), &written, in.data(),
                             static_cast<int>(in.size())) == 1 &&
           EVP_EncryptFinal_ex(ctx.get(), out.data() + written, &tail) == 1 &&
           static_cast<std::size_t>(written + tail) == in.size();
}

}  // namespace

Result<SecretBytes, CryptoError> open_keystore(const KeystoreCrypto& crypto,
                                               std::span<const std::uint8_t> password) {
    auto decoded = decode(crypto);
    if (!decoded) return Err{invalid_params(decoded.error())};
    if (auto checked = check_kdf(crypto); !checked) return Err{invalid_params(checked.error())};
    const DecodedCrypto& parts = decoded.value();

    DerivedKey derived;
    if (!derive(crypto, password, parts.salt, derived)) {
        return Err{CryptoError{CryptoError::Kind::DecryptionFailed, "key derivation failed"}};
    }
    // Nothing is decrypted under a key the MAC does not vouch for.
    const Bytes32 mac = mac_of(derived, parts.ciphertext);
    if (sodium_memcmp(mac.data(), parts.mac.data(), MAC_BYTES) != 0) {
        return Err{CryptoError{CryptoError::Kind::DecryptionFailed,
                               "wrong keystore passphrase or corrupted file"}};
    }
    SecretBytes key = SecretBytes::zeroed(KEYSTORE_KEY_BYTES);
    if (!aes128_ctr(derived, parts.iv, parts.ciphertext, key.mutable_bytes())) {
        return Err{CryptoError{CryptoError::Kind::DecryptionFailed, "aes-128-ctr failed"}};
    }
    return key;
}

Result<KeystoreCrypto, CryptoError> seal_keystore(
    std::span<const std::uint8_t, KEYSTORE_KEY_BYTES> key, std::span<const std::uint8_t> password) {
    std::array<std::uint8_t, SALT_BYTES> salt{};
    std::array<std::uint8_t, IV_BYTES> iv{};
    random_fill(salt);
    random_fill(iv);
    DerivedKey derived;
    if (!scrypt(password, salt, DEFAULT_SCRYPT_COST, derived.mutable_bytes())) {
        return Err{CryptoError{CryptoError::Kind::EncryptionFailed, "key derivation failed"}};
    }
    std::array<std::uint8_t, KEYSTORE_KEY_BYTES> ciphertext{};
    if (!aes128_ctr(derived, iv, key, ciphertext)) {
        return Err{CryptoError{CryptoError::Kind::EncryptionFailed, "aes-128-ctr failed"}};
    }
    KeystoreCrypto crypto;
    crypto.iv = hex_encode(iv);
    crypto.ciphertext = hex_encode(ciphertext);
    crypto.kdf = KeystoreKdf::Scrypt;
    crypto.dklen = DERIVED_BYTES;
    crypto.n = DEFAULT_SCRYPT_COST.n;
    crypto.r = DEFAULT_SCRYPT_COST.r;
    crypto.p = DEFAULT_SCRYPT_COST.p;
    crypto.salt = hex_encode(salt);
    crypto.mac = hex_encode(mac_of(derived, ciphertext));
    return crypto;
}

}  // namespace oxa_signer
