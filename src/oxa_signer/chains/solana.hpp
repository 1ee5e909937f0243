#pragma once
// Solana: Base58 public-key addresses and Ed25519 transaction signatures.

#include <string>
#include <string_view>

#include "oxa_core/result.hpp"
#include "oxa_signer/ed25519_signing.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_signer {

/// The public key an address spells. Errors: "not Base58", "N bytes,
/// expected a 32-byte public key".
oxa_core::Result<Ed25519PublicKey, std::string> parse_solana_address(std::string_view address);

/// A serialized transaction is read as: one byte counting the signature slots
/// (the compact-u16 prefix, a single byte for every count below 128), that
/// many 64-byte slots, then the message that is signed.
class SolanaSigner final : public ChainSigner {
public:
    ChainType chain_type() const noexcept override { return ChainType::Solana; }
    Curve curve() const noexcept override { return Curve::Ed25519; }
    std::uint32_t coin_type() const noexcept override { return 501; }
    /// Base58 of the 32-byte public key.
    SignerResult<std::string> derive_address(ByteSpan private_key) const override;
    /// Ed25519 over the unchanged bytes; the message and transaction forms are the same.
    SignerResult<SignOutput> sign(ByteSpan private_key, ByteSpan data) const override;
    SignerResult<SignOutput> sign_message(ByteSpan private_key, ByteSpan message) const override;
    SignerResult<SignOutput> sign_transaction(ByteSpan private_key, ByteSpan tx) const override;
    /// The message after the signature slots; it must hold at least one byte.
    SignerResult<ByteSpan> extract_signable_bytes(ByteSpan tx) const override;
    /// A copy of the transaction with the signature in its first slot.
    SignerResult<std::vector<std::uint8_t>> encode_signed_transaction(
        ByteSpan tx, const SignOutput& output) const override;
    std::string default_derivation_path(std::uint32_t index) const override;
};

}  // namespace oxa_signer
