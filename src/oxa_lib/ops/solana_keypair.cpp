#include "key_pair_wallet.hpp"
#include "oxa_lib/ops.hpp"
#include "oxa_lib/solana_keypair_file.hpp"

namespace oxa_lib {

LibResult<oxa_signer::SecretBytes> export_solana_keypair(std::string_view name_or_id,
                                                         OptText passphrase, OptIndex index,
                                                         const VaultPath& vault) {
    auto key = decrypt_signing_key(name_or_id, oxa_core::ChainType::Solana, passphrase.value_or(""),
                                   index, vault);
    if (!key) return Err{std::move(key).error()};
    return write_solana_keypair(key.value().bytes());
}

LibResult<WalletInfo> import_solana_keypair(std::string_view name, std::string_view keypair_json,
                                            OptText passphrase, const VaultPath& vault) {
    auto seed = read_solana_keypair(keypair_json);
    if (!seed) return Err{std::move(seed).error()};
    auto lock = lock_with_free_name(name, vault);
    if (!lock) return Err{std::move(lock).error()};
    const KeyPair keys =
        key_pair_of(std::move(seed).value(), oxa_signer::Curve::Ed25519, random_private_key());
    return store_key_pair_wallet(name, keys, passphrase.value_or(""), vault);
}

}  // namespace oxa_lib
