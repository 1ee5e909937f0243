#pragma once
// UTF-8 validation and lossy decoding.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace oxa_core {

/// Length of the longest valid UTF-8 prefix of `bytes`.
std::size_t utf8_valid_prefix(std::span<const std::uint8_t> bytes) noexcept;

/// nullopt for valid UTF-8; otherwise the standard description, e.g.
/// "invalid utf-8 sequence of 1 bytes from index 3" or
/// "incomplete utf-8 byte sequence from index 7".
std::optional<std::string> utf8_error(std::span<const std::uint8_t> bytes);

inline std::optional<std::string> utf8_error(std::string_view text) {
    return utf8_error(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

/// Replaces every maximal invalid sequence with U+FFFD.
std::string utf8_lossy(std::string_view bytes);

}  // namespace oxa_core
