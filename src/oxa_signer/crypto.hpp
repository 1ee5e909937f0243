#pragma once
// The sealed secret of a wallet file: scrypt (scrypt/scrypt.hpp) derives a
// key from the passphrase, AES-256-GCM (OpenSSL) seals the secret.

#include <cstdint>
#include <span>
#include <string>

#include "oxa_core/envelope.hpp"
#include "oxa_core/result.hpp"
#include "scrypt/scrypt.hpp"
#include "zeroizing.hpp"

namespace oxa_signer {

struct CryptoError {
    enum class Kind { EncryptionFailed, DecryptionFailed, InvalidParams };
    Kind kind;
    std::string text;

    /// "encryption failed: ", "decryption failed: " or "invalid parameters: " + text.
    std::string display() const;
};

using oxa_core::CipherParams;
using oxa_core::CryptoEnvelope;
using oxa_core::KdfParams;

/// The scrypt cost of a new envelope: N = 2^16, r = 8, p = 1 (64 MiB).
inline constexpr ScryptParams DEFAULT_SCRYPT_COST{std::uint32_t{1} << 16, 8, 1};

/// The log2 N a caller may choose for a new envelope, with r = 8 and p = 1:
/// from the default up to 20, the most that check_scrypt_limits admits.
inline constexpr std::uint32_t MIN_SCRYPT_LOG_N = 16;
inline constexpr std::uint32_t MAX_SCRYPT_LOG_N = 20;

/// The bounds on scrypt parameters that come from outside (a wallet file, a
/// keystore), checked before any derivation: memory 128*N*r at most 1 GiB
/// and work N*r*p at most 2^23 (16 times the default). The error is the text
/// of an InvalidParams.
oxa_core::Status<std::string> check_scrypt_limits(const ScryptParams& cost);

/// Seals `plaintext` under `password` with a fresh salt and nonce, at `cost`;
/// a cost that decrypt would refuse is refused here, as InvalidParams,
/// before any derivation.
oxa_core::Result<CryptoEnvelope, CryptoError> encrypt(
    std::span<const std::uint8_t> plaintext, std::span<const std::uint8_t> password,
    const ScryptParams& cost = DEFAULT_SCRYPT_COST);

/// Opens a sealed envelope. Every parameter check runs before the key
/// derivation, so a hostile envelope cannot make scrypt run with absurd cost:
/// besides the minimums (N = 2^16, r = 8, p = 1, dklen = 32) it refuses an iv
/// that is not 12 bytes, scrypt memory 128*N*r above 1 GiB and work N*r*p
/// above 2^23 (16 times the default), all as InvalidParams.
/// The members `cipher` and `kdf` are not examined. On failure no plaintext
/// leaves, and every buffer that held plaintext or key is wiped.
oxa_core::Result<SecretBytes, CryptoError> decrypt(const CryptoEnvelope& envelope,
                                                   std::span<const std::uint8_t> password);

}  // namespace oxa_signer
