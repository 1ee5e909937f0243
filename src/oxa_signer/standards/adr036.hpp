#pragma once
// Cosmos ADR-036 arbitrary data, as browser wallets sign it for sign-in: an
// amino sign document with one sign/MsgSignData message, an empty chain id,
// account number and sequence 0, no fee and no memo.

#include <string>
#include <string_view>

#include "oxa_signer/message_verification.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_signer {

/// The sign document's canonical bytes for `signer` (a Bech32 address) and the
/// data: JSON with sorted keys, no spaces, the data in Base64.
std::string adr036_sign_bytes(std::string_view signer, ByteSpan data);

/// Base64 of r || s (64 bytes, low s, RFC 6979) over SHA-256 of the sign
/// document whose signer is the key's Cosmos Hub address.
SignerResult<std::string> adr036_sign(ByteSpan private_key, ByteSpan data);

/// Whether `signature` (Base64 of r || s) signs the data's document for the
/// Cosmos Hub `address`. A high s is false, as the Cosmos SDK refuses it; text
/// that is not Base64 of 64 bytes, or an address that does not parse, is an
/// error.
CheckResult<bool> adr036_verify(ByteSpan data, std::string_view signature,
                                std::string_view address);

}  // namespace oxa_signer
