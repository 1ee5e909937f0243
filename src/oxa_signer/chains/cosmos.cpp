#include "cosmos.hpp"

#include "oxa_signer/encoding/bech32.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/secp256k1_signing.hpp"

namespace oxa_signer {

using oxa_core::Err;

SignerResult<std::string> CosmosSigner::derive_address(ByteSpan private_key) const {
    auto public_key = secp256k1_compressed_public_key(private_key);
    if (!public_key) return Err{public_key.error()};
    const Bytes20 account = hash160(public_key.value());
    auto groups = convert_bits(account, 8, 5, true);
    if (!groups) return Err{SignerError{SignerError::Kind::AddressDerivation, groups.error()}};
    auto address = bech32_encode(m_hrp, groups.value(), Bech32Variant::Bech32);
    if (!address) return Err{SignerError{SignerError::Kind::AddressDerivation, address.error()}};
    return std::move(address).value();
}

SignerResult<SignOutput> CosmosSigner::sign(ByteSpan private_key, ByteSpan data) const {
    return secp256k1_sign_hash(private_key, data, "hash");
}

SignerResult<SignOutput> CosmosSigner::sign_message(ByteSpan private_key, ByteSpan message) const {
    return sign_sha256(private_key, message);
}

SignerResult<SignOutput> CosmosSigner::sign_transaction(ByteSpan private_key, ByteSpan tx) const {
    return sign_sha256(private_key, tx);
}

std::string CosmosSigner::default_derivation_path(std::uint32_t index) const {
    return "m/44'/118'/0'/0/" + std::to_string(index);
}

SignerResult<SignOutput> CosmosSigner::sign_sha256(ByteSpan private_key, ByteSpan bytes) const {
    return sign(private_key, sha256(bytes));
}

}  // namespace oxa_signer
