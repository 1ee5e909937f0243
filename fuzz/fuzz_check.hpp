#pragma once
// What every fuzz target shares: the input as text, and a check that stops
// the run loudly (libFuzzer and the corpus replay both report an abort).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>
#include <utility>

namespace oxa_fuzz {

inline std::string_view text_of(const std::uint8_t* data, std::size_t size) noexcept {
    return {reinterpret_cast<const char*>(data), size};
}

inline std::span<const std::uint8_t> bytes_of(std::string_view text) noexcept {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

/// The text before its first newline, and the text after it ("" if none).
inline std::pair<std::string_view, std::string_view> split_line(std::string_view text) noexcept {
    const std::size_t newline = text.find('\n');
    if (newline == std::string_view::npos) return {text, {}};
    return {text.substr(0, newline), text.substr(newline + 1)};
}

inline void check(bool holds, const char* property) noexcept {
    if (holds) return;
    std::fprintf(stderr, "fuzz property broken: %s\n", property);
    std::abort();
}

}  // namespace oxa_fuzz
