#pragma once
// Base58 with the Bitcoin alphabet, and Base58Check.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "oxa_core/result.hpp"

namespace oxa_signer {

/// Each leading zero byte becomes one '1'.
std::string base58_encode(std::span<const std::uint8_t> bytes);
/// nullopt for characters outside the alphabet.
std::optional<std::vector<std::uint8_t>> base58_decode(std::string_view text);
/// Appends the first 4 bytes of SHA-256(SHA-256(payload)) and encodes.
std::string base58check_encode(std::span<const std::uint8_t> payload);
/// The payload of a Base58Check text. Errors: "not Base58", "shorter than its
/// 4-byte checksum", "checksum mismatch".
oxa_core::Result<std::vector<std::uint8_t>, std::string> base58check_decode(std::string_view text);

}  // namespace oxa_signer
