// The benchmark's reference point: one raw scrypt (N=2^16, r=8, p=1, 32
// bytes) through libsodium, called the way the module calls it.
//
// Reads standard input line by line and answers each line with the seconds
// one scrypt call took, so that the driver can interleave these calls with
// its own in one long-lived process. At the end of input it prints
// "maxrss_kib <resident before the first call> <peak at the end>"; the
// resident size, not the peak, comes first because a new process starts
// with the peak of the process that started it.

#include <sodium.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::uint64_t SCRYPT_N = std::uint64_t{1} << 16;
constexpr std::uint32_t SCRYPT_R = 8;
constexpr std::uint32_t SCRYPT_P = 1;
constexpr std::size_t KEY_BYTES = 32;
constexpr std::size_t SALT_BYTES = 32;

bool timed_scrypt(double& seconds) {
    static constexpr char PASSWORD[] = "benchmark passphrase";
    std::array<std::uint8_t, SALT_BYTES> salt{};
    randombytes_buf(salt.data(), salt.size());
    std::array<std::uint8_t, KEY_BYTES> key{};
    const auto start = std::chrono::steady_clock::now();
    const int rc = crypto_pwhash_scryptsalsa208sha256_ll(
        reinterpret_cast<const std::uint8_t*>(PASSWORD), sizeof PASSWORD - 1, salt.data(),
        salt.size(), SCRYPT_N, SCRYPT_R, SCRYPT_P, key.data(), key.size());
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return rc == 0;
}

long resident_kib() {
    long pages_total = 0;
    long pages_resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return 0;
    const bool read = std::fscanf(statm, "%ld %ld", &pages_total, &pages_resident) == 2;
    std::fclose(statm);
    return read ? pages_resident * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

long peak_rss_kib() {
    struct rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main() {
    // Selects the SSE2 scrypt core, as the module does before its first call.
    if (sodium_init() < 0) {
        std::fprintf(stderr, "sodium_init failed\n");
        return 1;
    }
    const long rss_before = resident_kib();
    std::array<char, 64> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), stdin) != nullptr) {
        double seconds = 0;
        if (!timed_scrypt(seconds)) {
            std::fprintf(stderr, "scrypt failed\n");
            return 1;
        }
        std::printf("%.9f\n", seconds);
        std::fflush(stdout);
    }
    std::printf("maxrss_kib %ld %ld\n", rss_before, peak_rss_kib());
    return 0;
}
