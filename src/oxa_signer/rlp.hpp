#pragma once
// The part of RLP that turns an unsigned EIP-2718 typed transaction (type 0x01
// or 0x02) and a signature into the signed transaction. Fields are never
// decoded: the unsigned list's payload is carried over byte for byte.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "oxa_core/result.hpp"

namespace oxa_signer {

inline constexpr std::uint8_t RLP_STRING_OFFSET = 0x80;
inline constexpr std::uint8_t RLP_LIST_OFFSET = 0xC0;

/// The header of a payload of `length` bytes: offset + length for up to 55
/// bytes, else offset + 55 + n followed by the length in n big-endian bytes.
std::vector<std::uint8_t> encode_length(std::size_t length, std::uint8_t offset);

/// A byte string: a single byte below 0x80 stands for itself, anything else
/// (the empty string included) gets a header.
std::vector<std::uint8_t> encode_bytes(std::span<const std::uint8_t> bytes);

/// The type byte, then a list of the unsigned list's payload followed by v, r
/// and s as minimal big-endian integers (v = 0 as 0x80). Bytes after the
/// unsigned list are dropped. Errors, checked in this order: "empty
/// transaction", "unsupported transaction type (expected 0x01 or 0x02)",
/// "empty input", "truncated length", "truncated RLP payload".
oxa_core::Result<std::vector<std::uint8_t>, std::string> encode_signed_typed_tx(
    std::span<const std::uint8_t> tx, std::uint8_t v, std::span<const std::uint8_t, 32> r,
    std::span<const std::uint8_t, 32> s);

}  // namespace oxa_signer
