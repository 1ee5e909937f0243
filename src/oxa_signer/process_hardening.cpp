#include "process_hardening.hpp"

#include <sys/mman.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace oxa_signer {

bool mlock_slice(const void* data, std::size_t len) noexcept {
    if (len == 0) return true;
    if (mlock(data, len) == 0) return true;
    const int err = errno;
    std::fprintf(stderr,
                 "warning: mlock failed (%s (os error %d)), key material may be swapped to disk\n",
                 std::strerror(err), err);
    return false;
}

void munlock_slice(const void* data, std::size_t len) noexcept {
    if (len != 0) munlock(data, len);
}

}  // namespace oxa_signer
