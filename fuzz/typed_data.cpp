// The typed-data reader and encoder on any bytes: no crash, the same answer
// twice, a digest made of the two hashes it reports, and refusals of one line.

#include <algorithm>
#include <array>

#include "fuzz_check.hpp"
#include "oxa_signer/eip712/typed_data.hpp"
#include "oxa_signer/keccak.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = oxa_fuzz::text_of(data, size);
    const auto first = oxa_signer::eip712::hash_typed_data(text);
    const auto second = oxa_signer::eip712::hash_typed_data(text);
    oxa_fuzz::check(first.ok() == second.ok(), "a document is accepted or refused alike twice");
    if (!first) {
        const std::string& error = first.error();
        oxa_fuzz::check(error == second.error(), "a refusal says the same twice");
        oxa_fuzz::check(
            !error.empty() && std::find(error.begin(), error.end(), '\n') == error.end(),
            "a refusal is one line");
        return 0;
    }
    const auto& hashes = first.value();
    oxa_fuzz::check(hashes.digest == second.value().digest, "a document hashes alike twice");
    constexpr std::array<std::uint8_t, 2> PREFIX = {0x19, 0x01};
    oxa_signer::Keccak256 hasher;
    hasher.update(PREFIX);
    hasher.update(hashes.domain_separator);
    hasher.update(hashes.message_hash);
    oxa_fuzz::check(hasher.finish() == hashes.digest,
                    "the digest covers the domain separator and the message hash");
    return 0;
}
