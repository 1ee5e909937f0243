#include "accounts.hpp"

#include "oxa_signer/hd.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_lib {

namespace {

oxa_core::WalletAccount make_account(oxa_core::ChainType family, std::string address,
                                     std::string derivation_path) {
    const oxa_core::Chain chain = oxa_core::default_chain_for_type(family);
    std::string account_id = std::string(chain.chain_id) + ":" + address;
    return {std::move(account_id), std::move(address), std::string(chain.chain_id),
            std::move(derivation_path)};
}

}  // namespace

LibResult<std::vector<oxa_core::WalletAccount>> derive_all_accounts(
    const oxa_signer::Mnemonic& mnemonic, std::uint32_t index) {
    // One PBKDF2 for all six families: the seed depends on the phrase alone.
    const oxa_signer::SecretBytes seed = mnemonic.to_seed("");
    std::vector<oxa_core::WalletAccount> accounts;
    accounts.reserve(oxa_core::ACCOUNT_ORDER.size());
    for (oxa_core::ChainType family : oxa_core::ACCOUNT_ORDER) {
        const auto signer = oxa_signer::signer_for_chain(family);
        std::string path = signer->default_derivation_path(index);
        auto key = oxa_signer::HdDeriver::derive(seed.bytes(), path, signer->curve());
        if (!key) return Err{OxaLibError(key.error())};
        auto address = signer->derive_address(key.value().bytes());
        if (!address) return Err{OxaLibError(address.error())};
        accounts.push_back(make_account(family, std::move(address).value(), std::move(path)));
    }
    return accounts;
}

LibResult<std::vector<oxa_core::WalletAccount>> accounts_from_key_pair(const KeyPair& keys) {
    std::vector<oxa_core::WalletAccount> accounts;
    accounts.reserve(oxa_core::ACCOUNT_ORDER.size());
    for (oxa_core::ChainType family : oxa_core::ACCOUNT_ORDER) {
        const auto signer = oxa_signer::signer_for_chain(family);
        const oxa_signer::SecretBytes& key =
            signer->curve() == oxa_signer::Curve::Ed25519 ? keys.ed25519 : keys.secp256k1;
        auto address = signer->derive_address(key.bytes());
        if (!address) return Err{OxaLibError(address.error())};
        accounts.push_back(make_account(family, std::move(address).value(), ""));
    }
    return accounts;
}

}  // namespace oxa_lib
