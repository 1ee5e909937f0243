// Witness stacks as BIP-322 signatures carry them: whatever decodes is the
// canonical encoding of what it decoded to.

#include <vector>

#include "fuzz_check.hpp"
#include "oxa_signer/standards/witness_stack.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const oxa_signer::ByteSpan bytes(data, size);
    auto stack = oxa_signer::decode_witness_stack(bytes);
    if (!stack) return 0;
    const auto encoded = oxa_signer::encode_witness_stack(stack.value());
    oxa_fuzz::check(encoded == std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                    "a decoded stack encodes back to the same bytes");
    return 0;
}
