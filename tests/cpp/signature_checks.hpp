#pragma once
// Independent checks of signatures: recovery through libsecp256k1 with a
// context of the tests' own, and Ed25519 verification through libsodium.

#include <cstdint>
#include <span>
#include <vector>

namespace oxa_test {

/// The uncompressed public key (65 bytes) that r || s (the first 64 bytes of
/// `signature`) with `recovery_id` recovers for `hash`; empty if none does.
std::vector<std::uint8_t> recover_public_key(std::span<const std::uint8_t> hash,
                                             std::span<const std::uint8_t> signature,
                                             int recovery_id);

/// The uncompressed form of a SEC1 point given compressed or uncompressed.
std::vector<std::uint8_t> uncompressed_point(std::span<const std::uint8_t> point);

/// Whether s (bytes 32..63 of `signature`) is at most half the group order.
bool has_low_s(std::span<const std::uint8_t> signature);

bool ed25519_verifies(std::span<const std::uint8_t> public_key,
                      std::span<const std::uint8_t> message,
                      std::span<const std::uint8_t> signature);

/// The secp256k1 group order n, 32 bytes big-endian.
std::vector<std::uint8_t> secp256k1_order();

/// The other form of a signature r || s [|| recovery id]: s replaced by
/// n - s and, if a recovery id follows, its parity flipped. Both verify.
std::vector<std::uint8_t> malleate(std::vector<std::uint8_t> signature);

}  // namespace oxa_test
