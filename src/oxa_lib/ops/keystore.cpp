#include "oxa_signer/keystore.hpp"
#include "key_pair_wallet.hpp"
#include "oxa_core/keystore_file.hpp"
#include "oxa_lib/ops.hpp"
#include "oxa_signer/random.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_lib {

namespace {

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

/// The 40 lowercase hex digits of an EVM address, as keystores write it.
std::string keystore_address(std::string_view address) {
    if (address.starts_with("0x") || address.starts_with("0X")) address.remove_prefix(2);
    std::string out(address);
    for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

LibResult<std::string> evm_address(const oxa_signer::SecretBytes& key) {
    auto address =
        oxa_signer::signer_for_chain(oxa_core::ChainType::Evm)->derive_address(key.bytes());
    if (!address) return Err{OxaLibError(address.error())};
    return keystore_address(address.value());
}

}  // namespace

LibResult<std::string> export_keystore(std::string_view name_or_id, OptText passphrase,
                                       std::string_view keystore_passphrase, OptIndex index,
                                       const VaultPath& vault) {
    auto key = decrypt_signing_key(name_or_id, oxa_core::ChainType::Evm, passphrase.value_or(""),
                                   index, vault);
    if (!key) return Err{std::move(key).error()};
    // The signer takes only a valid 32-byte key, so the key fits the keystore.
    auto address = evm_address(key.value());
    if (!address) return Err{std::move(address).error()};
    const std::span<const std::uint8_t, oxa_signer::KEYSTORE_KEY_BYTES> fixed(
        key.value().data(), oxa_signer::KEYSTORE_KEY_BYTES);
    auto crypto = oxa_signer::seal_keystore(fixed, bytes_of(keystore_passphrase));
    if (!crypto) return Err{OxaLibError(crypto.error())};
    return oxa_core::serialize_keystore(
        {std::move(crypto).value(), oxa_signer::random_uuid_v4(), std::move(address).value()});
}

LibResult<WalletInfo> import_keystore(std::string_view name, std::string_view keystore_json,
                                      std::string_view keystore_passphrase, OptText passphrase,
                                      const VaultPath& vault) {
    auto keystore = oxa_core::parse_keystore(keystore_json);
    if (!keystore) return Err{OxaLibError::invalid_input("invalid keystore: " + keystore.error())};
    auto lock = lock_with_free_name(name, vault);
    if (!lock) return Err{std::move(lock).error()};
    auto key = oxa_signer::open_keystore(keystore.value().crypto, bytes_of(keystore_passphrase));
    if (!key) return Err{OxaLibError(key.error())};
    auto address = evm_address(key.value());
    if (!address) return Err{std::move(address).error()};
    const std::optional<std::string>& claimed = keystore.value().address;
    if (claimed && keystore_address(*claimed) != address.value()) {
        return Err{OxaLibError::invalid_input("the keystore's address " + *claimed +
                                              " is not the address of its key")};
    }
    const KeyPair keys =
        key_pair_of(std::move(key).value(), oxa_signer::Curve::Secp256k1, random_private_key());
    return store_key_pair_wallet(name, keys, passphrase.value_or(""), vault);
}

}  // namespace oxa_lib
