#pragma once
// The records the operations hand to the Python layer.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "oxa_core/wallet_file.hpp"
#include "oxa_signer/zeroizing.hpp"

namespace oxa_lib {

struct AccountInfo {
    std::string chain_id;
    std::string address;
    std::string derivation_path;  // empty for private-key wallets
};

struct WalletInfo {
    std::string id;
    std::string name;
    std::vector<AccountInfo> accounts;
    std::string created_at;
};

struct SignResult {
    std::string signature;  // lowercase hex, no prefix
    std::optional<std::uint8_t> recovery_id;
};

/// A known chain, as the chain table gives it.
struct ChainInfo {
    std::string_view name;
    std::string_view chain_id;  // CAIP-2
    std::string_view family;
    std::string_view default_rpc;
};

/// A family: its default chain, its curve and the path of its account 0.
struct FamilyInfo {
    std::string_view family;
    std::string_view chain;
    std::string_view chain_id;
    std::string_view curve;
    std::string derivation_path;
};

/// One account of a phrase: its index, address and derivation path.
struct DerivedAddress {
    std::uint32_t index;
    std::string address;
    std::string derivation_path;
};

/// The two raw private keys of a private-key wallet; wiped when released.
struct KeyPair {
    oxa_signer::SecretBytes secp256k1;
    oxa_signer::SecretBytes ed25519;
};

/// The public summary of a stored wallet: no secret, key type or metadata.
WalletInfo wallet_to_info(const oxa_core::EncryptedWallet& wallet);
/// The same, taking the texts over instead of copying them.
WalletInfo wallet_to_info(oxa_core::EncryptedWallet&& wallet);

}  // namespace oxa_lib
