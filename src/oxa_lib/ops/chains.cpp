#include "oxa_core/chain.hpp"
#include "oxa_lib/ops.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_lib {

std::vector<ChainInfo> known_chains() {
    std::vector<ChainInfo> chains;
    chains.reserve(oxa_core::KNOWN_CHAINS.size());
    for (const oxa_core::Chain& chain : oxa_core::KNOWN_CHAINS) {
        chains.push_back({chain.name, chain.chain_id, oxa_core::chain_type_name(chain.chain_type),
                          chain.default_rpc});
    }
    return chains;
}

std::vector<FamilyInfo> families() {
    std::vector<FamilyInfo> out;
    out.reserve(oxa_core::FAMILIES.size());
    for (const oxa_core::Family& family : oxa_core::FAMILIES) {
        const oxa_core::Chain chain = oxa_core::default_chain_for_type(family.type);
        const auto signer = oxa_signer::signer_for_chain(family.type);
        out.push_back({family.name, chain.name, chain.chain_id,
                       oxa_signer::curve_name(signer->curve()),
                       signer->default_derivation_path(0)});
    }
    return out;
}

}  // namespace oxa_lib
