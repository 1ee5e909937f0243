#include "oxa_lib/ops.hpp"

#include "oxa_core/utf8.hpp"
#include "seal.hpp"

namespace oxa_lib {

LibResult<std::vector<WalletInfo>> list_wallets(const VaultPath& vault) {
    return list_wallet_infos(vault);
}

LibResult<WalletInfo> get_wallet(std::string_view name_or_id, const VaultPath& vault) {
    auto found = load_wallet_by_name_or_id(name_or_id, vault);
    if (!found) return Err{std::move(found).error()};
    return wallet_to_info(std::move(found.value().wallet));
}

LibStatus delete_wallet(std::string_view name_or_id, const VaultPath& vault) {
    auto lock = VaultWriteLock::acquire(vault);
    if (!lock) return Err{std::move(lock).error()};
    auto found = load_wallet_by_name_or_id(name_or_id, vault);
    if (!found) return Err{std::move(found).error()};
    return delete_wallet_file(found.value(), vault);
}

LibStatus rename_wallet(std::string_view name_or_id, std::string_view new_name,
                        const VaultPath& vault) {
    auto lock = VaultWriteLock::acquire(vault);
    if (!lock) return Err{std::move(lock).error()};
    // One pass over the vault serves both the lookup and the name check.
    auto found = load_wallet_checking_name(name_or_id, new_name, vault);
    if (!found) return Err{std::move(found).error()};
    StoredWallet& stored = found.value().found;
    if (stored.wallet.name == new_name) return oxa_core::OK;
    if (found.value().name_taken) {
        return Err{OxaLibError::wallet_name_exists(std::string(new_name))};
    }
    stored.wallet.name = std::string(new_name);
    return replace_stored_wallet(stored, vault);
}

LibResult<oxa_signer::SecretBytes> export_wallet(std::string_view name_or_id, OptText passphrase,
                                                 const VaultPath& vault) {
    auto found = load_wallet_by_name_or_id(name_or_id, vault);
    if (!found) return Err{std::move(found).error()};
    const oxa_core::EncryptedWallet& wallet = found.value().wallet;
    auto secret = unseal(wallet, passphrase.value_or(""));
    if (!secret) return Err{std::move(secret).error()};
    if (oxa_core::utf8_error(secret.value().bytes())) {
        return Err{OxaLibError::invalid_input(wallet.key_type == oxa_core::KeyType::Mnemonic
                                                  ? "wallet contains invalid UTF-8 mnemonic"
                                                  : "wallet contains invalid key data")};
    }
    return std::move(secret).value();
}

}  // namespace oxa_lib
