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
///   "Invalid character 'c' at position i" for the first offender: i is the
///   0-based byte index where it starts, c the whole UTF-8 character as
///   typed (U+FFFD for bytes that are not UTF-8).
/// No prefix is stripped here.
oxa_core::Result<std::vector<std::uint8_t>, std::string> hex_decode(std::string_view text);

/// Same checks and texts; decodes into `out`, which must hold exactly
/// text.size() / 2 bytes (else an error naming both sizes, after the odd
/// check). For secrets: no copy is made, digits are decoded without
/// branching on their value, and on failure `out` is left all zeros.
oxa_core::Status<std::string> hex_decode_into(std::string_view text, std::span<std::uint8_t> out);

}  // namespace oxa_signer
