// ROMix on SSE2. Each 64-byte Salsa20 block is held as four vectors of its
// diagonals, so that a column round and a row round are each four vector
// quarter-round steps with a lane rotation in between. Blocks enter that
// order once, when ROMix starts, and leave it once, when it ends.

#include "romix.hpp"

#if defined(__SSE2__)

#include <emmintrin.h>

#include <cstddef>

namespace oxa_signer::scrypt_detail {

namespace {

constexpr std::size_t VECTORS_PER_SALSA_BLOCK = 4;
constexpr std::size_t WORDS_PER_SALSA_BLOCK = 16;

struct SalsaBlock {
    __m128i a, b, c, d;
};

// b ^= rotl(x + y, shift), on each lane.
inline __m128i add_rotate_xor(__m128i b, __m128i x, __m128i y, int shift) noexcept {
    const __m128i sum = _mm_add_epi32(x, y);
    return _mm_xor_si128(_mm_xor_si128(b, _mm_slli_epi32(sum, shift)),
                         _mm_srli_epi32(sum, 32 - shift));
}

// Salsa20/8 with the feed-forward, on a block in diagonal order.
inline void salsa20_8(SalsaBlock& s) noexcept {
    __m128i x0 = s.a, x1 = s.b, x2 = s.c, x3 = s.d;
    for (int round = 0; round < 8; round += 2) {
        x1 = add_rotate_xor(x1, x0, x3, 7);  // columns
        x2 = add_rotate_xor(x2, x1, x0, 9);
        x3 = add_rotate_xor(x3, x2, x1, 13);
        x0 = add_rotate_xor(x0, x3, x2, 18);
        x1 = _mm_shuffle_epi32(x1, 0x93);
        x2 = _mm_shuffle_epi32(x2, 0x4E);
        x3 = _mm_shuffle_epi32(x3, 0x39);
        x3 = add_rotate_xor(x3, x0, x1, 7);  // rows
        x2 = add_rotate_xor(x2, x3, x0, 9);
        x1 = add_rotate_xor(x1, x2, x3, 13);
        x0 = add_rotate_xor(x0, x1, x2, 18);
        x1 = _mm_shuffle_epi32(x1, 0x39);
        x2 = _mm_shuffle_epi32(x2, 0x4E);
        x3 = _mm_shuffle_epi32(x3, 0x93);
    }
    s.a = _mm_add_epi32(s.a, x0);
    s.b = _mm_add_epi32(s.b, x1);
    s.c = _mm_add_epi32(s.c, x2);
    s.d = _mm_add_epi32(s.d, x3);
}

inline void xor_into(SalsaBlock& s, const __m128i* block) noexcept {
    s.a = _mm_xor_si128(s.a, block[0]);
    s.b = _mm_xor_si128(s.b, block[1]);
    s.c = _mm_xor_si128(s.c, block[2]);
    s.d = _mm_xor_si128(s.d, block[3]);
}

inline void store(__m128i* out, const SalsaBlock& s) noexcept {
    out[0] = s.a;
    out[1] = s.b;
    out[2] = s.c;
    out[3] = s.d;
}

// BlockMix of `in`, or of `in` ^ `mix` when mixing, into `out`.
template <bool Mixing>
inline void blockmix(const __m128i* in, const __m128i* mix, __m128i* out,
                     std::uint32_t r) noexcept {
    const std::size_t last = (2 * std::size_t{r} - 1) * VECTORS_PER_SALSA_BLOCK;
    SalsaBlock x{in[last], in[last + 1], in[last + 2], in[last + 3]};
    if constexpr (Mixing) xor_into(x, mix + last);
    for (std::uint32_t i = 0; i < 2 * r; ++i) {
        xor_into(x, in + i * VECTORS_PER_SALSA_BLOCK);
        if constexpr (Mixing) xor_into(x, mix + i * VECTORS_PER_SALSA_BLOCK);
        salsa20_8(x);
        // Even-numbered results fill the first half of the output, odd ones the second.
        const std::size_t slot = i / 2 + (i % 2) * std::size_t{r};
        store(out + slot * VECTORS_PER_SALSA_BLOCK, x);
    }
}

inline std::uint32_t integerify(const __m128i* x, std::uint32_t r) noexcept {
    // Word 0 of the last Salsa block keeps its place in diagonal order.
    return static_cast<std::uint32_t>(
        _mm_cvtsi128_si32(x[(2 * std::size_t{r} - 1) * VECTORS_PER_SALSA_BLOCK]));
}

// Word i of each Salsa block in diagonal order is word 5i mod 16 of the block as stored.
constexpr std::size_t stored_word(std::size_t i) noexcept { return i * 5 % WORDS_PER_SALSA_BLOCK; }

void to_diagonal_order(const std::uint8_t* block, std::uint32_t* out, std::size_t words) noexcept {
    for (std::size_t k = 0; k < words; k += WORDS_PER_SALSA_BLOCK) {
        for (std::size_t i = 0; i < WORDS_PER_SALSA_BLOCK; ++i) {
            const std::uint8_t* p = block + 4 * (k + stored_word(i));
            out[k + i] = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                         std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
        }
    }
}

void from_diagonal_order(const std::uint32_t* in, std::uint8_t* block, std::size_t words) noexcept {
    for (std::size_t k = 0; k < words; k += WORDS_PER_SALSA_BLOCK) {
        for (std::size_t i = 0; i < WORDS_PER_SALSA_BLOCK; ++i) {
            std::uint8_t* p = block + 4 * (k + stored_word(i));
            for (int byte = 0; byte < 4; ++byte) {
                p[byte] = static_cast<std::uint8_t>(in[k + i] >> (8 * byte));
            }
        }
    }
}

}  // namespace

void romix_sse2(std::uint8_t* block, std::uint32_t n, std::uint32_t r, std::uint8_t* work) {
    const std::size_t words = 32 * std::size_t{r};
    const std::size_t vectors = 8 * std::size_t{r};
    auto* v = reinterpret_cast<__m128i*>(work);
    __m128i* x = v + n * vectors;
    __m128i* y = x + vectors;

    to_diagonal_order(block, reinterpret_cast<std::uint32_t*>(v), words);
    for (std::uint32_t i = 1; i < n; ++i) {
        blockmix<false>(v + (i - 1) * vectors, nullptr, v + i * vectors, r);
    }
    blockmix<false>(v + (n - 1) * vectors, nullptr, x, r);
    // N is even, so the pairs end with the result back in x.
    for (std::uint32_t i = 0; i < n; i += 2) {
        blockmix<true>(x, v + (integerify(x, r) & (n - 1)) * vectors, y, r);
        blockmix<true>(y, v + (integerify(y, r) & (n - 1)) * vectors, x, r);
    }
    from_diagonal_order(reinterpret_cast<const std::uint32_t*>(x), block, words);
}

}  // namespace oxa_signer::scrypt_detail

#endif
