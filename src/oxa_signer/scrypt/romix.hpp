#pragma once
// ROMix, the memory-hard middle of scrypt, in each core's version. Internal
// to scrypt.cpp and its tests.

#include <cstdint>

namespace oxa_signer::scrypt_detail {

/// Bytes of working memory ROMix needs beyond the block: N blocks of V, and
/// two blocks to work in.
constexpr std::uint64_t romix_work_bytes(std::uint64_t n, std::uint32_t r) {
    return (n + 2) * 128 * r;
}

/// Replaces the 128*r bytes of `block` by ROMix(block, N), using `work`
/// (romix_work_bytes, 64-byte aligned). N is a power of two, at least 2.
void romix_portable(std::uint8_t* block, std::uint32_t n, std::uint32_t r, std::uint8_t* work);
void romix_sse2(std::uint8_t* block, std::uint32_t n, std::uint32_t r, std::uint8_t* work);

/// The Salsa20/8 core and BlockMix of the portable version, on little-endian
/// words, for the published intermediate vectors.
void salsa20_8(std::uint32_t words[16]);
void blockmix(const std::uint32_t* in, std::uint32_t* out, std::uint32_t r);

}  // namespace oxa_signer::scrypt_detail
