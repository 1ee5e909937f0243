// Bech32 and SegWit addresses: whatever decodes encodes back to the same
// text in lowercase.

#include <algorithm>
#include <string>

#include "fuzz_check.hpp"
#include "oxa_signer/encoding/bech32.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = oxa_fuzz::text_of(data, size);
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    auto decoded = oxa_signer::bech32_decode(text);
    if (decoded) {
        const oxa_signer::Bech32Decoded& parts = decoded.value();
        auto encoded = oxa_signer::bech32_encode(parts.hrp, parts.data5, parts.variant);
        oxa_fuzz::check(encoded && encoded.value() == lower, "a decoded text encodes back");
    }
    auto program = oxa_signer::segwit_address_decode("bc", text);
    if (program) {
        auto address = oxa_signer::segwit_address_encode("bc", program.value().witness_version,
                                                         program.value().program);
        oxa_fuzz::check(address && address.value() == lower, "a decoded address encodes back");
    }
    return 0;
}
