#pragma once
// The working memory of one scrypt call: its own anonymous mapping, on huge
// pages where the kernel gives them, kept out of core dumps, and wiped before
// it is unmapped.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace oxa_signer {

class ScryptScratch {
public:
    /// At least `bytes` of zeroed memory aligned to 2 MiB, or nullopt when the
    /// system refuses the mapping. Huge pages are asked for with MADV_HUGEPAGE
    /// (a refusal leaves ordinary pages), core dumps refused with MADV_DONTDUMP.
    static std::optional<ScryptScratch> map(std::size_t bytes) noexcept;

    ScryptScratch(ScryptScratch&& other) noexcept;
    ScryptScratch(const ScryptScratch&) = delete;
    ScryptScratch& operator=(const ScryptScratch&) = delete;
    ScryptScratch& operator=(ScryptScratch&&) = delete;
    /// Wipes the memory used (a wipe the compiler keeps) and unmaps it all.
    ~ScryptScratch();

    std::uint8_t* data() const noexcept { return m_data; }

private:
    ScryptScratch(void* mapping, std::size_t mapped, std::uint8_t* data, std::size_t bytes) noexcept
        : m_mapping(mapping), m_mapped(mapped), m_data(data), m_bytes(bytes) {}

    void* m_mapping;
    std::size_t m_mapped;
    std::uint8_t* m_data;
    std::size_t m_bytes;
};

}  // namespace oxa_signer
