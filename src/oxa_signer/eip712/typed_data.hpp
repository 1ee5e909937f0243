#pragma once
// EIP-712 typed data as eth_signTypedData_v4 takes it: one JSON object with
// "types", "primaryType", "domain" and "message" (other members are passed
// over), and its digest keccak256(0x19 0x01 || domainSeparator ||
// hashStruct(message)).

#include <cstddef>
#include <string>
#include <string_view>

#include "oxa_core/result.hpp"
#include "oxa_signer/hashes.hpp"

namespace oxa_signer::eip712 {

/// More than any signing request needs; bounds the work of a hostile one.
inline constexpr std::size_t MAX_TYPED_DATA_BYTES = std::size_t{1} << 20;

struct TypedDataHashes {
    Bytes32 domain_separator;
    Bytes32 message_hash;
    Bytes32 digest;
};

/// Reads and hashes a document. The domain's type is EIP712Domain as
/// declared, which must be some of name (string), version (string), chainId
/// (uint256), verifyingContract (address) and salt (bytes32) in that order,
/// or when it is not declared, those of them the domain gives; the domain
/// gives exactly its type's fields. The primary type is a declared struct
/// other than EIP712Domain. The error is a text for users: what the document
/// breaks, with its place where the reader knows it.
oxa_core::Result<TypedDataHashes, std::string> hash_typed_data(std::string_view text);

}  // namespace oxa_signer::eip712
