#include "oxa_lib/ops.hpp"

#include <map>

#include <nlohmann/json.hpp>

#include "oxa_core/chain.hpp"
#include "oxa_core/utf8.hpp"
#include "oxa_signer/encoding/hex.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/mnemonic.hpp"
#include "oxa_signer/traits.hpp"
#include "seal.hpp"

namespace oxa_lib {

namespace {

// Parses the unsealed key pair: every buffer it allocates, the parser's own
// included, is zeroed when released.
using SecretJson =
    nlohmann::basic_json<std::map, std::vector, oxa_signer::SecretString, bool, std::int64_t,
                         std::uint64_t, double, oxa_signer::ZeroizingAllocator>;

LibResult<std::string_view> key_member(const SecretJson& document, const char* name,
                                       const char* missing_text) {
    if (!document.is_object()) return Err{OxaLibError::invalid_input(missing_text)};
    const auto member = document.find(name);
    if (member == document.end() || !member->is_string()) {
        return Err{OxaLibError::invalid_input(missing_text)};
    }
    const auto& text = member->get_ref<const oxa_signer::SecretString&>();
    return std::string_view(text.data(), text.size());
}

LibResult<KeyPair> parse_key_pair(const oxa_signer::SecretBytes& secret) {
    if (oxa_core::utf8_error(secret.bytes())) {
        return Err{OxaLibError::invalid_input("invalid key pair data")};
    }
    const SecretJson document = SecretJson::parse(secret.text(), nullptr, false);
    if (document.is_discarded()) {
        return Err{OxaLibError::json("key pair is not valid JSON")};
    }
    auto secp_hex = key_member(document, "secp256k1", "missing secp256k1 key");
    if (!secp_hex) return Err{std::move(secp_hex).error()};
    auto ed_hex = key_member(document, "ed25519", "missing ed25519 key");
    if (!ed_hex) return Err{std::move(ed_hex).error()};
    auto secp = decode_secret_hex(secp_hex.value(), "invalid secp256k1 hex: ", false);
    if (!secp) return Err{std::move(secp).error()};
    auto ed = decode_secret_hex(ed_hex.value(), "invalid ed25519 hex: ", false);
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
    auto key = oxa_signer::HdDeriver::derive_from_mnemonic(mnemonic.value(), "", path,
                                                           signer.curve());
    if (!key) return Err{OxaLibError(key.error())};
    return std::move(key).value();
}

LibResult<oxa_core::Chain> parse_chain_argument(std::string_view chain) {
    auto parsed = oxa_core::parse_chain(chain);
    if (!parsed) return Err{OxaLibError::invalid_input(parsed.error())};
    return parsed.value();
}

LibResult<std::vector<std::uint8_t>> decode_message(std::string_view message, OptText encoding) {
    const std::string_view name = encoding.value_or("utf8");
    if (name == "utf8") return std::vector<std::uint8_t>(message.begin(), message.end());
    if (name == "hex") {
        // No "0x" removal here: a prefixed message fails as an invalid character.
        auto bytes = oxa_signer::hex_decode(message);
        if (!bytes) return Err{OxaLibError::invalid_input("invalid hex message: " + bytes.error())};
        return std::move(bytes).value();
    }
    return Err{OxaLibError::invalid_input("unsupported encoding: " + std::string(name) +
                                          " (use 'utf8' or 'hex')")};
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
                                                       std::string_view passphrase,
                                                       OptIndex index, const VaultPath& vault) {
    auto wallet = load_wallet_by_name_or_id(wallet_name_or_id, vault);
    if (!wallet) return Err{std::move(wallet).error()};
    auto secret = unseal(wallet.value(), passphrase);
    if (!secret) return Err{std::move(secret).error()};
    const auto signer = oxa_signer::signer_for_chain(chain_type);
    if (wallet.value().key_type == oxa_core::KeyType::Mnemonic) {
        return key_from_mnemonic(secret.value(), *signer, index);
    }
    // Private-key wallets have one key per curve; the index plays no part.
    auto keys = parse_key_pair(secret.value());
    if (!keys) return Err{std::move(keys).error()};
    KeyPair& pair = keys.value();
    return std::move(signer->curve() == oxa_signer::Curve::Ed25519 ? pair.ed25519 : pair.secp256k1);
}

LibResult<SignResult> sign_message(std::string_view wallet, std::string_view chain,
                                   std::string_view message, OptText passphrase,
                                   OptText encoding, OptIndex index, const VaultPath& vault) {
    auto parsed = parse_chain_argument(chain);
    if (!parsed) return Err{std::move(parsed).error()};
    auto bytes = decode_message(message, encoding);
    if (!bytes) return Err{std::move(bytes).error()};
    const oxa_core::ChainType type = parsed.value().chain_type;
    auto key = decrypt_signing_key(wallet, type, passphrase.value_or(""), index, vault);
    if (!key) return Err{std::move(key).error()};
    auto output = oxa_signer::signer_for_chain(type)->sign_message(key.value().bytes(), bytes.value());
    if (!output) return Err{OxaLibError(output.error())};
    return to_sign_result(output.value());
}

LibResult<SignResult> sign_transaction(std::string_view wallet, std::string_view chain,
                                       std::string_view tx_hex, OptText passphrase,
                                       OptIndex index, const VaultPath& vault) {
    auto parsed = parse_chain_argument(chain);
    if (!parsed) return Err{std::move(parsed).error()};
    auto tx = decode_transaction_hex(tx_hex);
    if (!tx) return Err{std::move(tx).error()};
    const oxa_core::ChainType type = parsed.value().chain_type;
    auto key = decrypt_signing_key(wallet, type, passphrase.value_or(""), index, vault);
    if (!key) return Err{std::move(key).error()};
    auto output = oxa_signer::signer_for_chain(type)->sign_transaction(key.value().bytes(), tx.value());
    if (!output) return Err{OxaLibError(output.error())};
    return to_sign_result(output.value());
}

}  // namespace oxa_lib
