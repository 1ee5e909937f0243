#pragma once
// What the reference programs report about their own memory at the end of
// input: "maxrss_kib <resident before the first call> <peak at the end>". The
// resident size, not the peak, comes first because a new process starts with
// the peak of the process that started it.

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace oxa_bench {

inline long resident_kib() {
    long pages_total = 0;
    long pages_resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return 0;
    const bool read = std::fscanf(statm, "%ld %ld", &pages_total, &pages_resident) == 2;
    std::fclose(statm);
    return read ? pages_resident * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

inline void print_memory_report(long resident_before_kib) {
    struct rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("maxrss_kib %ld %ld\n", resident_before_kib, usage.ru_maxrss);
}

}  // namespace oxa_bench
