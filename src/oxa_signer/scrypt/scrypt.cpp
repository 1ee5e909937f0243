#include "scrypt.hpp"

#include <algorithm>
#include <climits>

#include "oxa_signer/hashes.hpp"
#include "oxa_signer/zeroizing.hpp"
#include "romix.hpp"
#include "scratch.hpp"

namespace oxa_signer {

namespace {

using scrypt_detail::romix_work_bytes;

constexpr std::uint64_t BLOCK_BYTES_PER_R = 128;
constexpr std::uint64_t MAX_R_TIMES_P = std::uint64_t{1} << 30;
// PBKDF2 gives at most 2^32 - 1 blocks; OpenSSL takes lengths up to INT_MAX.
constexpr std::uint64_t MAX_OUTPUT_BYTES = INT_MAX;

bool is_power_of_two(std::uint32_t n) noexcept { return n != 0 && (n & (n - 1)) == 0; }

// RFC 7914's rules, and sizes that fit this machine's arithmetic. Its rule
// N < 2^(16 r) is left to callers: Ethereum keystores are written with r = 1
// and N = 2^18, and ROMix computes them like any other (as libsodium does).
bool valid(ScryptParams params, std::size_t out_bytes) noexcept {
    const auto [n, r, p] = params;
    if (n < 2 || !is_power_of_two(n) || r == 0 || p == 0) return false;
    if (std::uint64_t{r} * p >= MAX_R_TIMES_P) return false;
    const std::uint64_t work_limit = SIZE_MAX / 2;
    return std::uint64_t{r} <= work_limit / BLOCK_BYTES_PER_R / (std::uint64_t{n} + 2) &&
           out_bytes <= MAX_OUTPUT_BYTES;
}

using Romix = void (*)(std::uint8_t*, std::uint32_t, std::uint32_t, std::uint8_t*);

Romix romix_of(ScryptCore core) noexcept {
#if defined(__SSE2__)
    if (core == ScryptCore::Sse2) return scrypt_detail::romix_sse2;
#endif
    (void)core;
    return scrypt_detail::romix_portable;
}

}  // namespace

ScryptCore fastest_scrypt_core() noexcept {
#if defined(__SSE2__)
    return ScryptCore::Sse2;
#else
    return ScryptCore::Portable;
#endif
}

bool scrypt(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
            ScryptParams params, std::span<std::uint8_t> out, ScryptCore core) {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    if (!valid(params, out.size())) return false;
    const std::size_t block_bytes = BLOCK_BYTES_PER_R * params.r;
    std::optional<ScryptScratch> scratch = ScryptScratch::map(romix_work_bytes(params.n, params.r));
    if (!scratch) return false;

    SecretBytes blocks = SecretBytes::zeroed(block_bytes * params.p);
    pbkdf2_hmac_sha256(password, salt, 1, blocks.mutable_bytes());
    const Romix romix = romix_of(core);
    for (std::uint32_t i = 0; i < params.p; ++i) {
        romix(blocks.mutable_bytes().data() + i * block_bytes, params.n, params.r, scratch->data());
    }
    pbkdf2_hmac_sha256(password, blocks.bytes(), 1, out);
    return true;
}

}  // namespace oxa_signer
