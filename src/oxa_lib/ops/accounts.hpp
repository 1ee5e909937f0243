#pragma once
// The six accounts of a universal wallet, in the fixed family order.

#include <cstdint>
#include <vector>

#include "oxa_core/wallet_file.hpp"
#include "oxa_lib/error.hpp"
#include "oxa_lib/types.hpp"
#include "oxa_signer/mnemonic.hpp"

namespace oxa_lib {

/// One account per family at `index`, keys derived from one BIP-39 seed
/// (empty BIP-39 passphrase). The first failing family ends the call.
LibResult<std::vector<oxa_core::WalletAccount>> derive_all_accounts(
    const oxa_signer::Mnemonic& mnemonic, std::uint32_t index);

/// One account per family from raw keys: each family takes the key of its
/// curve. Derivation paths are empty.
LibResult<std::vector<oxa_core::WalletAccount>> accounts_from_key_pair(const KeyPair& keys);

}  // namespace oxa_lib
