#pragma once
// The operating system's random source (through libsodium).

#include <cstdint>
#include <span>
#include <string>

namespace oxa_signer {

/// Initialises libsodium once, which picks its random source and the code for
/// this CPU. Without a random source the process stops: no key, salt or nonce
/// could be trusted (see oxa_core/internal_abort.hpp).
void ensure_sodium_ready() noexcept;

/// Fills `out` with cryptographically secure random bytes.
void random_fill(std::span<std::uint8_t> out) noexcept;

/// A fresh version-4 UUID, 36 characters, hyphenated lowercase.
std::string random_uuid_v4();

}  // namespace oxa_signer
