#pragma once
// Hexadecimal text: lowercase on output, either case on input.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "oxa_core/result.hpp"

namespace oxa_signer {

/// Lowercase hex, two digits per byte, no prefix.
std::string hex_encode(std::span<const std::uint8_t> bytes);

/// Decodes hex digits of either case. Errors, exactly:
///   "Odd number of digits" (checked before any character), or
///   "Invalid character 'c' at position i" (i is the 0-based byte index).
/// No prefix is stripped here.
oxa_core::Result<std::vector<std::uint8_t>, std::string> hex_decode(std::string_view text);

/// Same checks and texts; decodes into `out`, which must hold text.size() / 2
/// bytes. For secrets: the caller owns (and wipes) the destination.
oxa_core::Status<std::string> hex_decode_into(std::string_view text, std::span<std::uint8_t> out);

}  // namespace oxa_signer
