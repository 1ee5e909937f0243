#pragma once
// Base64 through libsodium: standard alphabet with padding, and URL-safe
// without padding.

#include <cstdint>
#include <span>
#include <string>

namespace oxa_signer {

std::string base64_encode(std::span<const std::uint8_t> bytes);
std::string base64url_encode_unpadded(std::span<const std::uint8_t> bytes);

}  // namespace oxa_signer
