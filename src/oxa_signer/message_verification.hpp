#pragma once
// Checking message signatures: the inverse of each family's sign_message.

#include <string>
#include <string_view>

#include "oxa_core/result.hpp"
#include "traits.hpp"

namespace oxa_signer {

/// A check's answer, or what is malformed: "invalid signature: ...",
/// "invalid address: ..." or, for recovery, why the family cannot recover.
template <class T>
using CheckResult = oxa_core::Result<T, std::string>;

/// Whether `signature` is what the family's sign_message gives for `message`
/// under the key behind `address`. A well-formed signature that does not
/// match is false; malformed input is an error.
/// Signatures are hex, either letter case, with or without "0x":
/// - secp256k1 families: 65 bytes r || s || recovery id (0 to 3; EVM and Tron
///   also take it plus 27). A high s is taken like its low twin: both recover
///   the same key, as Ethereum's ecrecover and Bitcoin's message check do.
/// - Ed25519 families: the 64-byte signature.
/// Addresses are in the family's own notation (EVM: a mixed-case address must
/// carry its EIP-55 checksum; Bitcoin: P2WPKH); TON takes the account's
/// public key as 64 hex digits instead.
CheckResult<bool> verify_message_signature(ChainType family, ByteSpan message,
                                           std::string_view signature, std::string_view address);

/// The address of the key that made a secp256k1 family's message signature
/// (same forms as above). The Ed25519 families refuse: their signatures do
/// not reveal the key.
CheckResult<std::string> recover_message_signer(ChainType family, ByteSpan message,
                                                std::string_view signature);

}  // namespace oxa_signer
