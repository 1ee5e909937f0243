#include "oxa_lib/ops.hpp"

#include "oxa_core/chain.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/mnemonic.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_lib {

LibResult<std::string> derive_address(std::string_view phrase, std::string_view chain_text,
                                      OptIndex index) {
    // The chain is checked first: a bad chain and a bad phrase report the chain.
    auto chain = oxa_core::parse_chain(chain_text);
    if (!chain) return Err{OxaLibError::invalid_input(chain.error())};
    auto mnemonic = oxa_signer::Mnemonic::from_phrase(phrase);
    if (!mnemonic) return Err{OxaLibError(mnemonic.error())};
    const auto signer = oxa_signer::signer_for_chain(chain.value().chain_type);
    const std::string path = signer->default_derivation_path(index.value_or(0));
    auto key =
        oxa_signer::HdDeriver::derive_from_mnemonic(mnemonic.value(), "", path, signer->curve());
    if (!key) return Err{OxaLibError(key.error())};
    auto address = signer->derive_address(key.value().bytes());
    if (!address) return Err{OxaLibError(address.error())};
    return std::move(address).value();
}

}  // namespace oxa_lib
