// The message standards against their published vectors: BIP-322 simple
// signatures, ADR-036 sign documents and Solana off-chain messages, and the
// inputs each refuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "oxa_signer/chains/cosmos.hpp"
#include "oxa_signer/ed25519_signing.hpp"
#include "oxa_signer/encoding/base64.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/secp256k1_signing.hpp"
#include "oxa_signer/standards/adr036.hpp"
#include "oxa_signer/standards/bip322.hpp"
#include "oxa_signer/standards/message_standard.hpp"
#include "oxa_signer/standards/solana_offchain.hpp"
#include "oxa_signer/standards/witness_stack.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

using nlohmann::json;
using oxa_core::ChainType;
using oxa_signer::MessageStandard;
using oxa_signer::StandardMessage;
using oxa_signer::WitnessStack;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::unhex;

const json BIP322 = oxa_test::load_vectors("bip322-simple.json");
const json ADR036 = oxa_test::load_vectors("adr036.json");
const json OFFCHAIN = oxa_test::load_vectors("solana-offchain-message.json");

const std::vector<std::uint8_t> BIP322_KEY = unhex(BIP322["key"]["private_key"].get<std::string>());
const std::string BIP322_ADDRESS = BIP322["key"]["address"].get<std::string>();

oxa_signer::Bytes20 bip322_key_hash() {
    const auto script = unhex(BIP322["key"]["script_pubkey"].get<std::string>());  // 00 14 <hash>
    oxa_signer::Bytes20 key_hash{};
    std::copy(script.begin() + 2, script.end(), key_hash.begin());
    return key_hash;
}

oxa_signer::Bytes32 message_hash(const json& v) {
    return oxa_signer::bip322_message_hash(bytes_of(v["message"].get<std::string>()));
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return text;
}

std::string reversed_hex(oxa_signer::Bytes32 bytes) {
    std::reverse(bytes.begin(), bytes.end());
    return hex(bytes);
}

// BIP-322 -------------------------------------------------------------------------

TEST(Bip322, HashesAndVirtualTransactionsMatchTheVectors) {
    for (const auto& v : BIP322["message_hashes_and_txids"]) {
        const auto hash = message_hash(v);
        EXPECT_EQ(hex(hash), v["message_hash"]);
        const auto txid = oxa_signer::bip322_to_spend_txid(hash, bip322_key_hash());
        EXPECT_EQ(reversed_hex(txid), v["to_spend_txid"]);
        // to_sign spends it: the id sits in its input in internal byte order.
        const auto to_sign = v["to_sign_raw_unsigned"].get<std::string>();
        EXPECT_EQ(to_sign.substr(10, 64), hex(txid));
        EXPECT_EQ(hex(oxa_signer::bip322_sighash(hash, bip322_key_hash())), v["bip143_sighash"]);
    }
}

TEST(Bip322, SigningGivesThePublishedRfc6979Signature) {
    int reproduced = 0;
    for (const auto& v : BIP322["simple_signatures"]) {
        // The other published signature per message grinds for a low R, as
        // Bitcoin Core does; plain RFC 6979 gives this one.
        if (v["nonce"].get<std::string>().rfind("RFC 6979 (HMAC-SHA256, no extra data)", 0) != 0) {
            continue;
        }
        EXPECT_EQ(oxa_signer::bip322_sign_simple(BIP322_KEY, message_hash(v)).value(),
                  v["signature_base64"]);
        ++reproduced;
    }
    EXPECT_EQ(reproduced, 2);
}

TEST(Bip322, EveryPublishedSignatureVerifiesBareAndPrefixed) {
    for (const auto& v : BIP322["simple_signatures"]) {
        for (const char* form : {"signature_base64", "signature_prefixed"}) {
            EXPECT_TRUE(oxa_signer::bip322_verify_simple(message_hash(v),
                                                         v[form].get<std::string>(), BIP322_ADDRESS)
                            .value())
                << v[form];
        }
        const auto compact = unhex(v["r"].get<std::string>() + v["s"].get<std::string>());
        EXPECT_EQ(hex(oxa_signer::secp256k1_der_encode(std::span(compact).first<64>())),
                  v["der_signature"]);
    }
}

TEST(Bip322, PublishedMustFailCasesNeverVerify) {
    for (const auto& v : BIP322["error_cases"]) {
        const auto result = oxa_signer::bip322_verify_simple(
            message_hash(v), v["signature"].get<std::string>(), v["address"].get<std::string>());
        EXPECT_FALSE(result.ok() && result.value()) << v["description"];
    }
}

std::string simple_signature(const WitnessStack& stack) {
    return oxa_signer::base64_encode(oxa_signer::encode_witness_stack(stack));
}

