#include "evm.hpp"

#include <algorithm>
#include <cctype>

#include "oxa_signer/encoding/hex.hpp"
#include "oxa_signer/keccak.hpp"
#include "oxa_signer/rlp.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

constexpr std::uint8_t PREFIXED_DIGEST_V_OFFSET = 27;

std::span<const std::uint8_t> text_bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

Bytes20 keccak_account_hash(const UncompressedPublicKey& public_key) {
    const Bytes32 digest = keccak256(ByteSpan(public_key).subspan(1));
    Bytes20 account{};
    std::copy(digest.end() - account.size(), digest.end(), account.begin());
    return account;
}

std::string eip55_checksum(std::string_view lower_hex40) {
    const Bytes32 digest = keccak256(text_bytes(lower_hex40));
    std::string out(lower_hex40);
    for (std::size_t i = 0; i < out.size() && i / 2 < digest.size(); ++i) {
        const std::uint8_t nibble = i % 2 == 0 ? digest[i / 2] >> 4 : digest[i / 2] & 0x0F;
        if (out[i] >= 'a' && out[i] <= 'f' && nibble >= 8) {
            out[i] = static_cast<char>(out[i] - 'a' + 'A');
        }
    }
    return out;
}

Bytes32 keccak_prefixed_message_hash(std::string_view prefix_text, ByteSpan message) {
    constexpr std::uint8_t HEADER_BYTE = 0x19;
    Keccak256 hasher;
    hasher.update(ByteSpan(&HEADER_BYTE, 1));
    hasher.update(text_bytes(prefix_text));
    hasher.update(text_bytes(std::to_string(message.size())));
    hasher.update(message);
    return hasher.finish();
}

Bytes32 evm_message_hash(ByteSpan message) {
    return keccak_prefixed_message_hash("Ethereum Signed Message:\n", message);
}

std::string evm_address(const Bytes20& account) {
    return "0x" + eip55_checksum(hex_encode(account));
}

oxa_core::Result<Bytes20, std::string> parse_evm_address(std::string_view address) {
    constexpr std::size_t HEX_DIGITS = 40;
    if (!address.starts_with("0x") || address.size() != 2 + HEX_DIGITS) {
        return Err{"expected 0x and 40 hex digits"};
    }
    const std::string_view digits = address.substr(2);
    auto bytes = hex_decode(digits);
    if (!bytes) return Err{"expected 0x and 40 hex digits"};
    const std::string lower = hex_encode(bytes.value());
    const bool has_lower =
        std::any_of(digits.begin(), digits.end(), [](char c) { return c >= 'a' && c <= 'f'; });
    const bool has_upper =
        std::any_of(digits.begin(), digits.end(), [](char c) { return c >= 'A' && c <= 'F'; });
    // One letter case throughout carries no checksum; mixed case is one.
    if (has_lower && has_upper && digits != eip55_checksum(lower)) {
        return Err{"EIP-55 checksum mismatch"};
    }
    Bytes20 account{};
    std::copy(bytes.value().begin(), bytes.value().end(), account.begin());
    return account;
}

SignerResult<SignOutput> sign_prefixed_digest(ByteSpan private_key, const Bytes32& digest) {
    auto output = secp256k1_sign_hash(private_key, digest, "prehash");
    if (!output) return output;
    SignOutput& signed_digest = output.value();
    signed_digest.signature.back() += PREFIXED_DIGEST_V_OFFSET;
    signed_digest.recovery_id = signed_digest.signature.back();
    return output;
}

SignerResult<std::string> EvmSigner::derive_address(ByteSpan private_key) const {
    auto public_key = secp256k1_uncompressed_public_key(private_key);
    if (!public_key) return Err{public_key.error()};
    return evm_address(keccak_account_hash(public_key.value()));
}

SignerResult<SignOutput> EvmSigner::sign(ByteSpan private_key, ByteSpan data) const {
    return secp256k1_sign_hash(private_key, data, "prehash");
}

SignerResult<SignOutput> EvmSigner::sign_message(ByteSpan private_key, ByteSpan message) const {
    return sign_prefixed_digest(private_key, evm_message_hash(message));
}

SignerResult<SignOutput> EvmSigner::sign_transaction(ByteSpan private_key, ByteSpan tx) const {
    return sign(private_key, keccak256(tx));
}

SignerResult<std::vector<std::uint8_t>> EvmSigner::encode_signed_transaction(
    ByteSpan tx, const SignOutput& output) const {
    const auto& signature = output.signature;
    if (signature.size() != SECP256K1_SIGNATURE_BYTES) {
        return Err{SignerError{SignerError::Kind::InvalidTransaction,
                               "expected 65-byte signature (r || s || v)"}};
    }
    const ByteSpan whole(signature);
    auto encoded =
        encode_signed_typed_tx(tx, signature[64], whole.subspan<0, 32>(), whole.subspan<32, 32>());
    if (!encoded) return Err{SignerError{SignerError::Kind::InvalidTransaction, encoded.error()}};
    return std::move(encoded).value();
}

std::string EvmSigner::default_derivation_path(std::uint32_t index) const {
    return "m/44'/60'/0'/0/" + std::to_string(index);
}

}  // namespace oxa_signer
