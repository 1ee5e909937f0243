#include "adr036.hpp"

#include <algorithm>
#include <array>

#include "oxa_signer/chains/cosmos.hpp"
#include "oxa_signer/encoding/base64.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/secp256k1_signing.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

constexpr std::size_t COMPACT_SIGNATURE_BYTES = 64;
constexpr std::uint8_t HIGHEST_RECOVERY_ID = 3;

std::span<const std::uint8_t> text_bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

Bytes32 sign_doc_hash(std::string_view signer, ByteSpan data) {
    return sha256(text_bytes(adr036_sign_bytes(signer, data)));
}

}  // namespace

std::string adr036_sign_bytes(std::string_view signer, ByteSpan data) {
    // The keys are written in sorted order. Wallets also escape <, > and & in
    // the text, but the only values put in here are Base64 and Bech32, whose
    // alphabets hold none of those nor anything JSON escapes: the bytes are
    // the wallets' canonical form as they stand.
    return R"({"account_number":"0","chain_id":"","fee":{"amount":[],"gas":"0"},"memo":"",)"
           R"("msgs":[{"type":"sign/MsgSignData","value":{"data":")" +
           base64_encode(data) + R"(","signer":")" + std::string(signer) +
           R"("}}],"sequence":"0"})";
}

SignerResult<std::string> adr036_sign(ByteSpan private_key, ByteSpan data) {
    auto public_key = secp256k1_compressed_public_key(private_key);
    if (!public_key) return Err{public_key.error()};
    auto signer = cosmos_address(COSMOS_HUB_HRP, hash160(public_key.value()));
    if (!signer) return Err{SignerError{SignerError::Kind::AddressDerivation, signer.error()}};
    auto signed_hash =
        secp256k1_sign_hash(private_key, sign_doc_hash(signer.value(), data), "hash");
    if (!signed_hash) return Err{signed_hash.error()};
    return base64_encode(std::span(signed_hash.value().signature).first(COMPACT_SIGNATURE_BYTES));
}

CheckResult<bool> adr036_verify(ByteSpan data, std::string_view signature,
                                std::string_view address) {
    const auto compact = base64_decode(signature);
    if (!compact) return Err{"invalid signature: not Base64"};
    if (compact->size() != COMPACT_SIGNATURE_BYTES) {
        return Err{"invalid signature: expected 64 bytes (r || s), got " +
                   std::to_string(compact->size())};
    }
    auto account = parse_cosmos_address(COSMOS_HUB_HRP, address);
    if (!account) return Err{"invalid address: " + account.error()};
    if (!secp256k1_is_low_s(*compact)) return false;
    // The document names the address as wallets write it: in lowercase.
    std::string signer(address);
    std::transform(signer.begin(), signer.end(), signer.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    const Bytes32 digest = sign_doc_hash(signer, data);
    // Only r || s travels: the key whose hash the address holds is the one
    // among the recoverable keys, if any.
    std::array<std::uint8_t, COMPACT_SIGNATURE_BYTES + 1> recoverable{};
    std::copy(compact->begin(), compact->end(), recoverable.begin());
    for (std::uint8_t id = 0; id <= HIGHEST_RECOVERY_ID; ++id) {
        recoverable.back() = id;
        const auto key = secp256k1_recover(digest, recoverable);
        if (key && hash160(secp256k1_compress(*key)) == account.value()) return true;
    }
    return false;
}

}  // namespace oxa_signer
