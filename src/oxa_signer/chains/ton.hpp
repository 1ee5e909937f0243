#pragma once
// TON: the address of a standard v5r1 wallet contract holding the Ed25519 key,
// and plain Ed25519 signatures.

#include <array>
#include <string>
#include <string_view>

#include "oxa_core/result.hpp"
#include "oxa_signer/ed25519_signing.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_signer {

inline constexpr std::size_t TON_DATA_CELL_BYTES = 43;
inline constexpr std::size_t TON_STATE_INIT_CELL_BYTES = 71;
inline constexpr std::uint32_t TON_WALLET_ID = 0x7FFFFF11;  // v5r1 default on mainnet

/// The initial data cell of a v5r1 wallet, in the standard cell representation:
/// descriptors 0x00 0x51, then 322 bits (signatures allowed = 1, seqno 0,
/// wallet id, public key, no extensions) and the completion tag.
std::array<std::uint8_t, TON_DATA_CELL_BYTES> ton_data_cell(const Ed25519PublicKey& public_key);

/// The state-init cell: descriptors 0x02 0x01, the bits "code and data
/// present" (0x34 with its tag), the depths of code (6) and data (0), then the
/// code cell hash and `data_cell_hash`.
std::array<std::uint8_t, TON_STATE_INIT_CELL_BYTES> ton_state_init_cell(
    const Bytes32& data_cell_hash);

/// The user-friendly, non-bounceable mainnet address on workchain 0: URL-safe
/// unpadded Base64 of 0x51, 0x00, SHA-256(state init) and its CRC-16/XMODEM;
/// 48 characters beginning with "UQ".
std::string ton_wallet_address(const Ed25519PublicKey& public_key);

/// The account's public key as 64 hex digits: a TON address is a hash of the
/// wallet contract and cannot check a signature, so this stands in for it.
/// Error: "expected the account's Ed25519 public key as 64 hex digits (a TON
/// address cannot check a signature)".
oxa_core::Result<Ed25519PublicKey, std::string> parse_ton_public_key(std::string_view text);

class TonSigner final : public ChainSigner {
public:
    ChainType chain_type() const noexcept override { return ChainType::Ton; }
    Curve curve() const noexcept override { return Curve::Ed25519; }
    std::uint32_t coin_type() const noexcept override { return 607; }
    SignerResult<std::string> derive_address(ByteSpan private_key) const override;
    /// Ed25519 over the unchanged bytes; the message and transaction forms are the same.
    SignerResult<SignOutput> sign(ByteSpan private_key, ByteSpan data) const override;
    SignerResult<SignOutput> sign_message(ByteSpan private_key, ByteSpan message) const override;
    SignerResult<SignOutput> sign_transaction(ByteSpan private_key, ByteSpan tx) const override;
    std::string default_derivation_path(std::uint32_t index) const override;
};

}  // namespace oxa_signer
