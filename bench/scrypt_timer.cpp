// The benchmark's reference points for scrypt (N=2^16, r=8, p=1, 32 bytes),
// each called the way the module would call it: libsodium's, and our own.
//
// Reads standard input line by line; each line names an implementation
// ("libsodium" or "oxa") and is answered with the seconds one call took, so
// that the driver can interleave these calls with its own in one long-lived
// process. At the end of input it reports its memory (process_memory.hpp).

#include <sodium.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "oxa_signer/scrypt/scrypt.hpp"
#include "process_memory.hpp"

namespace {

constexpr std::uint32_t SCRYPT_N = std::uint32_t{1} << 16;
constexpr std::uint32_t SCRYPT_R = 8;
constexpr std::uint32_t SCRYPT_P = 1;
constexpr std::size_t KEY_BYTES = 32;
constexpr std::size_t SALT_BYTES = 32;
constexpr std::string_view PASSWORD = "benchmark passphrase";

bool derive(std::string_view implementation, std::span<const std::uint8_t> salt,
            std::span<std::uint8_t> key) {
    const std::span password(reinterpret_cast<const std::uint8_t*>(PASSWORD.data()),
                             PASSWORD.size());
    if (implementation == "oxa") {
        return oxa_signer::scrypt(password, salt, {SCRYPT_N, SCRYPT_R, SCRYPT_P}, key);
    }
    return implementation == "libsodium" &&
           crypto_pwhash_scryptsalsa208sha256_ll(password.data(), password.size(), salt.data(),
                                                 salt.size(), SCRYPT_N, SCRYPT_R, SCRYPT_P,
                                                 key.data(), key.size()) == 0;
}

std::string_view without_newline(const char* line) {
    std::string_view text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

}  // namespace

int main() {
    // Selects libsodium's SSE2 scrypt core, as it would be in the module.
    if (sodium_init() < 0) {
        std::fprintf(stderr, "sodium_init failed\n");
        return 1;
    }
    const long rss_before = oxa_bench::resident_kib();
    std::array<char, 64> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), stdin) != nullptr) {
        std::array<std::uint8_t, SALT_BYTES> salt{};
        randombytes_buf(salt.data(), salt.size());
        std::array<std::uint8_t, KEY_BYTES> key{};
        const auto start = std::chrono::steady_clock::now();
        if (!derive(without_newline(line.data()), salt, key)) {
            std::fprintf(stderr, "scrypt failed: %s", line.data());
            return 1;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("%.9f\n", took.count());
        std::fflush(stdout);
    }
    oxa_bench::print_memory_report(rss_before);
    return 0;
}
