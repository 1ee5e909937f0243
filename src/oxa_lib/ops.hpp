#pragma once
// The wallet operations: one per Python function. Defaults live here, not in
// the Python layer: absent passphrase = "", index = 0, words = 12,
// encoding = "utf8", vault = the default vault directory.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "oxa_core/chain.hpp"
#include "oxa_signer/zeroizing.hpp"
#include "types.hpp"
#include "vault.hpp"

namespace oxa_lib {

using OptText = std::optional<std::string_view>;
using OptIndex = std::optional<std::uint32_t>;

/// Every known chain, in the table's order.
std::vector<ChainInfo> known_chains();

/// Every family, in the order of a wallet's accounts.
std::vector<FamilyInfo> families();

/// A fresh BIP-39 phrase of 12 or 24 words, in pinned memory.
LibResult<oxa_signer::SecretBytes> generate_mnemonic(std::uint32_t words);

/// The address of `chain` (a name or CAIP-2 id) for the phrase at `index`.
LibResult<std::string> derive_address(std::string_view phrase, std::string_view chain,
                                      OptIndex index);

// Creation and import. Each saves exactly one new wallet or nothing; every
// argument check runs before scrypt or any write.

LibResult<WalletInfo> create_wallet(std::string_view name, OptIndex words, OptText passphrase,
                                    const VaultPath& vault);
LibResult<WalletInfo> import_wallet_mnemonic(std::string_view name, std::string_view phrase,
                                             OptText passphrase, OptIndex index,
                                             const VaultPath& vault);
/// Without both per-curve keys, `private_key_hex` is the key of `chain`'s
/// curve (secp256k1 without a chain) and the other curve gets its own
/// argument or 32 random bytes.
LibResult<WalletInfo> import_wallet_private_key(std::string_view name,
                                                std::string_view private_key_hex, OptText chain,
                                                OptText passphrase, const VaultPath& vault,
                                                OptText secp256k1_key, OptText ed25519_key);

// Queries and management.

LibResult<std::vector<WalletInfo>> list_wallets(const VaultPath& vault);
LibResult<WalletInfo> get_wallet(std::string_view name_or_id, const VaultPath& vault);
LibStatus delete_wallet(std::string_view name_or_id, const VaultPath& vault);
LibStatus rename_wallet(std::string_view name_or_id, std::string_view new_name,
                        const VaultPath& vault);
/// The sealed secret as text, in pinned memory: the phrase, or the key-pair JSON.
LibResult<oxa_signer::SecretBytes> export_wallet(std::string_view name_or_id, OptText passphrase,
                                                 const VaultPath& vault);

// Signing. Chain, encoding and hex are checked before the vault is read.

/// The private key `chain_type` signs with: derived at `index` for mnemonic
/// wallets, the key of the family's curve for private-key wallets.
LibResult<oxa_signer::SecretBytes> decrypt_signing_key(std::string_view wallet_name_or_id,
                                                       oxa_core::ChainType chain_type,
                                                       std::string_view passphrase, OptIndex index,
                                                       const VaultPath& vault);
/// Transaction hex with an optional lowercase "0x" prefix.
LibResult<std::vector<std::uint8_t>> decode_transaction_hex(std::string_view tx_hex);
LibResult<SignResult> sign_message(std::string_view wallet, std::string_view chain,
                                   std::string_view message, OptText passphrase, OptText encoding,
                                   OptIndex index, const VaultPath& vault);
LibResult<SignResult> sign_transaction(std::string_view wallet, std::string_view chain,
                                       std::string_view tx_hex, OptText passphrase, OptIndex index,
                                       const VaultPath& vault);

// Broadcasting (EVM and Solana: the other families cannot encode a signed
// transaction and fail before anything is sent).

/// Signs the transaction's signable part, puts the signature in, and sends
/// it to the chosen endpoint; returns the reported transaction hash.
LibResult<std::string> sign_encode_and_broadcast(std::span<const std::uint8_t> private_key,
                                                 std::string_view chain,
                                                 std::span<const std::uint8_t> tx, OptText rpc_url);
LibResult<std::string> sign_and_send(std::string_view wallet, std::string_view chain,
                                     std::string_view tx_hex, OptText passphrase, OptIndex index,
                                     OptText rpc_url, const VaultPath& vault);

// Checking signatures: no wallet, no vault. Malformed input is InvalidInput;
// a well-formed signature that does not match is a plain false.

/// Whether `signature` is what sign_message gives for the message (same
/// encoding names) under the key behind `address`; forms in
/// oxa_signer/message_verification.hpp.
LibResult<bool> verify_message(std::string_view chain, std::string_view message,
                               std::string_view signature, std::string_view address,
                               OptText encoding);
/// The address that made a sign_message signature (secp256k1 families only).
LibResult<std::string> recover_address(std::string_view chain, std::string_view message,
                                       std::string_view signature, OptText encoding);

// Message standards ("bip322-simple", "adr036", "solana-offchain"), each for
// its family. Chain, standard, encoding and the standard's message rules are
// checked before the vault is read.

/// `signature` is in the standard's own text; `recovery_id` is absent.
LibResult<SignResult> sign_message_standard(std::string_view wallet, std::string_view chain,
                                            std::string_view message, std::string_view standard,
                                            OptText passphrase, OptIndex index, OptText encoding,
                                            const VaultPath& vault);
LibResult<bool> verify_message_standard(std::string_view chain, std::string_view message,
                                        std::string_view signature, std::string_view address,
                                        std::string_view standard, OptText encoding);

// EIP-712 typed data: the JSON text of an eth_signTypedData_v4 request,
// checked and hashed before the vault is read.

/// The digest that is signed, as 64 lowercase hex digits.
LibResult<std::string> hash_typed_data(std::string_view typed_data);
/// Signed with the EVM key at `index`: r || s || v with v 27 or 28.
LibResult<SignResult> sign_typed_data(std::string_view wallet, std::string_view typed_data,
                                      OptText passphrase, OptIndex index, const VaultPath& vault);
/// Whether `signature` (hex r || s || v, v 27, 28, 0 or 1) over the typed
/// data recovers to `address`; malformed arguments are errors.
LibResult<bool> verify_typed_data(std::string_view typed_data, std::string_view signature_hex,
                                  std::string_view address);

// Keys over their lifetime: passphrase and cost changes, the key formats of
// other tools, every account of a phrase.

/// Opens the secret with the old passphrase and seals it again under the new
/// one with a fresh salt and nonce, at scrypt N = 2^scrypt_log_n (r = 8,
/// p = 1; 16 to 20, checked before anything else) or, absent, at the cost it
/// has. The file is rewritten in place under the writer lock: its name, id,
/// wallet name, accounts, creation time and metadata stay.
LibStatus change_passphrase(std::string_view name_or_id, std::string_view old_passphrase,
                            std::string_view new_passphrase, OptIndex scrypt_log_n,
                            const VaultPath& vault);

/// A version-3 keystore (scrypt at the envelope's default cost) of the
/// wallet's EVM key at `index`, as compact JSON text.
LibResult<std::string> export_keystore(std::string_view name_or_id, OptText passphrase,
                                       std::string_view keystore_passphrase, OptIndex index,
                                       const VaultPath& vault);

/// A private-key wallet of the keystore's key, the wallet that
/// import_wallet_private_key makes of a secp256k1 key (the Ed25519 key is
/// random). The keystore is read and its costs checked before anything else.
LibResult<WalletInfo> import_keystore(std::string_view name, std::string_view keystore_json,
                                      std::string_view keystore_passphrase, OptText passphrase,
                                      const VaultPath& vault);

/// The wallet's Solana key at `index` as a keypair file's text (64 numbers),
/// in pinned memory.
LibResult<oxa_signer::SecretBytes> export_solana_keypair(std::string_view name_or_id,
                                                         OptText passphrase, OptIndex index,
                                                         const VaultPath& vault);

/// A private-key wallet of the keypair's Ed25519 key, the wallet that
/// import_wallet_private_key makes of it with chain "solana".
LibResult<WalletInfo> import_solana_keypair(std::string_view name, std::string_view keypair_json,
                                            OptText passphrase, const VaultPath& vault);

/// The accounts start .. start + count - 1 of the phrase on `chain` (count 1
/// to 1000, indexes below 2^31), with the BIP-39 passphrase (NFKD) in the
/// seed, which is computed once for the whole range.
LibResult<std::vector<DerivedAddress>> derive_addresses(std::string_view phrase,
                                                        std::string_view chain, std::uint32_t start,
                                                        std::uint32_t count,
                                                        OptText bip39_passphrase);

}  // namespace oxa_lib
