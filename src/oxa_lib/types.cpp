#include "types.hpp"

namespace oxa_lib {

WalletInfo wallet_to_info(const oxa_core::EncryptedWallet& wallet) {
    WalletInfo info{wallet.id, wallet.name, {}, wallet.created_at};
    info.accounts.reserve(wallet.accounts.size());
    for (const auto& account : wallet.accounts) {
        info.accounts.push_back({account.chain_id, account.address, account.derivation_path});
    }
    return info;
}

WalletInfo wallet_to_info(oxa_core::EncryptedWallet&& wallet) {
    WalletInfo info{std::move(wallet.id), std::move(wallet.name), {}, std::move(wallet.created_at)};
    info.accounts.reserve(wallet.accounts.size());
    for (auto& account : wallet.accounts) {
        info.accounts.push_back({std::move(account.chain_id), std::move(account.address),
                                 std::move(account.derivation_path)});
    }
    return info;
}

}  // namespace oxa_lib
