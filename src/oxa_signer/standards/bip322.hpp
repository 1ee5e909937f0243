#pragma once
// BIP-322 "simple" signed messages for a P2WPKH address: the key signs input
// 0 of a virtual transaction that spends an output committing to the message,
// and the signature is that input's witness.

#include <string>
#include <string_view>

#include "oxa_signer/hashes.hpp"
#include "oxa_signer/message_verification.hpp"
#include "oxa_signer/traits.hpp"
#include "witness_stack.hpp"

namespace oxa_signer {

/// SHA-256 tagged "BIP0322-signed-message" (as BIP-340 tags) of the raw message.
Bytes32 bip322_message_hash(ByteSpan message);

/// The id, in internal byte order, of the virtual to_spend transaction: its
/// input pushes the message hash, its output pays the key hash's P2WPKH script.
Bytes32 bip322_to_spend_txid(const Bytes32& message_hash, const Bytes20& key_hash);

/// The BIP-143 hash that the only input of the virtual to_sign transaction
/// signs (amount 0, SIGHASH_ALL).
Bytes32 bip322_sighash(const Bytes32& message_hash, const Bytes20& key_hash);

/// The simple signature of the key's P2WPKH address: Base64, without the
/// "smp" prefix, of the witness [DER signature || SIGHASH_ALL, compressed
/// public key]; the nonce is RFC 6979's, so signing is deterministic.
SignerResult<std::string> bip322_sign_simple(ByteSpan private_key, const Bytes32& message_hash);

/// The witness a simple signature carries: Base64, bare or behind "smp".
/// Errors ("invalid signature: ..."): a "ful" or "pof" prefix (those forms
/// are not supported), text that is not Base64, bytes that are no witness.
CheckResult<WitnessStack> bip322_simple_witness(std::string_view signature);

/// Whether a simple signature satisfies the P2WPKH `address` for the message,
/// under the BIP's rules: exactly a signature and a compressed key whose hash
/// is the address's, SIGHASH_ALL, strict DER, low s. A witness that breaks
/// them is false; undecodable text or an address that is not P2WPKH is an
/// error.
CheckResult<bool> bip322_verify_simple(const Bytes32& message_hash, std::string_view signature,
                                       std::string_view address);

}  // namespace oxa_signer
