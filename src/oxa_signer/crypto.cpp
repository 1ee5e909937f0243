#include "crypto.hpp"

#include <openssl/evp.h>

#include <array>
#include <climits>
#include <string_view>
#include <vector>

#include "cipher_context.hpp"
#include "encoding/hex.hpp"
#include "random.hpp"
#include "scrypt/scrypt.hpp"

namespace oxa_signer {
namespace {

using oxa_core::Err;
using oxa_core::Status;

constexpr std::size_t KEY_BYTES = 32;
constexpr std::size_t SALT_BYTES = 32;
constexpr std::size_t NONCE_BYTES = 12;
constexpr std::size_t TAG_BYTES = 16;

constexpr std::uint32_t MIN_SCRYPT_N = 65536;
constexpr std::uint32_t MIN_SCRYPT_R = 8;
constexpr std::uint32_t MIN_SCRYPT_P = 1;
constexpr std::uint64_t MAX_SCRYPT_MEMORY_MIB = 1024;
constexpr std::uint64_t MAX_SCRYPT_WORK = std::uint64_t{1} << 23;  // N*r*p, 16x the default

constexpr const char* AEAD_ERROR = "aead::Error";
constexpr const char* KDF_FAILED = "scrypt key derivation failed";

CryptoError encryption_failed(std::string text) {
    return {CryptoError::Kind::EncryptionFailed, std::move(text)};
}
CryptoError decryption_failed(std::string text) {
    return {CryptoError::Kind::DecryptionFailed, std::move(text)};
}
CryptoError invalid_params(std::string text) {
    return {CryptoError::Kind::InvalidParams, std::move(text)};
}

enum class Direction { Seal, Open };

// AES-256-GCM with its default 96-bit nonce. The key is wiped whether or not
// keying succeeded; a null context means it failed.
CipherContext keyed_gcm(Direction direction, SecretArray<KEY_BYTES>& key,
                        std::span<const std::uint8_t, NONCE_BYTES> nonce) {
    CipherContext ctx(EVP_CIPHER_CTX_new());
    const int encrypting = direction == Direction::Seal ? 1 : 0;
    const bool keyed = ctx && EVP_CipherInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(),
                                                nonce.data(), encrypting) == 1;
    key.wipe();
    if (!keyed) ctx.reset();
    return ctx;
}

// Runs the keyed cipher over `in` into `out` (which may be `in` itself) and
// finishes it; for opening, Final is where the tag is verified.
bool run_gcm(EVP_CIPHER_CTX* ctx, const std::uint8_t* in, std::uint8_t* out, std::size_t len) {
    if (len > static_cast<std::size_t>(INT_MAX)) return false;
    int written = 0;
    if (len != 0 && (EVP_CipherUpdate(ctx, out, &written, in, static_cast<int>(len)) != 1 ||
                     written != static_cast<int>(len))) {
        return false;
    }
    std::array<std::uint8_t, TAG_BYTES> no_output{};  // GCM emits nothing at Final
    int tail = 0;
    return EVP_CipherFinal_ex(ctx, no_output.data(), &tail) == 1 && tail == 0;
}

bool seal(EVP_CIPHER_CTX* ctx, std::span<const std::uint8_t> plaintext,
          std::vector<std::uint8_t>& ciphertext, std::array<std::uint8_t, TAG_BYTES>& tag) {
    ciphertext.resize(plaintext.size());
    return run_gcm(ctx, plaintext.data(), ciphertext.data(), plaintext.size()) &&
           EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, TAG_BYTES, tag.data()) == 1;
}

bool open_in_place(EVP_CIPHER_CTX* ctx, std::span<std::uint8_t> sealed,
                   std::vector<std::uint8_t>& tag) {
    return tag.size() == TAG_BYTES &&
           EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, TAG_BYTES, tag.data()) == 1 &&
           run_gcm(ctx, sealed.data(), sealed.data(), sealed.size());
}

