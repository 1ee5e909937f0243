#pragma once
// Bitcoin's consensus encoding of a witness stack: a CompactSize count, then
// each item as a CompactSize length and its bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "oxa_core/result.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_signer {

using WitnessStack = std::vector<std::vector<std::uint8_t>>;

std::vector<std::uint8_t> encode_witness_stack(const WitnessStack& stack);

/// The inverse of encode_witness_stack over the whole input. Errors:
/// "truncated", "non-canonical CompactSize" (a number written longer than it
/// needs, which Bitcoin refuses), "N bytes after the last item".
oxa_core::Result<WitnessStack, std::string> decode_witness_stack(ByteSpan bytes);

}  // namespace oxa_signer
