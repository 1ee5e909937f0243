#pragma once
// The sealed secret of a wallet file: scrypt (libsodium) derives a key from
// the passphrase, AES-256-GCM (OpenSSL) seals the secret.

#include <cstdint>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

#include "oxa_core/result.hpp"
#include "zeroizing.hpp"

namespace oxa_signer {

struct CryptoError {
    enum class Kind { EncryptionFailed, DecryptionFailed, InvalidParams };
    Kind kind;
    std::string text;

    /// "encryption failed: ", "decryption failed: " or "invalid parameters: " + text.
    std::string display() const;
};

struct KdfParams {
    std::uint32_t dklen = 32;
    std::uint32_t n = 65536;
    std::uint32_t r = 8;
    std::uint32_t p = 1;
    std::string salt;  // hex
};

struct CipherParams {
    std::string iv;  // hex
};

/// The envelope as stored; hex members are kept as text until decrypt().
struct CryptoEnvelope {
    std::string cipher;
    CipherParams cipherparams;
    std::string ciphertext;  // hex
    std::string auth_tag;  // hex
    std::string kdf;
    KdfParams kdfparams;
};

/// Seals `plaintext` under `password` with a fresh salt and nonce.
oxa_core::Result<CryptoEnvelope, CryptoError> encrypt(std::span<const std::uint8_t> plaintext,
                                                      std::span<const std::uint8_t> password);

/// Opens a sealed envelope. Every parameter check runs before the key
/// derivation, so a hostile envelope cannot make scrypt run with absurd cost:
/// besides the minimums (N = 2^16, r = 8, p = 1, dklen = 32) it refuses an iv
/// that is not 12 bytes, scrypt memory 128*N*r above 1 GiB and work N*r*p
/// above 2^23 (16 times the default), all as InvalidParams.
/// The members `cipher` and `kdf` are not examined. On failure no plaintext
/// leaves, and every buffer that held plaintext or key is wiped.
oxa_core::Result<SecretBytes, CryptoError> decrypt(const CryptoEnvelope& envelope,
                                                   std::span<const std::uint8_t> password);

/// The envelope as a generic JSON object (members sorted by name, as every
/// generic object here), the form stored as a wallet file's `crypto` member.
nlohmann::json envelope_to_json(const CryptoEnvelope& envelope);

/// Reads the envelope from its generic JSON value. Each record is an object
/// (unknown members ignored) or an array of its members in declared order.
/// Errors are the JSON reader's texts, e.g. "missing field `salt`",
/// "invalid type: string \"x\", expected u32",
/// "invalid length 2, expected struct KdfParams with 5 elements".
oxa_core::Result<CryptoEnvelope, std::string> envelope_from_json(const nlohmann::json& value);

}  // namespace oxa_signer
