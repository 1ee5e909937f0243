// ROMix in portable C++: the reference the SIMD core is tested against, and
// the core of CPUs without one.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <utility>

#include "romix.hpp"

namespace oxa_signer::scrypt_detail {

namespace {

constexpr std::size_t WORDS_PER_SALSA_BLOCK = 16;

std::uint32_t load_le32(const std::uint8_t* p) noexcept {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

void store_le32(std::uint8_t* p, std::uint32_t value) noexcept {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void xor_words(std::uint32_t* target, const std::uint32_t* source, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) target[i] ^= source[i];
}

// One quarter-round: the four additions, rotations and exclusive-ors of Salsa20.
void quarter_round(std::uint32_t* x, int a, int b, int c, int d) noexcept {
    x[b] ^= std::rotl(x[a] + x[d], 7);
    x[c] ^= std::rotl(x[b] + x[a], 9);
    x[d] ^= std::rotl(x[c] + x[b], 13);
    x[a] ^= std::rotl(x[d] + x[c], 18);
}

}  // namespace

void salsa20_8(std::uint32_t words[16]) {
    std::uint32_t x[WORDS_PER_SALSA_BLOCK];
    std::copy_n(words, WORDS_PER_SALSA_BLOCK, x);
    for (int round = 0; round < 8; round += 2) {
        quarter_round(x, 0, 4, 8, 12);  // columns
        quarter_round(x, 5, 9, 13, 1);
        quarter_round(x, 10, 14, 2, 6);
        quarter_round(x, 15, 3, 7, 11);
        quarter_round(x, 0, 1, 2, 3);  // rows
        quarter_round(x, 5, 6, 7, 4);
        quarter_round(x, 10, 11, 8, 9);
        quarter_round(x, 15, 12, 13, 14);
    }
    for (std::size_t i = 0; i < WORDS_PER_SALSA_BLOCK; ++i) words[i] += x[i];
}

void blockmix(const std::uint32_t* in, std::uint32_t* out, std::uint32_t r) {
    std::uint32_t x[WORDS_PER_SALSA_BLOCK];
    std::copy_n(in + (2 * r - 1) * WORDS_PER_SALSA_BLOCK, WORDS_PER_SALSA_BLOCK, x);
    for (std::uint32_t i = 0; i < 2 * r; ++i) {
        xor_words(x, in + i * WORDS_PER_SALSA_BLOCK, WORDS_PER_SALSA_BLOCK);
        salsa20_8(x);
        // Even-numbered results fill the first half of the output, odd ones the second.
        const std::uint32_t slot = i / 2 + (i % 2) * r;
        std::copy_n(x, WORDS_PER_SALSA_BLOCK, out + slot * WORDS_PER_SALSA_BLOCK);
    }
}

void romix_portable(std::uint8_t* block, std::uint32_t n, std::uint32_t r, std::uint8_t* work) {
    const std::size_t words = 32 * std::size_t{r};
    auto* v = reinterpret_cast<std::uint32_t*>(work);
    std::uint32_t* x = v + n * words;
    std::uint32_t* y = x + words;

    for (std::size_t k = 0; k < words; ++k) v[k] = load_le32(block + 4 * k);
    for (std::uint32_t i = 1; i < n; ++i) blockmix(v + (i - 1) * words, v + i * words, r);
    blockmix(v + (n - 1) * words, x, r);
    const std::size_t last_salsa_block = (2 * r - 1) * WORDS_PER_SALSA_BLOCK;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t j = x[last_salsa_block] & (n - 1);
        xor_words(x, v + j * words, words);
        blockmix(x, y, r);
        std::swap(x, y);
    }
    for (std::size_t k = 0; k < words; ++k) store_le32(block + 4 * k, x[k]);
}

}  // namespace oxa_signer::scrypt_detail
