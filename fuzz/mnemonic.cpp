// The mnemonic parser: an accepted phrase renders back byte for byte.

#include "oxa_signer/mnemonic.hpp"
#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = oxa_fuzz::text_of(data, size);
    auto mnemonic = oxa_signer::Mnemonic::from_phrase(text);
    if (!mnemonic) {
        oxa_fuzz::check(mnemonic.error().kind == oxa_signer::MnemonicError::Kind::InvalidPhrase,
                        "a refused phrase is an invalid phrase");
        return 0;
    }
    const oxa_signer::SecretBytes phrase = mnemonic.value().phrase();
    oxa_fuzz::check(phrase.text() == text, "an accepted phrase renders back unchanged");
    const std::size_t words = mnemonic.value().word_count();
    oxa_fuzz::check(words >= 12 && words <= 24 && words % 3 == 0, "12 to 24 words, by threes");
    return 0;
}