// The published "Hello World" witness, taken apart.
WitnessStack hello_world_witness() {
    const auto& items = BIP322["simple_signatures"][3]["witness_items"];
    return {unhex(items[0].get<std::string>()), unhex(items[1].get<std::string>())};
}

TEST(Bip322, WitnessesThatBreakTheRulesAreFalse) {
    const auto hash = oxa_signer::bip322_message_hash(bytes_of("Hello World"));
    ASSERT_TRUE(oxa_signer::bip322_verify_simple(hash, simple_signature(hello_world_witness()),
                                                 BIP322_ADDRESS)
                    .value());

    auto sighash_none = hello_world_witness();
    sighash_none[0].back() = 0x02;
    auto uncompressed = hello_world_witness();
    uncompressed[1] = oxa_test::uncompressed_point(uncompressed[1]);
    auto three_items = hello_world_witness();
    three_items.push_back({});
    auto no_sighash_byte = hello_world_witness();
    no_sighash_byte[0].clear();
    // The same signature with s replaced by n - s.
    const auto& v = BIP322["simple_signatures"][3];
    const auto compact =
        oxa_test::malleate(unhex(v["r"].get<std::string>() + v["s"].get<std::string>()));
    auto high = hello_world_witness();
    high[0] = oxa_signer::secp256k1_der_encode(std::span(compact).first<64>());
    high[0].push_back(0x01);
    // DER that is not strict: r padded with a needless zero byte.
    auto padded = hello_world_witness();
    padded[0].insert(padded[0].begin() + 4, 0x00);
    padded[0][1] += 1;
    padded[0][3] += 1;

    for (const auto& stack :
         {sighash_none, uncompressed, three_items, no_sighash_byte, high, padded, WitnessStack{}}) {
        EXPECT_FALSE(
            oxa_signer::bip322_verify_simple(hash, simple_signature(stack), BIP322_ADDRESS).value())
            << simple_signature(stack);
    }
}

struct Refusal {
    const char* name;
    std::string signature;
    std::string address;
    std::string error;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class Bip322Refusal : public testing::TestWithParam<Refusal> {};

TEST_P(Bip322Refusal, NamesWhatIsWrong) {
    const auto result = oxa_signer::bip322_verify_simple(oxa_signer::bip322_message_hash({}),
                                                         GetParam().signature, GetParam().address);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Bip322Refusal,
    testing::Values(
        Refusal{"not_base64", "not-valid-base64!!!", BIP322_ADDRESS,
                "invalid signature: not Base64"},
        Refusal{"unpadded", "AA", BIP322_ADDRESS, "invalid signature: not Base64"},
        Refusal{"empty", "", BIP322_ADDRESS, "invalid signature: not a witness stack (truncated)"},
        Refusal{"trailing", "AAA=", BIP322_ADDRESS,
                "invalid signature: not a witness stack (1 bytes after the last item)"},
        Refusal{"unknown_prefix", "fooAA==", BIP322_ADDRESS, "invalid signature: not Base64"},
        Refusal{"full", "fulAA==", BIP322_ADDRESS,
                "invalid signature: only simple signatures are supported, not the full or "
                "proof-of-funds forms"},
        Refusal{"p2wsh", BIP322["simple_signatures"][0]["signature_base64"].get<std::string>(),
                "bc1qp0ahvfh83088w49k405szqgg4f3pptr7p2g06tdxfjcd40z4lh4q95lsz9",
                "invalid address: not a P2WPKH address (witness version 0, 32-byte program)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WitnessStack, EncodedStacksDecodeBack) {
    for (int round = 0; round < 32; ++round) {
        WitnessStack stack(oxa_test::test_rng()() % 5);
        for (auto& item : stack) item = oxa_test::random_bytes(oxa_test::test_rng()() % 300);
        EXPECT_EQ(oxa_signer::decode_witness_stack(oxa_signer::encode_witness_stack(stack)).value(),
                  stack);
    }
}

TEST(WitnessStack, RefusesWhatBitcoinRefuses) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "truncated"},
        {"02", "truncated"},
        {"0102aa", "truncated"},
        {"fd0100", "non-canonical CompactSize"},
        {"01fd0000", "non-canonical CompactSize"},
        {"ff0000000000000001", "truncated"},
        {"0100ff", "1 bytes after the last item"},
    };
    for (const auto& [bytes, error] : cases) {
        const auto result = oxa_signer::decode_witness_stack(unhex(bytes));
        ASSERT_FALSE(result.ok()) << bytes;
        EXPECT_EQ(result.error(), error) << bytes;
    }
}

// ADR-036 --------------------------------------------------------------------------

