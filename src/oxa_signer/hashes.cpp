#include "hashes.hpp"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <climits>
#include <string>

#include "oxa_core/internal_abort.hpp"

namespace oxa_signer {
namespace {

// The OpenSSL calls below only fail on allocation failure or a broken
// provider; a wrong digest must never be returned in that case.
[[noreturn]] void openssl_broken(const char* algorithm) {
    throw oxa_core::InternalAbort(std::string(algorithm) + " should not fail");
}

// An empty span may carry a null pointer, which some OpenSSL one-shot calls
// refuse even with a zero length.
const std::uint8_t* nonnull(ByteView bytes) noexcept {
    static constexpr std::uint8_t EMPTY[1] = {0};
    return bytes.empty() ? EMPTY : bytes.data();
}

template <std::size_t N>
std::array<std::uint8_t, N> digest(const EVP_MD* md, const char* algorithm, ByteView data) {
    std::array<std::uint8_t, N> out{};
    unsigned int len = 0;
    if (md == nullptr ||
        EVP_Digest(nonnull(data), data.size(), out.data(), &len, md, nullptr) != 1 || len != N) {
        openssl_broken(algorithm);
    }
    return out;
}

// The lengths above INT_MAX that OpenSSL cannot take are never asked for:
// passwords, salts and keys here are small.
void pbkdf2(const EVP_MD* md, const char* name, ByteView password, ByteView salt,
            std::uint32_t iterations, std::span<std::uint8_t> out) {
    if (out.empty()) return;
    if (password.size() > INT_MAX || salt.size() > INT_MAX || out.size() > INT_MAX ||
        iterations == 0 || iterations > INT_MAX ||
        PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(nonnull(password)),
                          static_cast<int>(password.size()), nonnull(salt),
                          static_cast<int>(salt.size()), static_cast<int>(iterations), md,
                          static_cast<int>(out.size()), out.data()) != 1) {
        openssl_broken(name);
    }
}

}  // namespace

Bytes32 sha256(ByteView data) { return digest<32>(EVP_sha256(), "SHA-256", data); }

Bytes32 sha256d(ByteView data) {
    const Bytes32 once = sha256(data);
    return sha256(once);
}

Bytes64 sha512(ByteView data) { return digest<64>(EVP_sha512(), "SHA-512", data); }

Bytes20 ripemd160(ByteView data) { return digest<20>(EVP_ripemd160(), "RIPEMD-160", data); }

Bytes20 hash160(ByteView data) {
    const Bytes32 inner = sha256(data);
    return ripemd160(inner);
}

void hmac_sha512(ByteView key, ByteView data, std::span<std::uint8_t, 64> out) {
    unsigned int len = 0;
    if (key.size() > INT_MAX ||
        HMAC(EVP_sha512(), nonnull(key), static_cast<int>(key.size()), nonnull(data), data.size(),
             out.data(), &len) == nullptr ||
        len != out.size()) {
        openssl_broken("HMAC-SHA512");
    }
}

void pbkdf2_hmac_sha512(ByteView password, ByteView salt, std::uint32_t iterations,
                        std::span<std::uint8_t> out) {
    pbkdf2(EVP_sha512(), "PBKDF2-HMAC-SHA512", password, salt, iterations, out);
}

void pbkdf2_hmac_sha256(ByteView password, ByteView salt, std::uint32_t iterations,
                        std::span<std::uint8_t> out) {
    pbkdf2(EVP_sha256(), "PBKDF2-HMAC-SHA256", password, salt, iterations, out);
}

}  // namespace oxa_signer
