#pragma once
// EVM chains: EIP-55 addresses, EIP-191 personal messages, typed transactions.

#include <string>
#include <string_view>

#include "oxa_core/result.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/secp256k1_signing.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_signer {

/// The 20-byte account of a public key: the last 20 bytes of Keccak-256 over
/// x || y (the point without its 0x04 byte). Tron accounts are the same.
Bytes20 keccak_account_hash(const UncompressedPublicKey& public_key);

/// EIP-55 letter case for 40 lowercase hex digits: a letter is uppercased when
/// the matching hex digit of Keccak-256(text) is 8 or more.
std::string eip55_checksum(std::string_view lower_hex40);

/// Keccak-256 of 0x19, `prefix_text`, the message length in decimal, then the
/// message: the signed-message hash of EIP-191 and of Tron.
Bytes32 keccak_prefixed_message_hash(std::string_view prefix_text, ByteSpan message);

/// The EIP-191 personal-message hash ("Ethereum Signed Message:\n").
Bytes32 evm_message_hash(ByteSpan message);

/// "0x" followed by the account in EIP-55 letter case.
std::string evm_address(const Bytes20& account);

/// The account of "0x" and 40 hex digits: all lowercase, all uppercase, or
/// mixed in exactly the EIP-55 case. Errors: "expected 0x and 40 hex digits",
/// "EIP-55 checksum mismatch" (a mistyped letter changes the checksum).
oxa_core::Result<Bytes20, std::string> parse_evm_address(std::string_view address);

/// Signs a digest of the 0x19-prefixed kinds (personal messages, typed data):
/// r || s || v with v = 27 + recovery id, and that v in `recovery_id`.
SignerResult<SignOutput> sign_prefixed_digest(ByteSpan private_key, const Bytes32& digest);

/// Keys, addresses ("0x" + EIP-55 hex) and signatures of every EVM chain.
class EvmSigner final : public ChainSigner {
public:
    ChainType chain_type() const noexcept override { return ChainType::Evm; }
    Curve curve() const noexcept override { return Curve::Secp256k1; }
    std::uint32_t coin_type() const noexcept override { return 60; }
    SignerResult<std::string> derive_address(ByteSpan private_key) const override;
    /// `data` is a 32-byte hash ("expected 32-byte prehash, got N bytes"
    /// otherwise); v is the recovery id 0 or 1.
    SignerResult<SignOutput> sign(ByteSpan private_key, ByteSpan data) const override;
    /// EIP-191 personal message; v (and recovery_id) is 27 or 28.
    SignerResult<SignOutput> sign_message(ByteSpan private_key, ByteSpan message) const override;
    /// Keccak-256 of the bytes as given (type byte + unsigned RLP list), v = y-parity.
    SignerResult<SignOutput> sign_transaction(ByteSpan private_key, ByteSpan tx) const override;
    /// The typed transaction with y-parity, r and s appended to its list.
    SignerResult<std::vector<std::uint8_t>> encode_signed_transaction(
        ByteSpan tx, const SignOutput& output) const override;
    std::string default_derivation_path(std::uint32_t index) const override;
};

}  // namespace oxa_signer
