#include "cosmos.hpp"

#include <algorithm>

#include "oxa_signer/encoding/bech32.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/secp256k1_signing.hpp"

namespace oxa_signer {

using oxa_core::Err;

oxa_core::Result<std::string, std::string> cosmos_address(std::string_view hrp,
                                                          const Bytes20& account) {
    auto groups = convert_bits(account, 8, 5, true);
    if (!groups) return Err{std::move(groups).error()};
    return bech32_encode(hrp, groups.value(), Bech32Variant::Bech32);
}

oxa_core::Result<Bytes20, std::string> parse_cosmos_address(std::string_view hrp,
                                                            std::string_view address) {
    auto decoded = bech32_decode(address);
    if (!decoded) return Err{std::move(decoded).error()};
    const Bech32Decoded& parts = decoded.value();
    if (parts.hrp != hrp) {
        return Err{"prefix '" + parts.hrp + "', expected '" + std::string(hrp) + "'"};
    }
    if (parts.variant != Bech32Variant::Bech32) return Err{"Bech32m checksum, expected Bech32"};
    auto bytes = convert_bits(parts.data5, 5, 8, false);
    if (!bytes) return Err{std::move(bytes).error()};
    Bytes20 account{};
    if (bytes.value().size() != account.size()) {
        return Err{std::to_string(bytes.value().size()) + "-byte account, expected 20"};
    }
    std::copy(bytes.value().begin(), bytes.value().end(), account.begin());
    return account;
}

SignerResult<std::string> CosmosSigner::derive_address(ByteSpan private_key) const {
    auto public_key = secp256k1_compressed_public_key(private_key);
    if (!public_key) return Err{public_key.error()};
    auto address = cosmos_address(m_hrp, hash160(public_key.value()));
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
