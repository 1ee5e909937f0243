#pragma once
// The chain signer interface and its registry.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hd.hpp"
#include "oxa_core/chain.hpp"
#include "oxa_core/result.hpp"

namespace oxa_signer {

using oxa_core::ChainType;
using ByteSpan = std::span<const std::uint8_t>;

struct SignerError {
    enum class Kind {
        InvalidPrivateKey,
        InvalidMessage,
        SigningFailed,
        AddressDerivation,
        InvalidTransaction
    };
    Kind kind;
    std::string text;

    /// "invalid private key: ", "invalid message: ", "signing failed: ",
    /// "address derivation failed: " or "invalid transaction: " + text.
    std::string display() const;
};

/// A signature: 65 bytes r || s || v with a recovery id (secp256k1), or 64
/// bytes with none (Ed25519).
struct SignOutput {
    std::vector<std::uint8_t> signature;
    std::optional<std::uint8_t> recovery_id;
};

template <class T>
using SignerResult = oxa_core::Result<T, SignerError>;

/// One chain family's keys, addresses and signatures. Stateless apart from a
/// fixed configuration; private keys arrive as arguments and are never kept.
class ChainSigner {
public:
    virtual ~ChainSigner() = default;

    virtual ChainType chain_type() const noexcept = 0;
    virtual Curve curve() const noexcept = 0;
    virtual std::uint32_t coin_type() const noexcept = 0;
    virtual SignerResult<std::string> derive_address(ByteSpan private_key) const = 0;
    /// Signs a 32-byte hash (secp256k1 signers) or the raw bytes (Ed25519).
    virtual SignerResult<SignOutput> sign(ByteSpan private_key, ByteSpan data) const = 0;
    virtual SignerResult<SignOutput> sign_message(ByteSpan private_key, ByteSpan message) const = 0;
    virtual SignerResult<SignOutput> sign_transaction(ByteSpan private_key, ByteSpan tx) const = 0;
    /// The part of a serialized transaction that is signed, borrowed from
    /// `tx`. Default: all of it.
    virtual SignerResult<ByteSpan> extract_signable_bytes(ByteSpan tx) const;
    /// The transaction with the signature put in. Default: refused for the
    /// family ("encode_signed_transaction not implemented for <family>").
    virtual SignerResult<std::vector<std::uint8_t>> encode_signed_transaction(
        ByteSpan tx, const SignOutput& output) const;
    virtual std::string default_derivation_path(std::uint32_t index) const = 0;
};

/// A fresh signer for the family; never fails.
std::unique_ptr<ChainSigner> signer_for_chain(ChainType type);

}  // namespace oxa_signer
