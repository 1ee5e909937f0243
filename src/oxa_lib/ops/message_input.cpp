#include "message_input.hpp"

#include <string>

#include "oxa_signer/encoding/hex.hpp"

namespace oxa_lib {

LibResult<oxa_core::Chain> parse_chain_argument(std::string_view chain) {
    auto parsed = oxa_core::parse_chain(chain);
    if (!parsed) return Err{OxaLibError::invalid_input(parsed.error())};
    return parsed.value();
}

LibResult<std::vector<std::uint8_t>> decode_message(std::string_view message, OptText encoding) {
    const std::string_view name = encoding.value_or("utf8");
    if (name == "utf8") return std::vector<std::uint8_t>(message.begin(), message.end());
    if (name == "hex") {
        // No "0x" removal here: a prefixed message fails as an invalid character.
        auto bytes = oxa_signer::hex_decode(message);
        if (!bytes) return Err{OxaLibError::invalid_input("invalid hex message: " + bytes.error())};
        return std::move(bytes).value();
    }
    return Err{OxaLibError::invalid_input("unsupported encoding: " + std::string(name) +
                                          " (use 'utf8' or 'hex')")};
}

}  // namespace oxa_lib