bool is_power_of_two(std::uint32_t n) { return n != 0 && (n & (n - 1)) == 0; }

std::string downgrade(std::string_view name, std::uint32_t value, std::uint32_t minimum) {
    return "scrypt " + std::string(name) + "=" + std::to_string(value) + " is below minimum " +
           std::to_string(minimum) + " \u2014 possible downgrade attack";
}

// The ordered checks after hex decoding; the first failure is the one reported.
Status<std::string> check_minimums(const KdfParams& kdf) {
    if (!is_power_of_two(kdf.n)) {
        return Err{"scrypt N must be a power of 2, got " + std::to_string(kdf.n)};
    }
    if (kdf.n < MIN_SCRYPT_N) return Err{downgrade("N", kdf.n, MIN_SCRYPT_N)};
    if (kdf.r < MIN_SCRYPT_R) return Err{downgrade("r", kdf.r, MIN_SCRYPT_R)};
    if (kdf.p < MIN_SCRYPT_P) return Err{downgrade("p", kdf.p, MIN_SCRYPT_P)};
    if (kdf.dklen < KEY_BYTES) {
        return Err{"dklen=" + std::to_string(kdf.dklen) + " is below minimum " +
                   std::to_string(KEY_BYTES)};
    }
    if (kdf.dklen > KEY_BYTES) {
        return Err{"dklen=" + std::to_string(kdf.dklen) + " is unsupported, expected exactly " +
                   std::to_string(KEY_BYTES)};
    }
    return oxa_core::OK;
}

std::string iv_length_error(std::size_t nonce_bytes) {
    return "iv must be " + std::to_string(NONCE_BYTES) + " bytes, got " +
           std::to_string(nonce_bytes);
}

// RFC 7914's own bounds (N < 2^(16r), r*p < 2^30), which an envelope keeps
// to; the minimums and check_scrypt_limits already imply both.
bool within_rfc7914(const ScryptParams& cost) {
    const bool n_fits_block = cost.r >= 2 || cost.n < (std::uint32_t{1} << 16);
    return n_fits_block && std::uint64_t{cost.r} * cost.p < (std::uint64_t{1} << 30);
}

ScryptParams cost_of(const KdfParams& kdf) { return {kdf.n, kdf.r, kdf.p}; }

}  // namespace

Status<std::string> check_scrypt_limits(const ScryptParams& cost) {
    // N*r fits 64 bits; 128*N*r bytes is N*r/8192 MiB, rounded up to show an excess.
    const std::uint64_t n_times_r = std::uint64_t{cost.n} * cost.r;
    const std::uint64_t memory_mib = (n_times_r + 8191) / 8192;
    if (memory_mib > MAX_SCRYPT_MEMORY_MIB) {
        return Err{"scrypt N=" + std::to_string(cost.n) + ", r=" + std::to_string(cost.r) +
                   " needs " + std::to_string(memory_mib) + " MiB of memory, above the maximum " +
                   std::to_string(MAX_SCRYPT_MEMORY_MIB) + " MiB"};
    }
    // N*r <= 2^23 here, so N*r*p fits 64 bits.
    const std::uint64_t work = n_times_r * cost.p;
    if (work > MAX_SCRYPT_WORK) {
        return Err{"scrypt N*r*p=" + std::to_string(work) + " is above the maximum " +
                   std::to_string(MAX_SCRYPT_WORK) + " (16 times the default work)"};
    }
    return oxa_core::OK;
}

std::string CryptoError::display() const {
    switch (kind) {
        case Kind::EncryptionFailed: return "encryption failed: " + text;
        case Kind::DecryptionFailed: return "decryption failed: " + text;
        case Kind::InvalidParams: break;
    }
    return "invalid parameters: " + text;
}

