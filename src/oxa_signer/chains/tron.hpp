#pragma once
// Tron: Base58Check addresses (0x41 + Keccak account) and secp256k1 signatures.

#include "oxa_signer/traits.hpp"

namespace oxa_signer {

class TronSigner final : public ChainSigner {
public:
    ChainType chain_type() const noexcept override { return ChainType::Tron; }
    Curve curve() const noexcept override { return Curve::Secp256k1; }
    std::uint32_t coin_type() const noexcept override { return 195; }
    /// Base58Check of 0x41 followed by the EVM account of the key: 34
    /// characters beginning with "T".
    SignerResult<std::string> derive_address(ByteSpan private_key) const override;
    /// `data` is a 32-byte hash ("expected 32-byte hash, got N bytes" otherwise).
    SignerResult<SignOutput> sign(ByteSpan private_key, ByteSpan data) const override;
    /// Keccak-256 of 0x19 "TRON Signed Message:\n" + decimal length + message;
    /// unlike EVM, v stays 0 or 1.
    SignerResult<SignOutput> sign_message(ByteSpan private_key, ByteSpan message) const override;
    /// Signs the single SHA-256 of the raw transaction data (the Tron txid).
    SignerResult<SignOutput> sign_transaction(ByteSpan private_key, ByteSpan tx) const override;
    std::string default_derivation_path(std::uint32_t index) const override;
};

}  // namespace oxa_signer
