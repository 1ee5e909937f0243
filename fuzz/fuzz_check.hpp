#pragma once
// What every fuzz target shares: the input as text, and a check that stops
// the run loudly (libFuzzer and the corpus replay both report an abort).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace oxa_fuzz {

inline std::string_view text_of(const std::uint8_t* data, std::size_t size) noexcept {
    return {reinterpret_cast<const char*>(data), size};
}

inline void check(bool holds, const char* property) noexcept {
    if (holds) return;
    std::fprintf(stderr, "fuzz property broken: %s\n", property);
    std::abort();
}

}  // namespace oxa_fuzz
