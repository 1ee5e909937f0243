#pragma once
// Tron: Base58Check addresses (0x41 + Keccak account) and secp256k1 signatures.

#include <string>
#include <string_view>

#include "oxa_core/result.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_signer {

/// Keccak-256 of 0x19 "TRON Signed Message:\n", the decimal length, the message.
Bytes32 tron_message_hash(ByteSpan message);

/// Base58Check of 0x41 followed by the 20-byte account.
std::string tron_address(const Bytes20& account);

/// The account of a Tron address. Errors: the Base58Check decoder's, or
/// "expected 21 bytes beginning with 0x41".
oxa_core::Result<Bytes20, std::string> parse_tron_address(std::string_view address);

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
