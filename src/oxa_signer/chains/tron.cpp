#include "tron.hpp"

#include <algorithm>
#include <array>

#include "evm.hpp"
#include "oxa_signer/encoding/base58.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/secp256k1_signing.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

constexpr std::uint8_t ADDRESS_VERSION = 0x41;
constexpr std::size_t PAYLOAD_BYTES = 21;  // version byte + 20-byte account

}  // namespace

Bytes32 tron_message_hash(ByteSpan message) {
    return keccak_prefixed_message_hash("TRON Signed Message:\n", message);
}

std::string tron_address(const Bytes20& account) {
    std::array<std::uint8_t, PAYLOAD_BYTES> payload{ADDRESS_VERSION};
    std::copy(account.begin(), account.end(), payload.begin() + 1);
    return base58check_encode(payload);
}

oxa_core::Result<Bytes20, std::string> parse_tron_address(std::string_view address) {
    auto payload = base58check_decode(address);
    if (!payload) return Err{std::move(payload).error()};
    const std::vector<std::uint8_t>& bytes = payload.value();
    if (bytes.size() != PAYLOAD_BYTES || bytes[0] != ADDRESS_VERSION) {
        return Err{"expected 21 bytes beginning with 0x41"};
    }
    Bytes20 account{};
    std::copy(bytes.begin() + 1, bytes.end(), account.begin());
    return account;
}

SignerResult<std::string> TronSigner::derive_address(ByteSpan private_key) const {
    auto public_key = secp256k1_uncompressed_public_key(private_key);
    if (!public_key) return Err{public_key.error()};
    return tron_address(keccak_account_hash(public_key.value()));
}

SignerResult<SignOutput> TronSigner::sign(ByteSpan private_key, ByteSpan data) const {
    return secp256k1_sign_hash(private_key, data, "hash");
}

SignerResult<SignOutput> TronSigner::sign_message(ByteSpan private_key, ByteSpan message) const {
    return sign(private_key, tron_message_hash(message));
}

SignerResult<SignOutput> TronSigner::sign_transaction(ByteSpan private_key, ByteSpan tx) const {
    return sign(private_key, sha256(tx));
}

std::string TronSigner::default_derivation_path(std::uint32_t index) const {
    return "m/44'/195'/0'/0/" + std::to_string(index);
}

}  // namespace oxa_signer
