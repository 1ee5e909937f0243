#pragma once
// Sealing a new wallet's secret and opening a stored one: the steps that
// creation, export and signing share.

#include <string_view>
#include <vector>

#include "oxa_core/wallet_file.hpp"
#include "oxa_lib/error.hpp"
#include "oxa_lib/ops.hpp"
#include "oxa_lib/types.hpp"
#include "oxa_lib/vault.hpp"
#include "oxa_signer/crypto.hpp"
#include "oxa_signer/zeroizing.hpp"

namespace oxa_lib {

/// Seals `secret` under the passphrase at `cost`, with a fresh salt and
/// nonce: the JSON form a wallet file stores.
LibResult<oxa_core::RawJson> seal_secret(
    const oxa_signer::SecretBytes& secret, std::string_view passphrase,
    const oxa_signer::ScryptParams& cost = oxa_signer::DEFAULT_SCRYPT_COST);

/// Seals `secret` under the passphrase, stamps a new record with a fresh
/// UUID and saves it. The caller holds the vault's writer lock.
LibResult<WalletInfo> seal_and_store(std::string_view name,
                                     std::vector<oxa_core::WalletAccount> accounts,
                                     const oxa_signer::SecretBytes& secret,
                                     std::string_view passphrase, oxa_core::KeyType key_type,
                                     const VaultPath& vault);

/// Opens the wallet's sealed secret (one scrypt).
LibResult<oxa_signer::SecretBytes> unseal(const oxa_core::EncryptedWallet& wallet,
                                          std::string_view passphrase);
LibResult<oxa_signer::SecretBytes> unseal(const oxa_core::CryptoEnvelope& envelope,
                                          std::string_view passphrase);

/// `text` without a leading lowercase "0x", decoded as hex into pinned memory.
/// Errors carry the decoder's text behind `error_prefix`.
LibResult<oxa_signer::SecretBytes> decode_secret_hex(std::string_view text,
                                                     std::string_view error_prefix, bool strip_0x);

}  // namespace oxa_lib
