#include "solana.hpp"

#include <algorithm>

#include "oxa_signer/ed25519_signing.hpp"
#include "oxa_signer/encoding/base58.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

constexpr std::size_t SIGNATURE_SLOT_BYTES = 64;

SignerError invalid_transaction(std::string text) {
    return SignerError{SignerError::Kind::InvalidTransaction, std::move(text)};
}

// Bytes taken by the count byte and the slots it declares; at most 1 + 255 * 64.
std::size_t signature_area_bytes(ByteSpan tx) { return 1 + SIGNATURE_SLOT_BYTES * tx[0]; }

}  // namespace

oxa_core::Result<Ed25519PublicKey, std::string> parse_solana_address(std::string_view address) {
    auto bytes = base58_decode(address);
    if (!bytes) return Err{"not Base58"};
    Ed25519PublicKey public_key{};
    if (bytes->size() != public_key.size()) {
        return Err{std::to_string(bytes->size()) + " bytes, expected a 32-byte public key"};
    }
    std::copy(bytes->begin(), bytes->end(), public_key.begin());
    return public_key;
}

SignerResult<std::string> SolanaSigner::derive_address(ByteSpan private_key) const {
    auto public_key = ed25519_public_key(private_key);
    if (!public_key) return Err{public_key.error()};
    return base58_encode(public_key.value());
}

SignerResult<SignOutput> SolanaSigner::sign(ByteSpan private_key, ByteSpan data) const {
    return ed25519_sign(private_key, data);
}

SignerResult<SignOutput> SolanaSigner::sign_message(ByteSpan private_key, ByteSpan message) const {
    return sign(private_key, message);
}

SignerResult<SignOutput> SolanaSigner::sign_transaction(ByteSpan private_key, ByteSpan tx) const {
    return sign(private_key, tx);
}

SignerResult<ByteSpan> SolanaSigner::extract_signable_bytes(ByteSpan tx) const {
    if (tx.empty()) return Err{invalid_transaction("empty transaction")};
    const std::size_t message_offset = signature_area_bytes(tx);
    if (message_offset >= tx.size()) {
        return Err{invalid_transaction("transaction too short for declared signature slots")};
    }
    return tx.subspan(message_offset);
}

SignerResult<std::vector<std::uint8_t>> SolanaSigner::encode_signed_transaction(
    ByteSpan tx, const SignOutput& output) const {
    if (output.signature.size() != SIGNATURE_SLOT_BYTES) {
        return Err{invalid_transaction("expected 64-byte Ed25519 signature")};
    }
    if (tx.empty()) return Err{invalid_transaction("empty transaction")};
    if (tx[0] == 0) return Err{invalid_transaction("transaction has no signature slots")};
    // An empty message is let through here: only the slots have to fit.
    if (signature_area_bytes(tx) > tx.size()) {
        return Err{invalid_transaction("transaction too short for declared signature slots")};
    }
    std::vector<std::uint8_t> signed_tx(tx.begin(), tx.end());
    std::copy(output.signature.begin(), output.signature.end(), signed_tx.begin() + 1);
    return signed_tx;
}

std::string SolanaSigner::default_derivation_path(std::uint32_t index) const {
    return "m/44'/501'/" + std::to_string(index) + "'/0'";
}

}  // namespace oxa_signer
