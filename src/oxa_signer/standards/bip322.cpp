#include "bip322.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "oxa_core/internal_abort.hpp"
#include "oxa_signer/chains/bitcoin.hpp"
#include "oxa_signer/encoding/base64.hpp"
#include "oxa_signer/secp256k1_signing.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

constexpr std::string_view MESSAGE_TAG = "BIP0322-signed-message";
constexpr std::string_view SIMPLE_PREFIX = "smp";
constexpr std::uint8_t SIGHASH_ALL = 0x01;
constexpr std::size_t COMPRESSED_KEY_BYTES = 33;
constexpr std::uint32_t NO_PREVIOUS_OUTPUT = 0xFFFFFFFF;

// Script opcodes.
constexpr std::uint8_t OP_0 = 0x00;
constexpr std::uint8_t PUSH_20 = 0x14;
constexpr std::uint8_t PUSH_32 = 0x20;
constexpr std::uint8_t OP_RETURN = 0x6A;
constexpr std::uint8_t OP_DUP = 0x76;
constexpr std::uint8_t OP_EQUALVERIFY = 0x88;
constexpr std::uint8_t OP_HASH160 = 0xA9;
constexpr std::uint8_t OP_CHECKSIG = 0xAC;

using Bytes = std::vector<std::uint8_t>;

/// Lays fields end to end into exactly N bytes; all of these layouts have a
/// fixed size.
template <std::size_t N>
class Serializer {
public:
    Serializer& bytes(ByteSpan field) {
        if (field.size() > N - m_size) throw oxa_core::InternalAbort("serialized past its size");
        std::copy(field.begin(), field.end(), m_out.begin() + static_cast<std::ptrdiff_t>(m_size));
        m_size += field.size();
        return *this;
    }
    Serializer& byte(std::uint8_t value) { return bytes(ByteSpan(&value, 1)); }
    Serializer& le(std::uint64_t n, std::size_t width) {
        std::array<std::uint8_t, 8> field{};
        for (std::size_t i = 0; i < width; ++i) field[i] = static_cast<std::uint8_t>(n >> (8 * i));
        return bytes(ByteSpan(field).first(width));
    }
    /// A script and, in front, its length: one CompactSize byte for all of ours.
    Serializer& script(ByteSpan script) {
        return byte(static_cast<std::uint8_t>(script.size())).bytes(script);
    }
    std::array<std::uint8_t, N> done() const {
        if (m_size != N) throw oxa_core::InternalAbort("serialized short of its size");
        return m_out;
    }

private:
    std::array<std::uint8_t, N> m_out{};
    std::size_t m_size = 0;
};

std::array<std::uint8_t, 36> outpoint(const Bytes32& txid, std::uint32_t index) {
    return Serializer<36>().bytes(txid).le(index, 4).done();
}

// Both virtual transactions: version 0, one input with sequence 0, one output
// of value 0, lock time 0.
std::array<std::uint8_t, 116> to_spend_transaction(const Bytes32& message_hash,
                                                   const Bytes20& key_hash) {
    const auto script_sig = Serializer<34>().byte(OP_0).byte(PUSH_32).bytes(message_hash).done();
    const auto script_pubkey = Serializer<22>().byte(OP_0).byte(PUSH_20).bytes(key_hash).done();
    return Serializer<116>()
        .le(0, 4)  // version
        .byte(1)  // inputs
        .bytes(outpoint(Bytes32{}, NO_PREVIOUS_OUTPUT))
        .script(script_sig)
        .le(0, 4)  // sequence
        .byte(1)  // outputs
        .le(0, 8)  // value
        .script(script_pubkey)
        .le(0, 4)  // lock time
        .done();
}

/// Whether the witness spends the key hash's P2WPKH output of to_spend.
bool satisfies_p2wpkh(const WitnessStack& stack, const Bytes20& key_hash,
                      const Bytes32& message_hash) {
    if (stack.size() != 2) return false;
    const Bytes& signature = stack[0];
    const Bytes& public_key = stack[1];
    if (signature.empty() || signature.back() != SIGHASH_ALL) return false;
    if (public_key.size() != COMPRESSED_KEY_BYTES || hash160(public_key) != key_hash) return false;
    const ByteSpan der = ByteSpan(signature).first(signature.size() - 1);
    return secp256k1_verify_der(bip322_sighash(message_hash, key_hash), der, public_key);
}

}  // namespace

