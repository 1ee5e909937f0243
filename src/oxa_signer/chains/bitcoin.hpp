#pragma once
// Bitcoin: native SegWit (P2WPKH) addresses, signed messages, transaction hashes.

#include <string>
#include <string_view>
#include <vector>

#include "oxa_core/result.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_signer {

inline constexpr std::string_view BITCOIN_MAINNET_HRP = "bc";

/// Bitcoin's CompactSize: one byte up to 252, else 0xFD, 0xFE or 0xFF and the
/// number in 2, 4 or 8 little-endian bytes.
std::vector<std::uint8_t> compact_size(std::uint64_t n);

/// SHA-256d of 0x18 "Bitcoin Signed Message:\n", CompactSize(length), message.
Bytes32 bitcoin_message_hash(ByteSpan message);

/// The SegWit version 0 address of a 20-byte key hash; fails with the Bech32
/// encoder's message for an invalid hrp.
oxa_core::Result<std::string, std::string> p2wpkh_address(std::string_view hrp,
                                                          const Bytes20& key_hash);

/// The key hash of a P2WPKH address. Errors: "expected a P2WPKH address
/// (bc1q...)" for text that does not begin with the hrp and "1", the SegWit
/// decoder's (checksum, ...), or "not a P2WPKH address (witness version V,
/// N-byte program)" for the other SegWit outputs.
oxa_core::Result<Bytes20, std::string> parse_p2wpkh_address(std::string_view hrp,
                                                            std::string_view address);

class BitcoinSigner final : public ChainSigner {
public:
    /// `hrp` is the Bech32 human-readable part of addresses ("bc" on mainnet).
    explicit BitcoinSigner(std::string hrp) : m_hrp(std::move(hrp)) {}

    const std::string& hrp() const noexcept { return m_hrp; }

    ChainType chain_type() const noexcept override { return ChainType::Bitcoin; }
    Curve curve() const noexcept override { return Curve::Secp256k1; }
    std::uint32_t coin_type() const noexcept override { return 0; }
    /// SegWit version 0 address of HASH160(compressed public key); a Bech32
    /// failure is AddressDerivation with the encoder's message.
    SignerResult<std::string> derive_address(ByteSpan private_key) const override;
    /// `data` is a 32-byte hash ("expected 32-byte hash, got N bytes" otherwise).
    SignerResult<SignOutput> sign(ByteSpan private_key, ByteSpan data) const override;
    /// Signs bitcoin_message_hash(message); r || s || recovery id, no header byte.
    SignerResult<SignOutput> sign_message(ByteSpan private_key, ByteSpan message) const override;
    /// Signs SHA-256d of the bytes, which are not parsed.
    SignerResult<SignOutput> sign_transaction(ByteSpan private_key, ByteSpan tx) const override;
    std::string default_derivation_path(std::uint32_t index) const override;

private:
    std::string m_hrp;
};

}  // namespace oxa_signer
