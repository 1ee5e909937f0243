#pragma once
// The Ed25519 keys and signatures (RFC 8032) that the Solana and TON signers share.

#include <array>
#include <cstdint>

#include "traits.hpp"

namespace oxa_signer {

inline constexpr std::size_t ED25519_SEED_BYTES = 32;
inline constexpr std::size_t ED25519_SIGNATURE_BYTES = 64;

using Ed25519PublicKey = std::array<std::uint8_t, 32>;

/// The public key of a 32-byte secret seed. Any other length fails with
/// InvalidPrivateKey "expected 32 bytes, got " + length.
SignerResult<Ed25519PublicKey> ed25519_public_key(ByteSpan private_key);

/// Pure Ed25519 over the unchanged bytes (no prehash, no context): the 64-byte
/// R || S and no recovery id. Same key rule as ed25519_public_key.
SignerResult<SignOutput> ed25519_sign(ByteSpan private_key, ByteSpan data);

/// Whether `signature` (R || S, 64 bytes) is `public_key`'s over `data`, as
/// libsodium checks it: a non-canonical S or a small-order key or R is refused.
/// Wrong lengths are simply false.
bool ed25519_verify(ByteSpan public_key, ByteSpan data, ByteSpan signature);

}  // namespace oxa_signer
