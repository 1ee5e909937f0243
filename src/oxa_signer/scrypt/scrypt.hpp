#pragma once
// scrypt (RFC 7914): PBKDF2-HMAC-SHA256 around ROMix, whose Salsa20/8 core
// runs as SSE2 where the CPU has it and as portable C++ elsewhere, over a
// scratch mapping of its own on huge pages.

#include <cstdint>
#include <span>

namespace oxa_signer {

struct ScryptParams {
    std::uint32_t n;  // cost: a power of two, at least 2
    std::uint32_t r;  // block size, at least 1
    std::uint32_t p;  // parallelism, at least 1
};

/// The implementations of ROMix; each gives the same bytes.
enum class ScryptCore { Portable, Sse2 };

/// The fastest core this CPU can run.
ScryptCore fastest_scrypt_core() noexcept;

/// Fills `out` with scrypt(password, salt, N, r, p). Its 128*N*r bytes of
/// working memory are mapped for this call only, wiped and unmapped before it
/// returns. False, with `out` zeroed, when the parameters break RFC 7914's
/// rules (N not a power of two above 1, r or p zero, r*p of 2^30 or more; its
/// N < 2^(16 r) is the caller's to keep), a working set is beyond the address
/// space, or the memory cannot be mapped.
/// Callers check their own, tighter limits before calling: the cost follows
/// the parameters.
[[nodiscard]] bool scrypt(std::span<const std::uint8_t> password,
                          std::span<const std::uint8_t> salt, ScryptParams params,
                          std::span<std::uint8_t> out, ScryptCore core = fastest_scrypt_core());

}  // namespace oxa_signer