TEST(Adr036, SignDocumentsAndSignaturesMatchTheVectors) {
    for (const auto& v : ADR036["vectors"]) {
        const auto message = v["message"].get<std::string>();
        const auto signer = v["signer"].get<std::string>();
        const auto sign_bytes = oxa_signer::adr036_sign_bytes(signer, bytes_of(message));
        EXPECT_EQ(sign_bytes, v["sign_bytes"]);
        EXPECT_EQ(hex(oxa_signer::sha256(bytes_of(sign_bytes))), v["sign_bytes_sha256"]);
        if (v["private_key"].is_string()) {
            // Reproduced byte for byte: RFC 6979 over the document's SHA-256.
            const auto key = unhex(v["private_key"].get<std::string>());
            const auto signature = oxa_signer::secp256k1_sign_hash(
                key, oxa_signer::sha256(bytes_of(sign_bytes)), "hash");
            EXPECT_EQ(oxa_signer::base64_encode(std::span(signature.value().signature).first(64)),
                      v["signature_base64"]);
        }
    }
}

TEST(Adr036, PublishedSignatureVerifiesWrongOneNot) {
    const auto& v = ADR036["vectors"][0];
    const auto message = bytes_of(v["message"].get<std::string>());
    const auto signer = v["signer"].get<std::string>();
    EXPECT_TRUE(oxa_signer::adr036_verify(message, v["signature_base64"].get<std::string>(), signer)
                    .value());
    const auto wrong = unhex(v["wrong_signature_rsv_hex"].get<std::string>());
    EXPECT_FALSE(oxa_signer::adr036_verify(
                     message, oxa_signer::base64_encode(std::span(wrong).first(64)), signer)
                     .value());
}

TEST(Adr036, OwnSignaturesVerifyOnlyForTheirDataKeyAndLowS) {
    for (int round = 0; round < 8; ++round) {
        const auto key = oxa_test::random_bytes(32);
        const auto data = oxa_test::random_bytes(1 + round * 13);
        const auto public_key = oxa_signer::secp256k1_compressed_public_key(key);
        if (!public_key) continue;
        const auto address =
            oxa_signer::cosmos_address("cosmos", oxa_signer::hash160(public_key.value()));
        const auto signature = oxa_signer::adr036_sign(key, data).value();
        const auto compact = oxa_signer::base64_decode(signature).value();
        ASSERT_EQ(compact.size(), 64u);
        ASSERT_TRUE(oxa_test::has_low_s(compact));
        // Checked apart from our code: the document's hash recovers the key.
        const auto digest =
            oxa_signer::sha256(bytes_of(oxa_signer::adr036_sign_bytes(address.value(), data)));
        const auto expected = oxa_test::uncompressed_point(public_key.value());
        EXPECT_TRUE(oxa_test::recover_public_key(digest, compact, 0) == expected ||
                    oxa_test::recover_public_key(digest, compact, 1) == expected);
        EXPECT_TRUE(oxa_signer::adr036_verify(data, signature, address.value()).value());
        EXPECT_TRUE(oxa_signer::adr036_verify(data, signature, upper(address.value())).value());
        auto other = data;
        other[0] ^= 1;
        EXPECT_FALSE(oxa_signer::adr036_verify(other, signature, address.value()).value());
    }
}

TEST(Adr036, RefusalsNameWhatIsWrong) {
    const auto& v = ADR036["vectors"][0];
    const auto message = bytes_of(v["message"].get<std::string>());
    const auto signer = v["signer"].get<std::string>();
    const auto rsv = oxa_signer::base64_encode(unhex(v["signature_rsv_hex"].get<std::string>()));
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"*", signer, "invalid signature: not Base64"},
        {rsv, signer, "invalid signature: expected 64 bytes (r || s), got 65"},
        {v["signature_base64"].get<std::string>(), "cosmos1",
         "invalid address: checksum shorter than 6 characters"},
    };
    for (const auto& [signature, address, error] : cases) {
        const auto result = oxa_signer::adr036_verify(message, signature, address);
        ASSERT_FALSE(result.ok()) << error;
        EXPECT_EQ(result.error(), error);
    }
}

// Solana off-chain messages ----------------------------------------------------------

TEST(SolanaOffchain, SdkVectorsSerializeByteForByte) {
    for (const auto& v : OFFCHAIN["sdk_vectors"]) {
        EXPECT_EQ(hex(oxa_signer::solana_offchain_message(bytes_of(v["message"].get<std::string>()))
                          .value()),
                  v["serialized_hex"]);
    }
}

