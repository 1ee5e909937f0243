#pragma once
// The operating system's random source (through libsodium).

#include <cstdint>
#include <span>
#include <string>

namespace oxa_signer {

/// Fills `out` with cryptographically secure random bytes. Never fails once
/// libsodium is initialised (it aborts the process if no source exists).
void random_fill(std::span<std::uint8_t> out) noexcept;

/// A fresh version-4 UUID, 36 characters, hyphenated lowercase.
std::string random_uuid_v4();

}  // namespace oxa_signer
