#include "secp256k1_signing.hpp"

#include <secp256k1.h>
#include <secp256k1_recovery.h>

#include <algorithm>
#include <string>

#include "oxa_core/internal_abort.hpp"
#include "secp256k1_context.hpp"
#include "zeroizing.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

constexpr std::size_t SECRET_KEY_BYTES = 32;
constexpr std::size_t SHORTEST_KEY_BYTES = 24;
constexpr std::size_t MAX_DER_SIGNATURE_BYTES = 72;

SignerError invalid_private_key() {
    return SignerError{SignerError::Kind::InvalidPrivateKey, "signature error"};
}

// Keys of 24 to 31 bytes are big-endian numbers whose leading zero bytes were
// dropped, so they are right-aligned into the 32 bytes.
[[nodiscard]] bool load_secret_scalar(ByteSpan private_key, SecretArray<SECRET_KEY_BYTES>& scalar) {
    if (private_key.size() < SHORTEST_KEY_BYTES || private_key.size() > SECRET_KEY_BYTES) {
        return false;
    }
    std::copy(private_key.begin(), private_key.end(),
              scalar.data() + (SECRET_KEY_BYTES - private_key.size()));
    return secp256k1_ec_seckey_verify(shared_secp256k1_context(), scalar.data()) == 1;
}

SignerResult<secp256k1_pubkey> public_key_point(ByteSpan private_key) {
    SecretArray<SECRET_KEY_BYTES> scalar;
    if (!load_secret_scalar(private_key, scalar)) return Err{invalid_private_key()};
    secp256k1_pubkey point;
    if (secp256k1_ec_pubkey_create(shared_secp256k1_context(), &point, scalar.data()) != 1) {
        return Err{invalid_private_key()};
    }
    return point;
}

template <std::size_t N>
std::array<std::uint8_t, N> serialize_point(const secp256k1_pubkey& point, unsigned int flags) {
    std::array<std::uint8_t, N> out{};
    std::size_t len = out.size();
    secp256k1_ec_pubkey_serialize(shared_secp256k1_context(), out.data(), &len, &point, flags);
    return out;
}

}  // namespace

SignerResult<UncompressedPublicKey> secp256k1_uncompressed_public_key(ByteSpan private_key) {
    auto point = public_key_point(private_key);
    if (!point) return Err{point.error()};
    return serialize_point<65>(point.value(), SECP256K1_EC_UNCOMPRESSED);
}

SignerResult<CompressedPublicKey> secp256k1_compressed_public_key(ByteSpan private_key) {
    auto point = public_key_point(private_key);
    if (!point) return Err{point.error()};
    return serialize_point<33>(point.value(), SECP256K1_EC_COMPRESSED);
}

SignerResult<SignOutput> secp256k1_sign_hash(ByteSpan private_key, ByteSpan hash,
                                             std::string_view hash_noun) {
    if (hash.size() != SECP256K1_HASH_BYTES) {
        return Err{SignerError{SignerError::Kind::InvalidMessage,
                               "expected 32-byte " + std::string(hash_noun) + ", got " +
                                   std::to_string(hash.size()) + " bytes"}};
    }
    SecretArray<SECRET_KEY_BYTES> scalar;
    if (!load_secret_scalar(private_key, scalar)) return Err{invalid_private_key()};

    // The library signs in low-S form and flips the recovery id with s.
    secp256k1_ecdsa_recoverable_signature signature;
    if (secp256k1_ecdsa_sign_recoverable(shared_secp256k1_context(), &signature, hash.data(),
                                         scalar.data(), secp256k1_nonce_function_rfc6979,
                                         nullptr) != 1) {
        return Err{SignerError{SignerError::Kind::SigningFailed, "signature error"}};
    }
    SignOutput out;
    out.signature.resize(SECP256K1_SIGNATURE_BYTES);
    int recovery_id = 0;
    secp256k1_ecdsa_recoverable_signature_serialize_compact(
        shared_secp256k1_context(), out.signature.data(), &recovery_id, &signature);
    out.signature[64] = static_cast<std::uint8_t>(recovery_id);
    out.recovery_id = out.signature[64];
    return out;
}

std::optional<UncompressedPublicKey> secp256k1_recover(ByteSpan hash, ByteSpan signature) {
    if (hash.size() != SECP256K1_HASH_BYTES || signature.size() != SECP256K1_SIGNATURE_BYTES ||
        signature[64] > 3) {
        return std::nullopt;
    }
    const secp256k1_context* context = shared_secp256k1_context();
    secp256k1_ecdsa_recoverable_signature parsed;
    if (secp256k1_ecdsa_recoverable_signature_parse_compact(context, &parsed, signature.data(),
                                                            signature[64]) != 1) {
        return std::nullopt;
    }
    secp256k1_pubkey point;
    if (secp256k1_ecdsa_recover(context, &point, &parsed, hash.data()) != 1) return std::nullopt;
    return serialize_point<65>(point, SECP256K1_EC_UNCOMPRESSED);
}

bool secp256k1_is_low_s(ByteSpan compact_signature) {
    if (compact_signature.size() < 64) return false;
    const secp256k1_context* context = shared_secp256k1_context();
    secp256k1_ecdsa_signature parsed;
    if (secp256k1_ecdsa_signature_parse_compact(context, &parsed, compact_signature.data()) != 1) {
        return false;
    }
    // Normalizing reports whether it had to change anything.
    return secp256k1_ecdsa_signature_normalize(context, nullptr, &parsed) == 0;
}

CompressedPublicKey secp256k1_compress(const UncompressedPublicKey& point) {
    CompressedPublicKey out{};
    out[0] = static_cast<std::uint8_t>(0x02 | (point[64] & 1));
    std::copy(point.begin() + 1, point.begin() + 33, out.begin() + 1);
    return out;
}

std::vector<std::uint8_t> secp256k1_der_encode(
    std::span<const std::uint8_t, 64> compact_signature) {
    const secp256k1_context* context = shared_secp256k1_context();
    secp256k1_ecdsa_signature parsed;
    if (secp256k1_ecdsa_signature_parse_compact(context, &parsed, compact_signature.data()) != 1) {
        throw oxa_core::InternalAbort("compact signature out of range");
    }
    std::vector<std::uint8_t> der(MAX_DER_SIGNATURE_BYTES);
    std::size_t length = der.size();
    secp256k1_ecdsa_signature_serialize_der(context, der.data(), &length, &parsed);
    der.resize(length);
    return der;
}

bool secp256k1_verify_der(ByteSpan hash, ByteSpan der_signature, ByteSpan public_key) {
    if (hash.size() != SECP256K1_HASH_BYTES) return false;
    const secp256k1_context* context = shared_secp256k1_context();
    secp256k1_ecdsa_signature parsed;
    secp256k1_pubkey point;
    // The library's DER parser is the strict one, and its check refuses a high s.
    return secp256k1_ecdsa_signature_parse_der(context, &parsed, der_signature.data(),
                                               der_signature.size()) == 1 &&
           secp256k1_ec_pubkey_parse(context, &point, public_key.data(), public_key.size()) == 1 &&
           secp256k1_ecdsa_verify(context, &parsed, hash.data(), &point) == 1;
}

}  // namespace oxa_signer