std::string repeated(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(SolanaOffchain, FormatFollowsCharactersAndLength) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"Hello", 0},
        {repeated("a", 1212), 0},
        {repeated("a", 1213), 2},
        {"two\nlines", 1},
        {repeated("\xc3\xa9", 606), 1},  // 1212 bytes of é
        {repeated("\xc3\xa9", 607), 2},
        {repeated("a", 65515), 2},
    };
    for (const auto& [message, format] : cases) {
        const auto serialized = oxa_signer::solana_offchain_message(bytes_of(message)).value();
        ASSERT_EQ(serialized.size(), 20 + message.size());
        EXPECT_EQ(serialized[17], format) << message.size();
        EXPECT_EQ(serialized[18] | serialized[19] << 8, static_cast<int>(message.size()));
    }
}

TEST(SolanaOffchain, RefusesEmptyNonUtf8AndTooLong) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "the message is empty"},
        {"\xff", "the message is not UTF-8 (invalid utf-8 sequence of 1 bytes from index 0)"},
        {repeated("a", 2000) + "\xc3",
         "the message is not UTF-8 (incomplete utf-8 byte sequence "
         "from index 2000)"},
        {repeated("a", 65516), "the message is 65516 bytes, the limit is 65515"},
    };
    for (const auto& [message, error] : cases) {
        const auto result = oxa_signer::solana_offchain_message(bytes_of(message));
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error(), error);
    }
}

// By name --------------------------------------------------------------------------

TEST(MessageStandard, EachNameBelongsToOneFamily) {
    const std::vector<std::tuple<const char*, ChainType, MessageStandard>> known = {
        {"bip322-simple", ChainType::Bitcoin, MessageStandard::Bip322Simple},
        {"adr036", ChainType::Cosmos, MessageStandard::Adr036},
        {"solana-offchain", ChainType::Solana, MessageStandard::SolanaOffchain},
    };
    for (const auto& [name, family, standard] : known) {
        EXPECT_EQ(oxa_signer::message_standard_for(name, family).value(), standard);
    }
    EXPECT_EQ(oxa_signer::message_standard_for("adr036", ChainType::Evm).error(),
              "message standard 'adr036' is for cosmos, not evm");
    EXPECT_EQ(oxa_signer::message_standard_for("BIP322-simple", ChainType::Bitcoin).error(),
              "unknown message standard: 'BIP322-simple' (use 'bip322-simple', 'adr036' or "
              "'solana-offchain')");
}

TEST(MessageStandard, EachStandardSignsAndChecks) {
    const auto key = unhex(std::string(64, '3'));
    const auto public_key = oxa_signer::secp256k1_compressed_public_key(key).value();
    const auto ed_public = oxa_signer::ed25519_public_key(key).value();
    const std::vector<std::tuple<MessageStandard, ChainType, std::string>> cases = {
        {MessageStandard::Bip322Simple, ChainType::Bitcoin,
         oxa_signer::signer_for_chain(ChainType::Bitcoin)->derive_address(key).value()},
        {MessageStandard::Adr036, ChainType::Cosmos,
         oxa_signer::cosmos_address("cosmos", oxa_signer::hash160(public_key)).value()},
        {MessageStandard::SolanaOffchain, ChainType::Solana,
         oxa_signer::signer_for_chain(ChainType::Solana)->derive_address(key).value()},
    };
    for (const auto& [standard, family, address] : cases) {
        const auto message = StandardMessage::prepare(standard, bytes_of("sign in")).value();
        const auto signature = message.sign(key).value();
        EXPECT_TRUE(message.verify(signature, address).value()) << address;
        const auto other = StandardMessage::prepare(standard, bytes_of("sign out")).value();
        EXPECT_FALSE(other.verify(signature, address).value()) << address;
    }
    // The off-chain signature is plain Ed25519 over the whole serialized message.
    const auto solana = StandardMessage::prepare(MessageStandard::SolanaOffchain, bytes_of("gm"));
    const auto signature = unhex(solana.value().sign(key).value());
    EXPECT_TRUE(oxa_test::ed25519_verifies(
        ed_public, oxa_signer::solana_offchain_message(bytes_of("gm")).value(), signature));
}

TEST(MessageStandard, PreparingNamesTheStandardThatRefuses) {
    EXPECT_EQ(StandardMessage::prepare(MessageStandard::Adr036, {}).error(),
              "adr036: the message is empty");
    EXPECT_EQ(StandardMessage::prepare(MessageStandard::SolanaOffchain, bytes_of("\xff")).error(),
              "solana-offchain: the message is not UTF-8 (invalid utf-8 sequence of 1 bytes from "
              "index 0)");
    EXPECT_TRUE(StandardMessage::prepare(MessageStandard::Bip322Simple, {}).ok());
}

}  // namespace
