#pragma once
// A private-key wallet from raw keys: the one road that
// import_wallet_private_key, import_keystore and import_solana_keypair take,
// so a key makes the same wallet whichever way it comes in.

#include <string_view>

#include "oxa_lib/error.hpp"
#include "oxa_lib/types.hpp"
#include "oxa_lib/vault.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/zeroizing.hpp"

namespace oxa_lib {

/// Takes the vault's writer lock and checks that `name` is free.
LibResult<VaultWriteLock> lock_with_free_name(std::string_view name, const VaultPath& vault);

/// 32 bytes from the operating system's random source: the key of a curve
/// the user gave none for.
oxa_signer::SecretBytes random_private_key();

/// `key` as the key of `curve`, `other` as the key of the other curve.
KeyPair key_pair_of(oxa_signer::SecretBytes key, oxa_signer::Curve curve,
                    oxa_signer::SecretBytes other);

/// Builds the six accounts from the pair, seals the pair's JSON text under
/// the passphrase and stores the wallet. The caller holds the writer lock.
LibResult<WalletInfo> store_key_pair_wallet(std::string_view name, const KeyPair& keys,
                                            std::string_view passphrase, const VaultPath& vault);

}  // namespace oxa_lib
