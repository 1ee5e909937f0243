#include "message_verification.hpp"

#include <optional>
#include <vector>

#include "chains/bitcoin.hpp"
#include "chains/cosmos.hpp"
#include "chains/evm.hpp"
#include "chains/solana.hpp"
#include "chains/ton.hpp"
#include "chains/tron.hpp"
#include "ed25519_signing.hpp"
#include "encoding/hex.hpp"
#include "hashes.hpp"
#include "oxa_core/internal_abort.hpp"
#include "secp256k1_signing.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

constexpr std::uint8_t ETHEREUM_V_OFFSET = 27;
constexpr std::uint8_t HIGHEST_RECOVERY_ID = 3;

// What a secp256k1 family's messages and addresses are: the hash its
// sign_message signs, and how a key becomes the 20 bytes its addresses spell.
struct RecoverableFamily {
    Bytes32 (*message_hash)(ByteSpan message);
    Bytes20 (*account_of)(const UncompressedPublicKey& key);
    oxa_core::Result<Bytes20, std::string> (*parse_address)(std::string_view address);
    oxa_core::Result<std::string, std::string> (*address_of)(const Bytes20& account);
    bool takes_v_plus_27;
};

Bytes20 compressed_key_hash(const UncompressedPublicKey& key) {
    return hash160(secp256k1_compress(key));
}

std::optional<RecoverableFamily> recoverable_family(ChainType family) {
    switch (family) {
        case ChainType::Evm:
            return RecoverableFamily{
                evm_message_hash, keccak_account_hash, parse_evm_address,
                [](const Bytes20& account) -> oxa_core::Result<std::string, std::string> {
                    return evm_address(account);
                },
                true};
        case ChainType::Tron:
            return RecoverableFamily{
                tron_message_hash, keccak_account_hash, parse_tron_address,
                [](const Bytes20& account) -> oxa_core::Result<std::string, std::string> {
                    return tron_address(account);
                },
                true};
        case ChainType::Bitcoin:
            return RecoverableFamily{bitcoin_message_hash, compressed_key_hash,
                                     [](std::string_view address) {
                                         return parse_p2wpkh_address(BITCOIN_MAINNET_HRP, address);
                                     },
                                     [](const Bytes20& key_hash) {
                                         return p2wpkh_address(BITCOIN_MAINNET_HRP, key_hash);
                                     },
                                     false};
        case ChainType::Cosmos:
            return RecoverableFamily{
                [](ByteSpan message) { return sha256(message); }, compressed_key_hash,
                [](std::string_view address) {
                    return parse_cosmos_address(COSMOS_HUB_HRP, address);
                },
                [](const Bytes20& account) { return cosmos_address(COSMOS_HUB_HRP, account); },
                false};
        case ChainType::Solana:
        case ChainType::Ton: return std::nullopt;
    }
    return std::nullopt;
}

std::string invalid_signature(std::string_view text) {
    return "invalid signature: " + std::string(text);
}

CheckResult<std::vector<std::uint8_t>> signature_bytes(std::string_view text,
                                                       std::size_t expected_bytes,
                                                       std::string_view layout) {
    if (text.starts_with("0x")) text.remove_prefix(2);
    auto bytes = hex_decode(text);
    if (!bytes) return Err{invalid_signature(bytes.error())};
    if (bytes.value().size() != expected_bytes) {
        return Err{invalid_signature("expected " + std::to_string(expected_bytes) + " bytes (" +
                                     std::string(layout) + "), got " +
                                     std::to_string(bytes.value().size()))};
    }
    return std::move(bytes).value();
}

/// r || s || recovery id, the id brought to 0..3.
CheckResult<std::vector<std::uint8_t>> recoverable_signature(std::string_view text,
                                                             const RecoverableFamily& family) {
    auto bytes = signature_bytes(text, SECP256K1_SIGNATURE_BYTES, "r || s || recovery id");
    if (!bytes) return bytes;
    std::uint8_t& id = bytes.value().back();
    if (family.takes_v_plus_27 && id >= ETHEREUM_V_OFFSET &&
        id <= ETHEREUM_V_OFFSET + HIGHEST_RECOVERY_ID) {
        id -= ETHEREUM_V_OFFSET;
    }
    if (id > HIGHEST_RECOVERY_ID) {
        return Err{invalid_signature("recovery id " + std::to_string(id) + ", expected 0 to 3" +
                                     (family.takes_v_plus_27 ? " or 27 to 30" : ""))};
    }
    return bytes;
}

template <class T>
CheckResult<T> address_or_error(oxa_core::Result<T, std::string> parsed) {
    if (!parsed) return Err{"invalid address: " + parsed.error()};
    return std::move(parsed).value();
}

CheckResult<bool> verify_recoverable(const RecoverableFamily& family, ByteSpan message,
                                     std::string_view signature, std::string_view address) {
    auto bytes = recoverable_signature(signature, family);
    if (!bytes) return Err{std::move(bytes).error()};
    auto account = address_or_error(family.parse_address(address));
    if (!account) return Err{std::move(account).error()};
    const auto key = secp256k1_recover(family.message_hash(message), bytes.value());
    return key.has_value() && family.account_of(*key) == account.value();
}

CheckResult<bool> verify_ed25519(const oxa_core::Result<Ed25519PublicKey, std::string>& key,
                                 ByteSpan message, std::string_view signature) {
    auto bytes = signature_bytes(signature, ED25519_SIGNATURE_BYTES, "R || S");
    if (!bytes) return Err{std::move(bytes).error()};
    auto public_key = address_or_error(key);
    if (!public_key) return Err{std::move(public_key).error()};
    return ed25519_verify(public_key.value(), message, bytes.value());
}

}  // namespace

CheckResult<bool> verify_message_signature(ChainType family, ByteSpan message,
                                           std::string_view signature, std::string_view address) {
    switch (family) {
        case ChainType::Solana:
            return verify_ed25519(parse_solana_address(address), message, signature);
        case ChainType::Ton:
            return verify_ed25519(parse_ton_public_key(address), message, signature);
        case ChainType::Evm:
        case ChainType::Tron:
        case ChainType::Bitcoin:
        case ChainType::Cosmos:
            return verify_recoverable(recoverable_family(family).value(), message, signature,
                                      address);
    }
    throw oxa_core::InternalAbort("unknown chain type");
}

CheckResult<std::string> recover_message_signer(ChainType family, ByteSpan message,
                                                std::string_view signature) {
    const auto recoverable = recoverable_family(family);
    if (!recoverable) {
        return Err{std::string(oxa_core::chain_type_name(family)) +
                   " signs with Ed25519, whose signatures do not reveal the key: check one "
                   "with verify_message and the account's address"};
    }
    auto bytes = recoverable_signature(signature, *recoverable);
    if (!bytes) return Err{std::move(bytes).error()};
    const auto key = secp256k1_recover(recoverable->message_hash(message), bytes.value());
    if (!key) return Err{invalid_signature("no public key recovers from it")};
    return recoverable->address_of(recoverable->account_of(*key));
}

}  // namespace oxa_signer
