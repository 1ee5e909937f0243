#include "oxa_lib/ops.hpp"

#include "message_input.hpp"
#include "oxa_signer/message_verification.hpp"

namespace oxa_lib {

LibResult<bool> verify_message(std::string_view chain, std::string_view message,
                               std::string_view signature, std::string_view address,
                               OptText encoding) {
    auto parsed = parse_chain_argument(chain);
    if (!parsed) return Err{std::move(parsed).error()};
    auto bytes = decode_message(message, encoding);
    if (!bytes) return Err{std::move(bytes).error()};
    return invalid_input_on_error(oxa_signer::verify_message_signature(
        parsed.value().chain_type, bytes.value(), signature, address));
}

LibResult<std::string> recover_address(std::string_view chain, std::string_view message,
                                       std::string_view signature, OptText encoding) {
    auto parsed = parse_chain_argument(chain);
    if (!parsed) return Err{std::move(parsed).error()};
    auto bytes = decode_message(message, encoding);
    if (!bytes) return Err{std::move(bytes).error()};
    return invalid_input_on_error(
        oxa_signer::recover_message_signer(parsed.value().chain_type, bytes.value(), signature));
}

}  // namespace oxa_lib
