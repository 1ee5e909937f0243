#include "freed_memory.hpp"

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace oxa_test {
namespace {

// Reserved, not committed: only the pages written are backed by memory.
constexpr std::size_t ARENA_BYTES = std::size_t{1} << 30;
constexpr std::size_t WINDOW_BYTES = 16;
constexpr std::size_t WINDOW_STRIDE = 4;

std::uint8_t* g_arena = nullptr;
std::size_t g_used = 0;
std::size_t g_blocks = 0;
bool g_overflow = false;
std::atomic<bool> g_recording{false};
std::size_t g_secret_releases = 0;
std::size_t g_dirty_secret_releases = 0;

bool all_zero(const std::uint8_t* data, std::size_t len) noexcept {
    return std::all_of(data, data + len, [](std::uint8_t b) { return b == 0; });
}

// Runs inside operator delete: no allocation, no exception.
void record(void* block) noexcept {
    if (block == nullptr || !g_recording.load(std::memory_order_relaxed)) return;
    // The whole capacity, not the size asked for: slack bytes count too.
    const std::size_t len = ::malloc_usable_size(block);
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    if (all_zero(bytes, len)) return;
    if (len + 1 > ARENA_BYTES - g_used) {
        g_overflow = true;
        return;
    }
    std::memcpy(g_arena + g_used, bytes, len);
    g_used += len + 1;  // one zero byte between blocks
    ++g_blocks;
}

void check_secret_release(const std::uint8_t* data, std::size_t capacity) {
    ++g_secret_releases;
    if (!all_zero(data, capacity)) ++g_dirty_secret_releases;
}

bool contains(std::span<const std::uint8_t> haystack, std::span<const std::uint8_t> needle) {
    return ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

}  // namespace

FreedBlocks::FreedBlocks() {
    if (g_arena != nullptr) throw std::logic_error("one FreedBlocks at a time");
    void* arena = ::mmap(nullptr, ARENA_BYTES, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (arena == MAP_FAILED) throw std::runtime_error("cannot reserve the arena");
    g_arena = static_cast<std::uint8_t*>(arena);
    g_used = g_blocks = g_secret_releases = g_dirty_secret_releases = 0;
    g_overflow = false;
    oxa_signer::set_secret_release_hook(check_secret_release);
    g_recording.store(true);
}

FreedBlocks::~FreedBlocks() {
    stop();
    oxa_signer::wipe(g_arena, g_used);
    ::munmap(g_arena, ARENA_BYTES);
    g_arena = nullptr;
}

void FreedBlocks::stop() noexcept {
    g_recording.store(false);
    oxa_signer::set_secret_release_hook(nullptr);
}

std::size_t FreedBlocks::blocks_recorded() const noexcept { return g_blocks; }
std::size_t FreedBlocks::secret_buffers_released() const noexcept { return g_secret_releases; }
std::size_t FreedBlocks::secret_buffers_released_dirty() const noexcept {
    return g_dirty_secret_releases;
}

std::vector<std::string> FreedBlocks::leaked(std::span<const KnownSecret> secrets) const {
    if (g_overflow) throw std::runtime_error("the arena overflowed: too much was freed");
    const std::span<const std::uint8_t> recorded(g_arena, g_used);
    std::vector<std::string> found;
    for (const KnownSecret& secret : secrets) {
        const std::span<const std::uint8_t> bytes = secret.bytes.bytes();
        const std::size_t window = std::min(WINDOW_BYTES, bytes.size());
        bool hit = false;
        for (std::size_t at = 0; !hit && at + window <= bytes.size(); at += WINDOW_STRIDE) {
            hit = contains(recorded, bytes.subspan(at, window));
        }
        hit = hit || contains(recorded, bytes.last(window));
        if (hit) found.push_back(secret.label);
    }
    return found;
}

}  // namespace oxa_test

// The global operator new and delete, malloc-based as the library's are, so
// that every pair matches (sanitizers check that); delete records first.
namespace {

void* allocate(std::size_t size) {
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void* allocate_aligned(std::size_t size, std::align_val_t alignment) {
    void* p = nullptr;
    const auto align = std::max(static_cast<std::size_t>(alignment), sizeof(void*));
    if (::posix_memalign(&p, align, size == 0 ? 1 : size) != 0) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocate_aligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocate_aligned(size, alignment);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* p) noexcept {
    oxa_test::record(p);
    std::free(p);
}
void operator delete[](void* p) noexcept {
    oxa_test::record(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    oxa_test::record(p);
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    oxa_test::record(p);
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    oxa_test::record(p);
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    oxa_test::record(p);
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    oxa_test::record(p);
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    oxa_test::record(p);
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    oxa_test::record(p);
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    oxa_test::record(p);
    std::free(p);
}
