// Base58: a decoded text encodes back to itself.

#include "oxa_signer/encoding/base58.hpp"
#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = oxa_fuzz::text_of(data, size);
    auto decoded = oxa_signer::base58_decode(text);
    if (!decoded) return 0;
    oxa_fuzz::check(oxa_signer::base58_encode(*decoded) == text,
                    "decoded bytes encode back to the same text");
    return 0;
}
