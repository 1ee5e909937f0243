#pragma once
// The secp256k1 keys and recoverable signatures that the EVM, Bitcoin, Cosmos
// and Tron signers share.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "traits.hpp"

namespace oxa_signer {

inline constexpr std::size_t SECP256K1_HASH_BYTES = 32;
inline constexpr std::size_t SECP256K1_SIGNATURE_BYTES = 65;  // r || s || recovery id

using UncompressedPublicKey = std::array<std::uint8_t, 65>;
using CompressedPublicKey = std::array<std::uint8_t, 33>;

/// The SEC1 point 04 || x || y of a private key. A key of 32 bytes is taken as
/// it is and one of 24 to 31 bytes is left-padded with zeros; any other
/// length, zero, or a value not below the group order fails with
/// InvalidPrivateKey "signature error".
SignerResult<UncompressedPublicKey> secp256k1_uncompressed_public_key(ByteSpan private_key);

/// The SEC1 point (02 or 03) || x, under the same key rule.
SignerResult<CompressedPublicKey> secp256k1_compressed_public_key(ByteSpan private_key);

/// Deterministic ECDSA (RFC 6979, HMAC-SHA-256, no extra data) over an
/// already-hashed message: r || s || recovery id with s in low-S form, and the
/// recovery id also in `recovery_id`. A hash that is not 32 bytes fails first,
/// before the key is looked at, with InvalidMessage
/// "expected 32-byte " + hash_noun + ", got " + length + " bytes"; then the
/// key rule above applies.
SignerResult<SignOutput> secp256k1_sign_hash(ByteSpan private_key, ByteSpan hash,
                                             std::string_view hash_noun);

/// The key that made a recoverable signature r || s || recovery id (0 to 3)
/// over a 32-byte hash, or nothing when the bytes recover no key (wrong
/// lengths, r or s zero or not below the group order, no point for r). A high
/// s recovers like a low one; a caller that must refuse it checks first.
std::optional<UncompressedPublicKey> secp256k1_recover(ByteSpan hash, ByteSpan signature);

/// Whether the 64 bytes r || s are in low-S form (s at most half the order).
bool secp256k1_is_low_s(ByteSpan compact_signature);

/// The SEC1 compressed form of an uncompressed point.
CompressedPublicKey secp256k1_compress(const UncompressedPublicKey& point);

/// The DER encoding (as Bitcoin scripts carry it, without a sighash byte) of
/// the r || s that secp256k1_sign_hash made; throws InternalAbort for r or s
/// out of range, which no signature of ours has.
std::vector<std::uint8_t> secp256k1_der_encode(std::span<const std::uint8_t, 64> compact_signature);

/// Whether a DER signature is `public_key`'s (SEC1, compressed or not) over a
/// 32-byte hash, as Bitcoin's standard script rules check it: strict DER
/// (BIP-66) and a low s. Anything else, wrong lengths included, is false.
bool secp256k1_verify_der(ByteSpan hash, ByteSpan der_signature, ByteSpan public_key);

}  // namespace oxa_signer
