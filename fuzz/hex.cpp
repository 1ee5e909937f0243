// The hex decoder: both forms agree, a decoded text encodes back to its own
// digits in lowercase, and a failure leaves the output all zeros.

#include <algorithm>
#include <vector>

#include "fuzz_check.hpp"
#include "oxa_core/utf8.hpp"
#include "oxa_signer/encoding/hex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = oxa_fuzz::text_of(data, size);
    auto decoded = oxa_signer::hex_decode(text);
    std::vector<std::uint8_t> out(size / 2, 0xA5);
    auto into = oxa_signer::hex_decode_into(text, out);
    oxa_fuzz::check(decoded.ok() == into.ok(), "both decoders agree on success");
    if (!decoded) {
        oxa_fuzz::check(decoded.error() == into.error(), "both decoders give the same error");
        oxa_fuzz::check(!oxa_core::utf8_error(decoded.error()), "the error text is UTF-8");
        oxa_fuzz::check(size % 2 != 0 || std::all_of(out.begin(), out.end(),
                                                     [](std::uint8_t b) { return b == 0; }),
                        "a failed decode leaves the output zeroed");
        return 0;
    }
    oxa_fuzz::check(decoded.value() == out, "both decoders give the same bytes");
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c + 32) : c; });
    oxa_fuzz::check(oxa_signer::hex_encode(decoded.value()) == lower,
                    "decoded bytes encode back to the same digits");
    return 0;
}
