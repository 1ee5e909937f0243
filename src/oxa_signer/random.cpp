#include "random.hpp"

#include <sodium.h>

#include <array>
#include <cstdlib>

namespace oxa_signer {

// The static makes the one initialisation race-free. An exception could be
// caught and the work carried on without randomness: the process stops.
void ensure_sodium_ready() noexcept {
    static const bool ready = sodium_init() >= 0;
    if (!ready) std::abort();
}

void random_fill(std::span<std::uint8_t> out) noexcept {
    ensure_sodium_ready();
    if (!out.empty()) randombytes_buf(out.data(), out.size());
}

std::string random_uuid_v4() {
    std::array<std::uint8_t, 16> bytes{};
    random_fill(bytes);
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant

    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(DIGITS[bytes[i] >> 4]);
        out.push_back(DIGITS[bytes[i] & 0x0f]);
    }
    return out;
}

}  // namespace oxa_signer
