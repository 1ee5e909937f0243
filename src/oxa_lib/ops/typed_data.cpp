#include "oxa_lib/ops.hpp"

#include "oxa_core/chain.hpp"
#include "oxa_signer/chains/evm.hpp"
#include "oxa_signer/eip712/typed_data.hpp"
#include "oxa_signer/encoding/hex.hpp"
#include "oxa_signer/secp256k1_signing.hpp"

namespace oxa_lib {

namespace {

LibResult<oxa_signer::Bytes32> typed_data_digest(std::string_view typed_data) {
    auto hashes = oxa_signer::eip712::hash_typed_data(typed_data);
    if (!hashes) return Err{OxaLibError::invalid_input("typed data: " + hashes.error())};
    return hashes.value().digest;
}

// r || s || v in hex, with or without "0x"; v is 27 or 28 as signers write
// it, or the bare recovery id 0 or 1, which it becomes.
LibResult<std::vector<std::uint8_t>> decode_recoverable_signature(std::string_view signature_hex) {
    if (signature_hex.starts_with("0x")) signature_hex.remove_prefix(2);
    auto bytes = oxa_signer::hex_decode(signature_hex);
    if (!bytes) return Err{OxaLibError::invalid_input("invalid hex signature: " + bytes.error())};
    std::vector<std::uint8_t>& signature = bytes.value();
    if (signature.size() != oxa_signer::SECP256K1_SIGNATURE_BYTES) {
        return Err{
            OxaLibError::invalid_input("invalid signature: expected 65 bytes (r || s || v), got " +
                                       std::to_string(signature.size()))};
    }
    std::uint8_t& v = signature.back();
    if (v == 27 || v == 28) {
        v -= 27;
    } else if (v > 1) {
        return Err{OxaLibError::invalid_input("invalid signature: v must be 27, 28, 0 or 1, got " +
                                              std::to_string(v))};
    }
    return std::move(bytes).value();
}

}  // namespace

LibResult<std::string> hash_typed_data(std::string_view typed_data) {
    auto digest = typed_data_digest(typed_data);
    if (!digest) return Err{std::move(digest).error()};
    return oxa_signer::hex_encode(digest.value());
}

LibResult<SignResult> sign_typed_data(std::string_view wallet, std::string_view typed_data,
                                      OptText passphrase, OptIndex index, const VaultPath& vault) {
    auto digest = typed_data_digest(typed_data);
    if (!digest) return Err{std::move(digest).error()};
    auto key = decrypt_signing_key(wallet, oxa_core::ChainType::Evm, passphrase.value_or(""), index,
                                   vault);
    if (!key) return Err{std::move(key).error()};
    auto output = oxa_signer::sign_prefixed_digest(key.value().bytes(), digest.value());
    if (!output) return Err{OxaLibError(output.error())};
    return SignResult{oxa_signer::hex_encode(output.value().signature), output.value().recovery_id};
}

LibResult<bool> verify_typed_data(std::string_view typed_data, std::string_view signature_hex,
                                  std::string_view address) {
    auto digest = typed_data_digest(typed_data);
    if (!digest) return Err{std::move(digest).error()};
    auto signature = decode_recoverable_signature(signature_hex);
    if (!signature) return Err{std::move(signature).error()};
    auto expected = oxa_signer::parse_evm_address(address);
    if (!expected) {
        return Err{OxaLibError::invalid_input("invalid EVM address: " + expected.error())};
    }
    // A high s recovers like the low one, as ecrecover and other verifiers take it.
    const auto public_key = oxa_signer::secp256k1_recover(digest.value(), signature.value());
    return public_key && oxa_signer::keccak_account_hash(*public_key) == expected.value();
}

}  // namespace oxa_lib
