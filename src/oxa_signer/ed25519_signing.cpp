#include "ed25519_signing.hpp"

#include <sodium.h>

#include <string>

#include "random.hpp"
#include "zeroizing.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

static_assert(crypto_sign_ed25519_SEEDBYTES == ED25519_SEED_BYTES);
static_assert(crypto_sign_ed25519_BYTES == ED25519_SIGNATURE_BYTES);
static_assert(crypto_sign_ed25519_PUBLICKEYBYTES == Ed25519PublicKey{}.size());

// libsodium's signing key (the seed followed by the public key) and the
// public key on its own.
struct ExpandedKey {
    SecretArray<crypto_sign_ed25519_SECRETKEYBYTES> secret;
    Ed25519PublicKey public_key{};
};

[[nodiscard]] SignerResult<std::monostate> expand(ByteSpan private_key, ExpandedKey& key) {
    if (private_key.size() != ED25519_SEED_BYTES) {
        return Err{SignerError{SignerError::Kind::InvalidPrivateKey,
                               "expected 32 bytes, got " + std::to_string(private_key.size())}};
    }
    ensure_sodium_ready();
    crypto_sign_ed25519_seed_keypair(key.public_key.data(), key.secret.data(), private_key.data());
    return std::monostate{};
}

}  // namespace

SignerResult<Ed25519PublicKey> ed25519_public_key(ByteSpan private_key) {
    ExpandedKey key;
    auto expanded = expand(private_key, key);
    if (!expanded) return Err{expanded.error()};
    return key.public_key;
}

SignerResult<SignOutput> ed25519_sign(ByteSpan private_key, ByteSpan data) {
    ExpandedKey key;
    auto expanded = expand(private_key, key);
    if (!expanded) return Err{expanded.error()};
    SignOutput out;
    out.signature.resize(ED25519_SIGNATURE_BYTES);
    crypto_sign_ed25519_detached(out.signature.data(), nullptr, data.data(), data.size(),
                                 key.secret.data());
    return out;
}

bool ed25519_verify(ByteSpan public_key, ByteSpan data, ByteSpan signature) {
    if (public_key.size() != Ed25519PublicKey{}.size() ||
        signature.size() != ED25519_SIGNATURE_BYTES) {
        return false;
    }
    ensure_sodium_ready();
    return crypto_sign_ed25519_verify_detached(signature.data(), data.data(), data.size(),
                                               public_key.data()) == 0;
}

}  // namespace oxa_signer
