// The signature and address readers of message verification, for every
// family: the first byte picks the family, the rest is "signature\naddress".
// A refusal is an error whose text is UTF-8; recovery agrees with checking.

#include "fuzz_check.hpp"
#include "oxa_core/chain.hpp"
#include "oxa_core/utf8.hpp"
#include "oxa_signer/message_verification.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto family = oxa_core::ALL_CHAIN_TYPES[data[0] % oxa_core::ALL_CHAIN_TYPES.size()];
    const auto [signature, address] = oxa_fuzz::split_line(oxa_fuzz::text_of(data + 1, size - 1));
    const auto message_bytes = oxa_fuzz::bytes_of("fuzz");

    auto valid = oxa_signer::verify_message_signature(family, message_bytes, signature, address);
    if (!valid) oxa_fuzz::check(!oxa_core::utf8_error(valid.error()), "the error text is UTF-8");
    auto signer = oxa_signer::recover_message_signer(family, message_bytes, signature);
    if (!signer) {
        oxa_fuzz::check(!oxa_core::utf8_error(signer.error()), "the error text is UTF-8");
        return 0;
    }
    auto own =
        oxa_signer::verify_message_signature(family, message_bytes, signature, signer.value());
    oxa_fuzz::check(own.ok() && own.value(), "a signature verifies for the address it recovers");
    return 0;
}
