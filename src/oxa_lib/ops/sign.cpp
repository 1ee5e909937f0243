#include "oxa_lib/ops.hpp"

#include <optional>

#include "message_input.hpp"
#include "oxa_core/chain.hpp"
#include "oxa_core/json_reader.hpp"
#include "oxa_core/utf8.hpp"
#include "oxa_signer/encoding/hex.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/mnemonic.hpp"
#include "oxa_signer/traits.hpp"
#include "seal.hpp"

namespace oxa_lib {

namespace {

// The key members of an unsealed key pair, each present while its last
// occurrence is a JSON string. Read with the project's reader, whose buffers
// are zeroed: a general JSON library keeps token copies in plain memory.
struct KeyPairText {
    std::optional<oxa_signer::SecretBytes> secp256k1;
    std::optional<oxa_signer::SecretBytes> ed25519;
};

oxa_core::Status<oxa_core::JsonError> read_key_member(
    oxa_core::JsonReader& reader, std::optional<oxa_signer::SecretBytes>& member) {
    if (reader.peek() != '"') {
        member.reset();
        return reader.skip();
    }
    auto text = reader.read_string();
    if (!text) return Err{std::move(text).error()};
    member = oxa_signer::SecretBytes::from_slice(text.value());
    oxa_signer::wipe(text.value());
    return oxa_core::OK;
}

/// Any JSON document: an object yields its key members, anything else none.
oxa_core::Result<KeyPairText, oxa_core::JsonError> read_key_pair_text(std::string_view text) {
    oxa_core::JsonReader reader(text);
    KeyPairText members;
    const auto read_entry = [&](std::string key) -> oxa_core::Status<oxa_core::JsonError> {
        if (key == "secp256k1") return read_key_member(reader, members.secp256k1);
        if (key == "ed25519") return read_key_member(reader, members.ed25519);
        return reader.skip();
    };
    auto read = reader.peek() == '{' ? reader.read_map(read_entry) : reader.skip();
    if (!read) return Err{std::move(read).error()};
    if (auto end = reader.finish(); !end) return Err{std::move(end).error()};
    return members;
}

LibResult<KeyPair> parse_key_pair(const oxa_signer::SecretBytes& secret) {
    if (oxa_core::utf8_error(secret.bytes())) {
        return Err{OxaLibError::invalid_input("invalid key pair data")};
    }
    auto members = read_key_pair_text(secret.text());
    if (!members) return Err{OxaLibError::json("key pair is not valid JSON")};
    const KeyPairText& text = members.value();
    if (!text.secp256k1) return Err{OxaLibError::invalid_input("missing secp256k1 key")};
    if (!text.ed25519) return Err{OxaLibError::invalid_input("missing ed25519 key")};
    auto secp = decode_secret_hex(text.secp256k1->text(), "invalid secp256k1 hex: ", false);
    if (!secp) return Err{std::move(secp).error()};
    auto ed = decode_secret_hex(text.ed25519->text(), "invalid ed25519 hex: ", false);
    if (!ed) return Err{std::move(ed).error()};
    return KeyPair{std::move(secp).value(), std::move(ed).value()};
}

LibResult<oxa_signer::SecretBytes> key_from_mnemonic(const oxa_signer::SecretBytes& secret,
                                                     const oxa_signer::ChainSigner& signer,
                                                     OptIndex index) {
    if (oxa_core::utf8_error(secret.bytes())) {
        return Err{OxaLibError::invalid_input("wallet contains invalid UTF-8 mnemonic")};
    }
    auto mnemonic = oxa_signer::Mnemonic::from_phrase(secret.text());
    if (!mnemonic) return Err{OxaLibError(mnemonic.error())};
    const std::string path = signer.default_derivation_path(index.value_or(0));
    auto key =
        oxa_signer::HdDeriver::derive_from_mnemonic(mnemonic.value(), "", path, signer.curve());
    if (!key) return Err{OxaLibError(key.error())};
    return std::move(key).value();
}

SignResult to_sign_result(const oxa_signer::SignOutput& output) {
    return {oxa_signer::hex_encode(output.signature), output.recovery_id};
}

}  // namespace

LibResult<std::vector<std::uint8_t>> decode_transaction_hex(std::string_view tx_hex) {
    if (tx_hex.starts_with("0x")) tx_hex.remove_prefix(2);
    auto bytes = oxa_signer::hex_decode(tx_hex);
    if (!bytes) return Err{OxaLibError::invalid_input("invalid hex transaction: " + bytes.error())};
    return std::move(bytes).value();
}

LibResult<oxa_signer::SecretBytes> decrypt_signing_key(std::string_view wallet_name_or_id,
                                                       oxa_core::ChainType chain_type,
                                                       std::string_view passphrase, OptIndex index,
                                                       const VaultPath& vault) {
    auto found = load_wallet_by_name_or_id(wallet_name_or_id, vault);
    if (!found) return Err{std::move(found).error()};
    const oxa_core::EncryptedWallet& wallet = found.value().wallet;
    auto secret = unseal(wallet, passphrase);
    if (!secret) return Err{std::move(secret).error()};
    const auto signer = oxa_signer::signer_for_chain(chain_type);
    if (wallet.key_type == oxa_core::KeyType::Mnemonic) {
        return key_from_mnemonic(secret.value(), *signer, index);
    }
    // Private-key wallets have one key per curve; the index plays no part.
    auto keys = parse_key_pair(secret.value());
    if (!keys) return Err{std::move(keys).error()};
    KeyPair& pair = keys.value();
    return std::move(signer->curve() == oxa_signer::Curve::Ed25519 ? pair.ed25519 : pair.secp256k1);
}

LibResult<SignResult> sign_message(std::string_view wallet, std::string_view chain,
                                   std::string_view message, OptText passphrase, OptText encoding,
                                   OptIndex index, const VaultPath& vault) {
    auto parsed = parse_chain_argument(chain);
    if (!parsed) return Err{std::move(parsed).error()};
    auto bytes = decode_message(message, encoding);
    if (!bytes) return Err{std::move(bytes).error()};
    const oxa_core::ChainType type = parsed.value().chain_type;
    auto key = decrypt_signing_key(wallet, type, passphrase.value_or(""), index, vault);
    if (!key) return Err{std::move(key).error()};
    auto output =
        oxa_signer::signer_for_chain(type)->sign_message(key.value().bytes(), bytes.value());
    if (!output) return Err{OxaLibError(output.error())};
    return to_sign_result(output.value());
}

LibResult<SignResult> sign_transaction(std::string_view wallet, std::string_view chain,
                                       std::string_view tx_hex, OptText passphrase, OptIndex index,
                                       const VaultPath& vault) {
    auto parsed = parse_chain_argument(chain);
    if (!parsed) return Err{std::move(parsed).error()};
    auto tx = decode_transaction_hex(tx_hex);
    if (!tx) return Err{std::move(tx).error()};
    const oxa_core::ChainType type = parsed.value().chain_type;
    auto key = decrypt_signing_key(wallet, type, passphrase.value_or(""), index, vault);
    if (!key) return Err{std::move(key).error()};
    auto output =
        oxa_signer::signer_for_chain(type)->sign_transaction(key.value().bytes(), tx.value());
    if (!output) return Err{OxaLibError(output.error())};
    return to_sign_result(output.value());
}

}  // namespace oxa_lib
