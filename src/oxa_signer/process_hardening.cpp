#include "process_hardening.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace oxa_signer {

namespace {

std::size_t page_bytes() noexcept {
    static const auto bytes = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return bytes;
}

std::size_t whole_pages(std::size_t len) noexcept {
    const std::size_t page = page_bytes();
    return (len + page - 1) / page * page;
}

}  // namespace

bool mlock_slice(const void* data, std::size_t len) noexcept {
    if (len == 0) return true;
    if (mlock(data, len) == 0) return true;
    const int err = errno;
    std::fprintf(stderr,
                 "warning: mlock failed (%s (os error %d)), key material may be swapped to disk\n",
                 std::strerror(err), err);
    return false;
}

std::uint8_t* map_secret_pages(std::size_t len) {
    const std::size_t page = page_bytes();
    if (len > SIZE_MAX - 3 * page) throw std::bad_alloc();
    const std::size_t inner = whole_pages(len);
    const std::size_t total = inner + 2 * page;
    // All inaccessible at first; opening the middle leaves one guard page each side.
    void* mapping = mmap(nullptr, total, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) throw std::bad_alloc();
    auto* data = static_cast<std::uint8_t*>(mapping) + page;
    if (mprotect(data, inner, PROT_READ | PROT_WRITE) != 0) {
        munmap(mapping, total);
        throw std::bad_alloc();
    }
    // Best effort, like the pinning: where the kernel lacks the flag the buffer still works.
    madvise(data, inner, MADV_DONTDUMP);
    mlock_slice(data, len);
    return data;
}

void unmap_secret_pages(std::uint8_t* data, std::size_t len) noexcept {
    // Unmapping unpins too: a separate munlock would only cost another system call.
    const std::size_t page = page_bytes();
    munmap(data - page, whole_pages(len) + 2 * page);
}

}  // namespace oxa_signer
