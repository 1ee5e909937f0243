// Chain parsing: an accepted text names one of the known chains by name (any
// case, "evm" for ethereum) or exact CAIP-2 id; a refusal quotes it unchanged.

#include <algorithm>
#include <string>

#include "fuzz_check.hpp"
#include "oxa_core/chain.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = oxa_fuzz::text_of(data, size);
    auto chain = oxa_core::parse_chain(text);
    if (!chain) {
        oxa_fuzz::check(chain.error().starts_with("unknown chain: '" + std::string(text) + "'. "),
                        "a refusal quotes the input");
        return 0;
    }
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    const oxa_core::Chain& found = chain.value();
    oxa_fuzz::check(lower == found.name || text == found.chain_id ||
                        (lower == "evm" && found.chain_id == "eip155:1"),
                    "an accepted text is the chain's name or id");
    return 0;
}