Bytes32 bip322_message_hash(ByteSpan message) {
    const Bytes32 tag_hash = sha256(
        ByteSpan(reinterpret_cast<const std::uint8_t*>(MESSAGE_TAG.data()), MESSAGE_TAG.size()));
    Bytes preimage(2 * tag_hash.size() + message.size());
    auto end = std::copy(tag_hash.begin(), tag_hash.end(), preimage.begin());
    end = std::copy(tag_hash.begin(), tag_hash.end(), end);
    std::copy(message.begin(), message.end(), end);
    return sha256(preimage);
}

Bytes32 bip322_to_spend_txid(const Bytes32& message_hash, const Bytes20& key_hash) {
    return sha256d(to_spend_transaction(message_hash, key_hash));
}

Bytes32 bip322_sighash(const Bytes32& message_hash, const Bytes20& key_hash) {
    const auto spent = outpoint(bip322_to_spend_txid(message_hash, key_hash), 0);
    const auto sequences = Serializer<4>().le(0, 4).done();
    const auto outputs = Serializer<10>().le(0, 8).script(std::array{OP_RETURN}).done();
    // P2WPKH signs with the P2PKH script of its key hash.
    const auto script_code = Serializer<25>()
                                 .byte(OP_DUP)
                                 .byte(OP_HASH160)
                                 .byte(PUSH_20)
                                 .bytes(key_hash)
                                 .byte(OP_EQUALVERIFY)
                                 .byte(OP_CHECKSIG)
                                 .done();
    return sha256d(Serializer<182>()
                       .le(0, 4)  // version
                       .bytes(sha256d(spent))  // hashPrevouts
                       .bytes(sha256d(sequences))  // hashSequence
                       .bytes(spent)
                       .script(script_code)
                       .le(0, 8)  // amount
                       .le(0, 4)  // sequence
                       .bytes(sha256d(outputs))  // hashOutputs
                       .le(0, 4)  // lock time
                       .le(SIGHASH_ALL, 4)
                       .done());
}

SignerResult<std::string> bip322_sign_simple(ByteSpan private_key, const Bytes32& message_hash) {
    auto public_key = secp256k1_compressed_public_key(private_key);
    if (!public_key) return Err{public_key.error()};
    const Bytes32 sighash = bip322_sighash(message_hash, hash160(public_key.value()));
    auto signed_hash = secp256k1_sign_hash(private_key, sighash, "hash");
    if (!signed_hash) return Err{signed_hash.error()};
    Bytes signature = secp256k1_der_encode(std::span(signed_hash.value().signature).first<64>());
    signature.push_back(SIGHASH_ALL);
    const WitnessStack stack{signature,
                             Bytes(public_key.value().begin(), public_key.value().end())};
    return base64_encode(encode_witness_stack(stack));
}

CheckResult<WitnessStack> bip322_simple_witness(std::string_view signature) {
    if (signature.starts_with("ful") || signature.starts_with("pof")) {
        return Err{
            "invalid signature: only simple signatures are supported, not the full or "
            "proof-of-funds forms"};
    }
    if (signature.starts_with(SIMPLE_PREFIX)) signature.remove_prefix(SIMPLE_PREFIX.size());
    const auto bytes = base64_decode(signature);
    if (!bytes) return Err{"invalid signature: not Base64"};
    auto stack = decode_witness_stack(*bytes);
    if (!stack) return Err{"invalid signature: not a witness stack (" + stack.error() + ")"};
    return std::move(stack).value();
}

CheckResult<bool> bip322_verify_simple(const Bytes32& message_hash, std::string_view signature,
                                       std::string_view address) {
    auto stack = bip322_simple_witness(signature);
    if (!stack) return Err{std::move(stack).error()};
    auto key_hash = parse_p2wpkh_address(BITCOIN_MAINNET_HRP, address);
    if (!key_hash) return Err{"invalid address: " + key_hash.error()};
    return satisfies_p2wpkh(stack.value(), key_hash.value(), message_hash);
}

}  // namespace oxa_signer
