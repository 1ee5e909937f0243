// The floor under any scan of a vault: the system calls alone. For each line
// of standard input, a wallets directory, it lists the directory and opens,
// reads (into one reused buffer) and closes each ".json" file in it, as the
// vault's scan does, and answers with the seconds that took. At the end of
// input it reports its memory (process_memory.hpp).

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "process_memory.hpp"

namespace {

bool read_all(int dir_fd, const char* name, std::vector<char>& buffer) {
    const int fd = ::openat(dir_fd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // A short read ends a regular file, as in the vault's own scan.
    ssize_t n = 0;
    while ((n = ::read(fd, buffer.data(), buffer.size())) == static_cast<ssize_t>(buffer.size())) {
    }
    ::close(fd);
    return n >= 0;
}

bool scan(const std::string& directory) {
    std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(directory.c_str()), ::closedir);
    if (!stream) return false;
    std::vector<char> buffer(64 * 1024);
    while (const dirent* entry = ::readdir(stream.get())) {
        const std::string_view name(entry->d_name);
        if (name.size() <= 5 || !name.ends_with(".json")) continue;
        if (!read_all(::dirfd(stream.get()), entry->d_name, buffer)) return false;
    }
    return true;
}

}  // namespace

int main() {
    const long rss_before = oxa_bench::resident_kib();
    std::string directory;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) {
        if (c != '\n') {
            directory += static_cast<char>(c);
            continue;
        }
        const auto start = std::chrono::steady_clock::now();
        if (!scan(directory)) {
            std::fprintf(stderr, "cannot scan %s\n", directory.c_str());
            return 1;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("%.9f\n", took.count());
        std::fflush(stdout);
        directory.clear();
    }
    oxa_bench::print_memory_report(rss_before);
    return 0;
}
