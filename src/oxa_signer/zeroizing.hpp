#pragma once
// Owned buffers for key material, zeroed before their memory is given back:
// SecretBytes on the heap (pinned, any length), SecretArray inline (fixed size).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace oxa_signer {

/// Overwrites [data, data + len) with zeros in a way the optimiser keeps.
void wipe(void* data, std::size_t len) noexcept;

/// Wipes a string that held secret bytes over its whole capacity.
void wipe(std::string& s) noexcept;

/// Called with the whole allocation of every SecretBytes right before it is
/// freed. Null outside tests, which use it to prove the wipe.
using SecretReleaseHook = void (*)(const std::uint8_t* data, std::size_t capacity);
void set_secret_release_hook(SecretReleaseHook hook) noexcept;

/// A fixed-capacity byte buffer for secrets. The allocation has pages of its
/// own (map_secret_pages: pinned, left out of core dumps, between guard
/// pages) and is zeroed over its whole capacity, unpinned and unmapped when
/// the buffer dies. Move-only; it never grows, so no copy of its bytes is
/// ever left behind in freed memory.
class SecretBytes {
public:
    SecretBytes() noexcept = default;
    SecretBytes(SecretBytes&& other) noexcept;
    SecretBytes& operator=(SecretBytes&& other) noexcept;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    ~SecretBytes();

    /// Copies `bytes` into a pinned buffer of exactly that size. The source is
    /// not touched: wiping it is the caller's affair.
    static SecretBytes from_slice(std::span<const std::uint8_t> bytes);
    static SecretBytes from_slice(std::string_view text);

    /// A pinned buffer of `len` zero bytes, for producers that fill it in place.
    static SecretBytes zeroed(std::size_t len);

    /// An empty pinned buffer that can take `capacity` bytes through append().
    static SecretBytes with_capacity(std::size_t capacity);

    /// Appends within the reserved capacity; returns false (and appends
    /// nothing) if the bytes do not fit.
    bool append(std::span<const std::uint8_t> bytes) noexcept;
    bool append(std::string_view text) noexcept;

    std::span<const std::uint8_t> bytes() const noexcept { return {m_data, m_len}; }
    std::span<std::uint8_t> mutable_bytes() noexcept { return {m_data, m_len}; }
    std::string_view text() const noexcept {
        return {reinterpret_cast<const char*>(m_data), m_len};
    }
    const std::uint8_t* data() const noexcept { return m_data; }
    std::size_t size() const noexcept { return m_len; }
    std::size_t capacity() const noexcept { return m_cap; }
    bool empty() const noexcept { return m_len == 0; }

    /// Shortens the buffer; the dropped bytes are zeroed at once.
    void truncate(std::size_t len) noexcept;

private:
    SecretBytes(std::uint8_t* data, std::size_t len, std::size_t cap) noexcept
        : m_data(data), m_len(len), m_cap(cap) {}
    static SecretBytes allocate(std::size_t len, std::size_t cap);
    void release() noexcept;

    std::uint8_t* m_data = nullptr;
    std::size_t m_len = 0;
    std::size_t m_cap = 0;
};

/// A fixed-size secret held inline, in its owner or on the stack: N bytes,
/// zero from the start, wiped when it dies, whichever way its scope ends.
/// Neither copied nor moved, so its bytes live in one place only. Not pinned
/// (its memory is the owner's, usually a stack frame), so keep it short-lived.
template <std::size_t N>
class SecretArray {
public:
    SecretArray() noexcept = default;
    SecretArray(const SecretArray&) = delete;
    SecretArray& operator=(const SecretArray&) = delete;
    ~SecretArray() { wipe(); }

    /// Zeroes the bytes at once, for a secret that is done before its scope
    /// is (a key already copied into a cipher).
    void wipe() noexcept { oxa_signer::wipe(m_bytes.data(), N); }

    std::span<const std::uint8_t, N> bytes() const noexcept { return m_bytes; }
    std::span<std::uint8_t, N> mutable_bytes() noexcept { return m_bytes; }
    const std::uint8_t* data() const noexcept { return m_bytes.data(); }
    std::uint8_t* data() noexcept { return m_bytes.data(); }
    static constexpr std::size_t size() noexcept { return N; }

private:
    std::array<std::uint8_t, N> m_bytes{};
};

}  // namespace oxa_signer
