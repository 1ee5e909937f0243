#pragma once
// EIP-712 integers as 32-byte words, read exactly from their text whatever
// their width.

#include <cstdint>
#include <string_view>

#include "oxa_core/result.hpp"
#include "oxa_signer/hashes.hpp"

namespace oxa_signer::eip712 {

enum class IntegerError { NotAnInteger, OutOfRange };

/// The word of an integer of type uint<bits> or int<bits> (bits 8 to 256):
/// big-endian, negative values in two's complement. `text` is decimal digits
/// after an optional "-", or "0x" and hex digits of either case, which are
/// never negative. NotAnInteger for any other text, OutOfRange for a value
/// the type cannot hold.
oxa_core::Result<Bytes32, IntegerError> integer_word(std::string_view text, unsigned bits,
                                                     bool is_signed);

}  // namespace oxa_signer::eip712
