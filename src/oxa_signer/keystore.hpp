#pragma once
// The key of an Ethereum keystore (Web3 Secret Storage, version 3): the KDF
// (scrypt or PBKDF2-HMAC-SHA256) derives 32 bytes from the passphrase; the
// first 16 key AES-128-CTR, the last 16 prove the passphrase through
// MAC = Keccak-256(last 16 || ciphertext).

#include <cstdint>
#include <span>

#include "crypto.hpp"
#include "oxa_core/keystore_file.hpp"
#include "oxa_core/result.hpp"
#include "zeroizing.hpp"

namespace oxa_signer {

inline constexpr std::size_t KEYSTORE_KEY_BYTES = 32;
inline constexpr std::uint32_t MAX_PBKDF2_ITERATIONS = 10'000'000;

/// Opens the key. Every check runs before the key derivation, so a keystore
/// from a stranger cannot stall or exhaust the process: hex members, a
/// 16-byte iv, a 32-byte key, a 32-byte mac, dklen 32; scrypt with N a power
/// of two above 1, r and p at least 1, within check_scrypt_limits (no
/// minimum: other tools write N = 2^12 and up); PBKDF2 with prf
/// "hmac-sha256" and 1 to 10,000,000 iterations; all InvalidParams. The MAC
/// is compared in constant time before anything is decrypted; a mismatch is
/// DecryptionFailed "wrong keystore passphrase or corrupted file".
oxa_core::Result<SecretBytes, CryptoError> open_keystore(const oxa_core::KeystoreCrypto& crypto,
                                                         std::span<const std::uint8_t> password);

/// Seals a 32-byte key under `password` with scrypt at DEFAULT_SCRYPT_COST,
/// a fresh 32-byte salt and a fresh 16-byte iv.
oxa_core::Result<oxa_core::KeystoreCrypto, CryptoError> seal_keystore(
    std::span<const std::uint8_t, KEYSTORE_KEY_BYTES> key, std::span<const std::uint8_t> password);

}  // namespace oxa_signer
