// The signature and address readers of the message standards: the first byte
// picks the standard, the rest is "signature\naddress". A refusal is an error
// whose text is UTF-8; a BIP-322 witness that decodes is its own canonical
// Base64.

#include "fuzz_check.hpp"
#include "oxa_core/utf8.hpp"
#include "oxa_signer/encoding/base64.hpp"
#include "oxa_signer/standards/bip322.hpp"
#include "oxa_signer/standards/message_standard.hpp"

namespace {

constexpr oxa_signer::MessageStandard STANDARDS[] = {
    oxa_signer::MessageStandard::Bip322Simple,
    oxa_signer::MessageStandard::Adr036,
    oxa_signer::MessageStandard::SolanaOffchain,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto standard = STANDARDS[data[0] % 3];
    const auto [signature, address] = oxa_fuzz::split_line(oxa_fuzz::text_of(data + 1, size - 1));
    const auto prepared =
        oxa_signer::StandardMessage::prepare(standard, oxa_fuzz::bytes_of("fuzz"));
    oxa_fuzz::check(prepared.ok(), "a short ASCII message suits every standard");

    auto valid = prepared.value().verify(signature, address);
    if (!valid) oxa_fuzz::check(!oxa_core::utf8_error(valid.error()), "the error text is UTF-8");

    auto witness = oxa_signer::bip322_simple_witness(signature);
    if (witness) {
        const std::string_view body =
            signature.starts_with("smp") ? signature.substr(3) : signature;
        oxa_fuzz::check(
            oxa_signer::base64_encode(oxa_signer::encode_witness_stack(witness.value())) == body,
            "a decoded simple signature is its own canonical encoding");
    }
    return 0;
}
