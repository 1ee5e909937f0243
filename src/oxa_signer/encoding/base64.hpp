#pragma once
// Base64 through libsodium: standard alphabet with padding, and URL-safe
// without padding.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace oxa_signer {

std::string base64_encode(std::span<const std::uint8_t> bytes);
std::string base64url_encode_unpadded(std::span<const std::uint8_t> bytes);

/// Decodes the standard alphabet with its padding, in the one canonical form
/// base64_encode gives (no whitespace, no stray bits in the last digit);
/// nullopt for anything else.
std::optional<std::vector<std::uint8_t>> base64_decode(std::string_view text);

}  // namespace oxa_signer
