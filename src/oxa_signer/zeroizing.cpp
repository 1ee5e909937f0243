#include "zeroizing.hpp"

#include <sodium.h>

#include <cstring>
#include <utility>

#include "process_hardening.hpp"

namespace oxa_signer {

namespace {
SecretReleaseHook g_release_hook = nullptr;
}  // namespace

void set_secret_release_hook(SecretReleaseHook hook) noexcept { g_release_hook = hook; }

void wipe(void* data, std::size_t len) noexcept {
    if (len != 0) sodium_memzero(data, len);
}

void wipe(std::string& s) noexcept {
    s.resize(s.capacity());
    wipe(s.data(), s.size());
    s.clear();
}

SecretBytes::SecretBytes(SecretBytes&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_len(std::exchange(other.m_len, 0)),
      m_cap(std::exchange(other.m_cap, 0)) {}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_len = std::exchange(other.m_len, 0);
        m_cap = std::exchange(other.m_cap, 0);
    }
    return *this;
}

SecretBytes::~SecretBytes() { release(); }

SecretBytes SecretBytes::allocate(std::size_t len, std::size_t cap) {
    if (cap == 0) return SecretBytes();
    return SecretBytes(map_secret_pages(cap), len, cap);
}

SecretBytes SecretBytes::from_slice(std::span<const std::uint8_t> bytes) {
    SecretBytes out = allocate(bytes.size(), bytes.size());
    if (!bytes.empty()) std::memcpy(out.m_data, bytes.data(), bytes.size());
    return out;
}

SecretBytes SecretBytes::from_slice(std::string_view text) {
    return from_slice(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

SecretBytes SecretBytes::zeroed(std::size_t len) { return allocate(len, len); }

SecretBytes SecretBytes::with_capacity(std::size_t capacity) { return allocate(0, capacity); }

bool SecretBytes::append(std::span<const std::uint8_t> bytes) noexcept {
    if (bytes.size() > m_cap - m_len) return false;
    if (!bytes.empty()) std::memcpy(m_data + m_len, bytes.data(), bytes.size());
    m_len += bytes.size();
    return true;
}

bool SecretBytes::append(std::string_view text) noexcept {
    return append(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void SecretBytes::truncate(std::size_t len) noexcept {
    if (len >= m_len) return;
    wipe(m_data + len, m_len - len);
    m_len = len;
}

void SecretBytes::release() noexcept {
    if (m_data == nullptr) return;
    // Zero the whole capacity, not only the used length: bytes past the end
    // may have held a secret before a truncate.
    wipe(m_data, m_len);
    m_len = 0;
    wipe(m_data, m_cap);
    if (g_release_hook != nullptr) g_release_hook(m_data, m_cap);
    unmap_secret_pages(m_data, m_cap);
    m_data = nullptr;
    m_cap = 0;
}

}  // namespace oxa_signer
