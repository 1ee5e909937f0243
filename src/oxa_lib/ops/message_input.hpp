#pragma once
// The checks every message operation makes on its input before anything
// else: the chain, and the message's bytes under its encoding name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "oxa_core/chain.hpp"
#include "oxa_lib/error.hpp"
#include "oxa_lib/ops.hpp"

namespace oxa_lib {

/// A chain name or CAIP-2 id; InvalidInput with the parser's text.
LibResult<oxa_core::Chain> parse_chain_argument(std::string_view chain);

/// "utf8" (absent too): the text's bytes; "hex": decoded, no "0x" removed.
/// InvalidInput: "invalid hex message: ...", "unsupported encoding: ...".
LibResult<std::vector<std::uint8_t>> decode_message(std::string_view message, OptText encoding);

/// A lower layer's result whose error is a text, that text as InvalidInput.
template <class T>
LibResult<T> invalid_input_on_error(oxa_core::Result<T, std::string> result) {
    if (!result) return Err{OxaLibError::invalid_input(std::move(result).error())};
    return std::move(result).value();
}

}  // namespace oxa_lib
