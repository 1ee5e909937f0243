#include "utf8.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace oxa_core {

namespace {

struct Step {
    std::size_t valid_len;  // length of the valid sequence at the position, 0 if none
    std::size_t invalid_len;  // bytes of the maximal invalid prefix when valid_len == 0
    bool incomplete;  // the input ended inside a sequence that was valid so far
};

// Decodes one sequence at `i` following the well-formed table of Unicode 15
// (no overlongs, no surrogates, nothing above U+10FFFF).
Step step_at(std::span<const std::uint8_t> s, std::size_t i) noexcept {
    const std::uint8_t b0 = s[i];
    if (b0 < 0x80) return {1, 0, false};
    std::size_t need;
    std::uint8_t lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return {0, 1, false};
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) return {0, k, true};
        const std::uint8_t b = s[i + k];
        const std::uint8_t min = (k == 1) ? lo : 0x80;
        const std::uint8_t max = (k == 1) ? hi : 0xBF;
        if (b < min || b > max) return {0, k, false};
    }
    return {need + 1, 0, false};
}

// The end of the run of ASCII bytes from `i`: sixteen bytes at a time where
// the CPU has SSE2, eight otherwise; the run may end a little early, never late.
std::size_t ascii_run_end(std::span<const std::uint8_t> s, std::size_t i) noexcept {
#if defined(__SSE2__)
    while (s.size() - i >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
        if (_mm_movemask_epi8(bytes) != 0) return i;
        i += 16;
    }
#endif
    while (s.size() - i >= sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0) return i;
        i += sizeof word;
    }
    return i;
}

}  // namespace

std::size_t utf8_valid_prefix(std::span<const std::uint8_t> bytes) noexcept {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Runs of ASCII are the bulk of every text here.
        i = ascii_run_end(bytes, i);
        if (i == bytes.size()) break;
        const Step st = step_at(bytes, i);
        if (st.valid_len == 0) break;
        i += st.valid_len;
    }
    return i;
}

std::optional<std::string> utf8_error(std::span<const std::uint8_t> bytes) {
    const std::size_t i = utf8_valid_prefix(bytes);
    if (i == bytes.size()) return std::nullopt;
    const Step st = step_at(bytes, i);
    if (st.incomplete) return "incomplete utf-8 byte sequence from index " + std::to_string(i);
    return "invalid utf-8 sequence of " + std::to_string(st.invalid_len) + " bytes from index " +
           std::to_string(i);
}

std::string utf8_lossy(std::string_view text) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const Step st = step_at(bytes, i);
        if (st.valid_len != 0) {
            out.append(text.substr(i, st.valid_len));
            i += st.valid_len;
        } else {
            out.append("\xEF\xBF\xBD");
            i += st.invalid_len;
        }
    }
    return out;
}

}  // namespace oxa_core