oxa_core::Result<CryptoEnvelope, CryptoError> encrypt(std::span<const std::uint8_t> plaintext,
                                                      std::span<const std::uint8_t> password,
                                                      const ScryptParams& cost) {
    // What decrypt would refuse is never written.
    const KdfParams kdf{KEY_BYTES, cost.n, cost.r, cost.p, {}};
    if (auto checked = check_minimums(kdf); !checked) return Err{invalid_params(checked.error())};
    if (auto checked = check_scrypt_limits(cost); !checked) {
        return Err{invalid_params(checked.error())};
    }
    if (!within_rfc7914(cost)) return Err{invalid_params("invalid scrypt parameters")};
    std::array<std::uint8_t, SALT_BYTES> salt{};
    std::array<std::uint8_t, NONCE_BYTES> nonce{};
    random_fill(salt);
    random_fill(nonce);

    SecretArray<KEY_BYTES> key;
    if (!scrypt(password, salt, cost, key.mutable_bytes())) {
        return Err{encryption_failed(KDF_FAILED)};
    }
    const CipherContext ctx = keyed_gcm(Direction::Seal, key, nonce);
    std::vector<std::uint8_t> ciphertext;
    std::array<std::uint8_t, TAG_BYTES> tag{};
    if (!ctx || !seal(ctx.get(), plaintext, ciphertext, tag)) {
        return Err{encryption_failed(AEAD_ERROR)};
    }

    CryptoEnvelope envelope;
    envelope.cipher = "aes-256-gcm";
    envelope.cipherparams.iv = hex_encode(nonce);
    envelope.ciphertext = hex_encode(ciphertext);
    envelope.auth_tag = hex_encode(tag);
    envelope.kdf = "scrypt";
    envelope.kdfparams = KdfParams{KEY_BYTES, cost.n, cost.r, cost.p, hex_encode(salt)};
    return envelope;
}

oxa_core::Result<SecretBytes, CryptoError> decrypt(const CryptoEnvelope& envelope,
                                                   std::span<const std::uint8_t> password) {
    const KdfParams& kdf = envelope.kdfparams;
    auto salt = hex_decode(kdf.salt);
    if (!salt) return Err{invalid_params(salt.error())};
    auto nonce = hex_decode(envelope.cipherparams.iv);
    if (!nonce) return Err{invalid_params(nonce.error())};
    // Opened in place, so the ciphertext goes straight into pinned, wiped memory.
    SecretBytes sealed = SecretBytes::zeroed(envelope.ciphertext.size() / 2);
    if (auto decoded = hex_decode_into(envelope.ciphertext, sealed.mutable_bytes()); !decoded) {
        return Err{invalid_params(decoded.error())};
    }
    auto tag = hex_decode(envelope.auth_tag);
    if (!tag) return Err{invalid_params(tag.error())};

    if (auto checked = check_minimums(kdf); !checked) return Err{invalid_params(checked.error())};
    // Bounds that keep a hostile envelope from claiming more memory or time
    // than any wallet we write needs.
    if (nonce.value().size() != NONCE_BYTES) {
        return Err{invalid_params(iv_length_error(nonce.value().size()))};
    }
    if (auto checked = check_scrypt_limits(cost_of(kdf)); !checked) {
        return Err{invalid_params(checked.error())};
    }
    if (!within_rfc7914(cost_of(kdf))) return Err{invalid_params("invalid scrypt parameters")};

    SecretArray<KEY_BYTES> key;
    if (!scrypt(password, salt.value(), cost_of(kdf), key.mutable_bytes())) {
        return Err{decryption_failed(KDF_FAILED)};
    }
    const CipherContext ctx =
        keyed_gcm(Direction::Open, key, std::span<const std::uint8_t, NONCE_BYTES>(nonce.value()));
    if (!ctx || !open_in_place(ctx.get(), sealed.mutable_bytes(), tag.value())) {
        return Err{decryption_failed(AEAD_ERROR)};
    }
    return sealed;
}

}  // namespace oxa_signer
