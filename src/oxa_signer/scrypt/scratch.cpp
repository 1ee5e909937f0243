#include "scratch.hpp"

#include <sys/mman.h>

#include <cstring>
#include <utility>

namespace oxa_signer {

namespace {

constexpr std::size_t HUGE_PAGE_BYTES = std::size_t{2} << 20;

}  // namespace

std::optional<ScryptScratch> ScryptScratch::map(std::size_t bytes) noexcept {
    if (bytes == 0 || bytes > SIZE_MAX - HUGE_PAGE_BYTES) return std::nullopt;
    // One huge page more than asked, so that a 2 MiB boundary falls inside.
    const std::size_t mapped = bytes + HUGE_PAGE_BYTES;
    void* mapping =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return std::nullopt;
    const auto address = reinterpret_cast<std::uintptr_t>(mapping);
    auto* data =
        reinterpret_cast<std::uint8_t*>((address + HUGE_PAGE_BYTES - 1) & ~(HUGE_PAGE_BYTES - 1));
    // Both are advice: a kernel without them still gives correct memory.
    ::madvise(mapping, mapped, MADV_DONTDUMP);
    ::madvise(data, bytes, MADV_HUGEPAGE);
    return ScryptScratch(mapping, mapped, data, bytes);
}

ScryptScratch::ScryptScratch(ScryptScratch&& other) noexcept
    : m_mapping(std::exchange(other.m_mapping, nullptr)),
      m_mapped(std::exchange(other.m_mapped, 0)),
      m_data(std::exchange(other.m_data, nullptr)),
      m_bytes(std::exchange(other.m_bytes, 0)) {}

ScryptScratch::~ScryptScratch() {
    if (m_mapping == nullptr) return;
    // explicit_bzero is never optimised away, not even right before munmap.
    ::explicit_bzero(m_data, m_bytes);
    ::munmap(m_mapping, m_mapped);
}

}  // namespace oxa_signer
