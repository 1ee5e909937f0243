#include "signature_checks.hpp"

#include <secp256k1.h>
#include <secp256k1_recovery.h>
#include <sodium.h>

#include "test_support.hpp"

namespace oxa_test {
namespace {

const secp256k1_context* verify_context() {
    static secp256k1_context* ctx =
        secp256k1_context_create(SECP256K1_CONTEXT_SIGN | SECP256K1_CONTEXT_VERIFY);
    return ctx;
}

std::vector<std::uint8_t> serialize_uncompressed(const secp256k1_pubkey& point) {
    std::vector<std::uint8_t> out(65);
    std::size_t len = out.size();
    secp256k1_ec_pubkey_serialize(verify_context(), out.data(), &len, &point,
                                  SECP256K1_EC_UNCOMPRESSED);
    return out;
}

}  // namespace

std::vector<std::uint8_t> recover_public_key(std::span<const std::uint8_t> hash,
                                             std::span<const std::uint8_t> signature,
                                             int recovery_id) {
    if (hash.size() != 32 || signature.size() < 64 || recovery_id < 0 || recovery_id > 3) return {};
    secp256k1_ecdsa_recoverable_signature parsed;
    if (!secp256k1_ecdsa_recoverable_signature_parse_compact(verify_context(), &parsed,
                                                             signature.data(), recovery_id)) {
        return {};
    }
    secp256k1_pubkey point;
    if (!secp256k1_ecdsa_recover(verify_context(), &point, &parsed, hash.data())) return {};
    return serialize_uncompressed(point);
}

std::vector<std::uint8_t> uncompressed_point(std::span<const std::uint8_t> point) {
    secp256k1_pubkey parsed;
    if (!secp256k1_ec_pubkey_parse(verify_context(), &parsed, point.data(), point.size())) {
        return {};
    }
    return serialize_uncompressed(parsed);
}

bool has_low_s(std::span<const std::uint8_t> signature) {
    secp256k1_ecdsa_signature parsed;
    if (signature.size() < 64 ||
        !secp256k1_ecdsa_signature_parse_compact(verify_context(), &parsed, signature.data())) {
        return false;
    }
    // normalize reports 1 exactly when s was in the upper half.
    return secp256k1_ecdsa_signature_normalize(verify_context(), nullptr, &parsed) == 0;
}

bool ed25519_verifies(std::span<const std::uint8_t> public_key,
                      std::span<const std::uint8_t> message,
                      std::span<const std::uint8_t> signature) {
    if (public_key.size() != crypto_sign_PUBLICKEYBYTES || signature.size() != crypto_sign_BYTES) {
        return false;
    }
    return crypto_sign_verify_detached(signature.data(), message.data(), message.size(),
                                       public_key.data()) == 0;
}

std::vector<std::uint8_t> secp256k1_order() {
    return unhex("fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141");
}

std::vector<std::uint8_t> malleate(std::vector<std::uint8_t> signature) {
    const auto order = secp256k1_order();
    int borrow = 0;
    for (int i = 31; i >= 0; --i) {
        const int d = order[i] - signature[32 + i] - borrow;
        signature[32 + i] = static_cast<std::uint8_t>(d & 0xff);
        borrow = d < 0 ? 1 : 0;
    }
    if (signature.size() > 64) signature[64] ^= 1;
    return signature;
}

}  // namespace oxa_test
