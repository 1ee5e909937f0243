#pragma once
// Base58 with the Bitcoin alphabet, and Base58Check.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace oxa_signer {

/// Each leading zero byte becomes one '1'.
std::string base58_encode(std::span<const std::uint8_t> bytes);
/// nullopt for characters outside the alphabet.
std::optional<std::vector<std::uint8_t>> base58_decode(std::string_view text);
/// Appends the first 4 bytes of SHA-256(SHA-256(payload)) and encodes.
std::string base58check_encode(std::span<const std::uint8_t> payload);

}  // namespace oxa_signer
