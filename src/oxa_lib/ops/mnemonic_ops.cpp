#include "oxa_lib/ops.hpp"

#include "oxa_core/utf8.hpp"
#include "oxa_signer/mnemonic.hpp"

namespace oxa_lib {

LibResult<oxa_signer::SecretBytes> generate_mnemonic(std::uint32_t words) {
    if (words != 12 && words != 24) {
        return Err{OxaLibError::invalid_input("words must be 12 or 24")};
    }
    auto mnemonic = oxa_signer::Mnemonic::generate(words == 12 ? oxa_signer::WordCount::Twelve
                                                               : oxa_signer::WordCount::TwentyFour);
    if (!mnemonic) return Err{OxaLibError(mnemonic.error())};
    oxa_signer::SecretBytes phrase = mnemonic.value().phrase();
    if (auto invalid = oxa_core::utf8_error(phrase.bytes())) {
        return Err{OxaLibError::invalid_input("invalid UTF-8 in mnemonic: " + *invalid)};
    }
    return phrase;
}

}  // namespace oxa_lib
