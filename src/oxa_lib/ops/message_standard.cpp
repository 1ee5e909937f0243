#include "oxa_lib/ops.hpp"

#include "message_input.hpp"
#include "oxa_signer/standards/message_standard.hpp"

namespace oxa_lib {

namespace {

/// Everything about the input that needs no key: chain, standard, encoding,
/// the standard's rules.
LibResult<oxa_signer::StandardMessage> prepare(oxa_core::ChainType family, std::string_view message,
                                               std::string_view standard, OptText encoding) {
    auto known = invalid_input_on_error(oxa_signer::message_standard_for(standard, family));
    if (!known) return Err{std::move(known).error()};
    auto bytes = decode_message(message, encoding);
    if (!bytes) return Err{std::move(bytes).error()};
    return invalid_input_on_error(
        oxa_signer::StandardMessage::prepare(known.value(), bytes.value()));
}

}  // namespace

LibResult<SignResult> sign_message_standard(std::string_view wallet, std::string_view chain,
                                            std::string_view message, std::string_view standard,
                                            OptText passphrase, OptIndex index, OptText encoding,
                                            const VaultPath& vault) {
    auto parsed = parse_chain_argument(chain);
    if (!parsed) return Err{std::move(parsed).error()};
    const oxa_core::ChainType family = parsed.value().chain_type;
    auto prepared = prepare(family, message, standard, encoding);
    if (!prepared) return Err{std::move(prepared).error()};
    auto key = decrypt_signing_key(wallet, family, passphrase.value_or(""), index, vault);
    if (!key) return Err{std::move(key).error()};
    auto signature = prepared.value().sign(key.value().bytes());
    if (!signature) return Err{OxaLibError(signature.error())};
    return SignResult{std::move(signature).value(), std::nullopt};
}

LibResult<bool> verify_message_standard(std::string_view chain, std::string_view message,
                                        std::string_view signature, std::string_view address,
                                        std::string_view standard, OptText encoding) {
    auto parsed = parse_chain_argument(chain);
    if (!parsed) return Err{std::move(parsed).error()};
    auto prepared = prepare(parsed.value().chain_type, message, standard, encoding);
    if (!prepared) return Err{std::move(prepared).error()};
    return invalid_input_on_error(prepared.value().verify(signature, address));
}

}  // namespace oxa_lib
