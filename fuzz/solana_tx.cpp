// The Solana transaction layout: the signable message is a non-empty suffix
// of the input, and the encoder changes nothing but the first signature slot.

#include <algorithm>
#include <vector>

#include "fuzz_check.hpp"
#include "oxa_signer/chains/solana.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const oxa_signer::ByteSpan tx(data, size);
    const oxa_signer::SolanaSigner signer;
    auto message = signer.extract_signable_bytes(tx);
    if (message) {
        const oxa_signer::ByteSpan part = message.value();
        oxa_fuzz::check(!part.empty() && part.data() >= tx.data() &&
                            part.data() + part.size() == tx.data() + tx.size(),
                        "the message is a non-empty suffix of the transaction");
        oxa_fuzz::check(static_cast<std::size_t>(part.data() - tx.data()) == 1 + 64u * tx[0],
                        "the message starts after the declared slots");
    }

    oxa_signer::SignOutput output{std::vector<std::uint8_t>(64), std::nullopt};
    for (std::size_t i = 0; i < 64; ++i) output.signature[i] = static_cast<std::uint8_t>(0xC0 + i);
    auto signed_tx = signer.encode_signed_transaction(tx, output);
    if (signed_tx) {
        const std::vector<std::uint8_t>& out = signed_tx.value();
        oxa_fuzz::check(out.size() == size && size >= 65, "the encoded transaction keeps its size");
        oxa_fuzz::check(std::equal(out.begin() + 1, out.begin() + 65, output.signature.begin()),
                        "the signature fills the first slot");
        oxa_fuzz::check(out[0] == tx[0] && std::equal(out.begin() + 65, out.end(), tx.begin() + 65),
                        "nothing else changes");
    }
    output.signature.resize(size % 64);
    oxa_fuzz::check(!signer.encode_signed_transaction(tx, output),
                    "a signature of another size is refused");
    return 0;
}
