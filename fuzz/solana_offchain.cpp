// Solana off-chain messages: a message is refused only when empty, too long or
// not UTF-8; an accepted one is the 20-byte header, in which the format
// follows its characters and length, then the message unchanged.

#include <algorithm>

#include "fuzz_check.hpp"
#include "oxa_core/utf8.hpp"
#include "oxa_signer/standards/solana_offchain.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const oxa_signer::ByteSpan message(data, size);
    auto serialized = oxa_signer::solana_offchain_message(message);
    const bool ascii = std::all_of(message.begin(), message.end(),
                                   [](std::uint8_t b) { return b >= 0x20 && b <= 0x7E; });
    const bool utf8 = !oxa_core::utf8_error(message);
    oxa_fuzz::check(
        serialized.ok() == (size > 0 && size <= oxa_signer::SOLANA_OFFCHAIN_MAX_BYTES && utf8),
        "refused exactly when empty, too long or not UTF-8");
    if (!serialized) return 0;
    const auto& bytes = serialized.value();
    oxa_fuzz::check(bytes.size() == oxa_signer::SOLANA_OFFCHAIN_HEADER_BYTES + size,
                    "header and message");
    oxa_fuzz::check(std::equal(message.begin(), message.end(),
                               bytes.begin() + oxa_signer::SOLANA_OFFCHAIN_HEADER_BYTES),
                    "the message follows unchanged");
    const int expected_format = size > oxa_signer::SOLANA_OFFCHAIN_LEDGER_MAX_BYTES ? 2
                                : ascii                                             ? 0
                                                                                    : 1;
    oxa_fuzz::check(bytes[17] == expected_format, "the format follows characters and length");
    oxa_fuzz::check((bytes[18] | bytes[19] << 8) == static_cast<int>(size), "the length, LE");
    return 0;
}
