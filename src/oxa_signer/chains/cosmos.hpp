#pragma once
// Cosmos Hub: Bech32 account addresses and signatures over SHA-256.

#include <string>
#include <string_view>

#include "oxa_core/result.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_signer {

inline constexpr std::string_view COSMOS_HUB_HRP = "cosmos";

/// Bech32 (not Bech32m) of a 20-byte account, no witness version; fails with
/// the encoder's message for an invalid hrp.
oxa_core::Result<std::string, std::string> cosmos_address(std::string_view hrp,
                                                          const Bytes20& account);

/// The account of an address under `hrp`. Errors: the Bech32 decoder's, or
/// "prefix 'p', expected 'hrp'", "Bech32m checksum, expected Bech32",
/// "N-byte account, expected 20".
oxa_core::Result<Bytes20, std::string> parse_cosmos_address(std::string_view hrp,
                                                            std::string_view address);

class CosmosSigner final : public ChainSigner {
public:
    /// `hrp` is the Bech32 human-readable part of addresses ("cosmos").
    explicit CosmosSigner(std::string hrp) : m_hrp(std::move(hrp)) {}

    const std::string& hrp() const noexcept { return m_hrp; }

    ChainType chain_type() const noexcept override { return ChainType::Cosmos; }
    Curve curve() const noexcept override { return Curve::Secp256k1; }
    std::uint32_t coin_type() const noexcept override { return 118; }
    /// Bech32 (not Bech32m) of HASH160(compressed public key), no witness
    /// version; a Bech32 failure is AddressDerivation with the encoder's message.
    SignerResult<std::string> derive_address(ByteSpan private_key) const override;
    /// `data` is a 32-byte hash ("expected 32-byte hash, got N bytes" otherwise).
    SignerResult<SignOutput> sign(ByteSpan private_key, ByteSpan data) const override;
    /// Messages and transactions alike: SHA-256 of the unchanged bytes is signed.
    SignerResult<SignOutput> sign_message(ByteSpan private_key, ByteSpan message) const override;
    SignerResult<SignOutput> sign_transaction(ByteSpan private_key, ByteSpan tx) const override;
    std::string default_derivation_path(std::uint32_t index) const override;

private:
    SignerResult<SignOutput> sign_sha256(ByteSpan private_key, ByteSpan bytes) const;

    std::string m_hrp;
};

}  // namespace oxa_signer
