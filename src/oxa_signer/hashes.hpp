#pragma once
// Hash functions and MACs over byte spans. OpenSSL does the work except for
// Keccak-256, which OpenSSL 3.0 lacks (see keccak.hpp). Each throws
// oxa_core::InternalAbort if OpenSSL itself fails (out of memory, a broken
// provider) rather than return a wrong digest.

#include <array>
#include <cstdint>
#include <span>

namespace oxa_signer {

using Bytes32 = std::array<std::uint8_t, 32>;
using Bytes20 = std::array<std::uint8_t, 20>;
using Bytes64 = std::array<std::uint8_t, 64>;
using ByteView = std::span<const std::uint8_t>;

Bytes32 sha256(ByteView data);
/// SHA-256 of SHA-256, as Bitcoin hashes transactions and checksums.
Bytes32 sha256d(ByteView data);
Bytes64 sha512(ByteView data);
Bytes20 ripemd160(ByteView data);
/// RIPEMD-160 of SHA-256: the 20-byte key hash of Bitcoin and Cosmos addresses.
Bytes20 hash160(ByteView data);
/// HMAC-SHA512; `out` receives 64 bytes.
void hmac_sha512(ByteView key, ByteView data, std::span<std::uint8_t, 64> out);
/// PBKDF2-HMAC-SHA256; `out.size()` bytes of output.
void pbkdf2_hmac_sha256(ByteView password, ByteView salt, std::uint32_t iterations,
                        std::span<std::uint8_t> out);
/// PBKDF2-HMAC-SHA512; `out.size()` bytes of output.
void pbkdf2_hmac_sha512(ByteView password, ByteView salt, std::uint32_t iterations,
                        std::span<std::uint8_t> out);

}  // namespace oxa_signer
