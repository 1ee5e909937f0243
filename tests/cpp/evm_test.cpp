#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "oxa_signer/chains/evm.hpp"
#include "oxa_signer/keccak.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

using nlohmann::json;
using oxa_signer::EvmSigner;
using oxa_signer::SignOutput;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::unhex;

const EvmSigner SIGNER;

// A hex field of a vector, with or without its "0x".
std::vector<std::uint8_t> field_bytes(const json& v, const char* key) {
    const auto text = v[key].get<std::string>();
    return unhex(text.rfind("0x", 0) == 0 ? text.substr(2) : text);
}

std::vector<json> vectors(const char* file, const char* key) {
    const json all = oxa_test::load_vectors(file);
    return all[key].get<std::vector<json>>();
}

// Computed here from a recovered point, so signature checks do not lean on
// the signer's own address code: last 20 bytes of Keccak-256(x || y), EIP-55.
std::string address_of_point(const std::vector<std::uint8_t>& uncompressed) {
    if (uncompressed.size() != 65) return "";
    const auto digest = oxa_signer::keccak256(std::span(uncompressed).subspan(1));
    return "0x" + oxa_signer::eip55_checksum(hex(std::span(digest).last(20)));
}

class Eip55 : public testing::TestWithParam<json> {};

TEST_P(Eip55, ChecksumReproducesThePublishedCase) {
    const std::string lower = GetParam()["lowercase"].get<std::string>().substr(2);
    EXPECT_EQ("0x" + oxa_signer::eip55_checksum(lower), GetParam()["checksummed"]);
}

// Each case form reads as the same 20 bytes; a mixed-case form with one letter
// flipped is a typo the checksum catches.
TEST_P(Eip55, ParseTakesEachCaseCatchesAFlip) {
    const std::string lower = GetParam()["lowercase"];
    const std::string checksummed = GetParam()["checksummed"];
    std::string upper = lower;
    for (std::size_t i = 2; i < upper.size(); ++i) {
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
    }
    for (const std::string& form : {lower, upper, checksummed}) {
        const auto parsed = oxa_signer::parse_evm_address(form);
        ASSERT_TRUE(parsed) << form << ": " << parsed.error();
        EXPECT_EQ("0x" + hex(parsed.value()), lower);
    }
    for (std::size_t i = 2; i < checksummed.size(); ++i) {
        std::string flipped = checksummed;
        const auto c = static_cast<unsigned char>(flipped[i]);
        if (!std::isalpha(c)) continue;
        flipped[i] = static_cast<char>(std::islower(c) ? std::toupper(c) : std::tolower(c));
        if (flipped == lower || flipped == upper) continue;
        const auto parsed = oxa_signer::parse_evm_address(flipped);
        ASSERT_FALSE(parsed) << flipped;
        EXPECT_EQ(parsed.error(), "EIP-55 checksum mismatch");
    }
}

INSTANTIATE_TEST_SUITE_P(Published, Eip55, testing::ValuesIn(vectors("eip55.json", "vectors")),
                         oxa_test::by_index);

TEST(EvmAddressParsing, RefusesAnythingButOxAnd40HexDigits) {
    const std::string digits = "52908400098527886e0f7030069857d2e4169ee7";
    for (const std::string& text :
         {std::string(), std::string("0x"), digits, "0X" + digits, "0x" + digits.substr(1),
          "0x" + digits + "0", "0x" + digits.substr(0, 39) + "g", " 0x" + digits.substr(1),
          "0x" + digits.substr(0, 20) + " " + digits.substr(21)}) {
        const auto parsed = oxa_signer::parse_evm_address(text);
        ASSERT_FALSE(parsed) << text;
        EXPECT_EQ(parsed.error(), "expected 0x and 40 hex digits");
    }
}

struct KeyAddress {
    std::string private_key;
    std::string address;
};

void PrintTo(const KeyAddress& c, std::ostream* os) { *os << c.address; }

std::vector<KeyAddress> key_address_cases() {
    const auto eip55 = vectors("eip55.json", "private_key_to_address")[0];
    const auto abandon = vectors("addresses-abandon.json", "accounts")[0];
    const auto tx = vectors("eip1559.json", "eip1559")[0];
    const auto personal = vectors("eip1559.json", "eip191_personal_sign")[0];
    return {{eip55["private_key"], eip55["address_checksummed"]},
            {abandon["private_key"], abandon["address"]},
            {tx["private_key"], tx["sender_address"]},
            {personal["private_key"], personal["address"]}};
}

class EvmAddress : public testing::TestWithParam<KeyAddress> {};

TEST_P(EvmAddress, FromPrivateKeyIsChecksummed) {
    const auto address = SIGNER.derive_address(unhex(GetParam().private_key));
    ASSERT_TRUE(address) << address.error().display();
    EXPECT_EQ(address.value(), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(Published, EvmAddress, testing::ValuesIn(key_address_cases()),
                         oxa_test::by_index);

class EvmShortKey : public testing::TestWithParam<std::size_t> {};

TEST_P(EvmShortKey, IsTheSameNumberLeftPadded) {
    auto padded = oxa_test::random_bytes(32);
    const auto dropped = static_cast<std::ptrdiff_t>(32 - GetParam());
    std::fill(padded.begin(), padded.begin() + dropped, 0);
    const std::vector<std::uint8_t> key(padded.begin() + dropped, padded.end());
    const std::vector<std::uint8_t> hash(32, 7);
    EXPECT_EQ(SIGNER.derive_address(key).value(), SIGNER.derive_address(padded).value());
    EXPECT_EQ(SIGNER.sign(key, hash).value().signature,
              SIGNER.sign(padded, hash).value().signature);
}

INSTANTIATE_TEST_SUITE_P(Lengths, EvmShortKey, testing::Values(24, 31),
                         [](const auto& info) { return std::to_string(info.param); });

TEST(EvmKey, OrderMinusOneIsTheLargestAcceptedKey) {
    auto key = oxa_test::secp256k1_order();
    key.back() -= 1;
    EXPECT_TRUE(SIGNER.derive_address(key));
}

class Eip1559 : public testing::TestWithParam<json> {};

TEST_P(Eip1559, MatchesAndRecoversToTheSender) {
    const auto& v = GetParam();
    const auto out =
        SIGNER.sign_transaction(field_bytes(v, "private_key"), field_bytes(v, "unsigned_payload"));
    ASSERT_TRUE(out) << out.error().display();
    const auto& sig = out.value().signature;
    ASSERT_EQ(sig.size(), 65u);
    EXPECT_EQ("0x" + hex(std::span(sig).first(32)), v["signature"]["r"]);
    EXPECT_EQ("0x" + hex(std::span(sig).subspan(32, 32)), v["signature"]["s"]);
    EXPECT_EQ(sig[64], v["signature"]["y_parity"].get<int>());
    EXPECT_EQ(out.value().recovery_id, sig[64]);
    const auto signer = oxa_test::recover_public_key(field_bytes(v, "signing_hash"), sig, sig[64]);
    EXPECT_EQ(address_of_point(signer), v["sender_address"]);
}

TEST_P(Eip1559, SendFlowGivesTheBroadcastBytes) {
    const auto& v = GetParam();
    const auto payload = field_bytes(v, "unsigned_payload");
    const auto signable = SIGNER.extract_signable_bytes(payload);
    ASSERT_TRUE(signable);
    const auto out = SIGNER.sign_transaction(field_bytes(v, "private_key"), signable.value());
    ASSERT_TRUE(out);
    const auto raw = SIGNER.encode_signed_transaction(payload, out.value());
    ASSERT_TRUE(raw) << raw.error().display();
    EXPECT_EQ("0x" + hex(raw.value()), v["signed_raw_transaction"]);
    EXPECT_EQ("0x" + hex(oxa_signer::keccak256(raw.value())), v["transaction_hash"]);
}

INSTANTIATE_TEST_SUITE_P(EthAccount, Eip1559, testing::ValuesIn(vectors("eip1559.json", "eip1559")),
                         oxa_test::by_index);

TEST(EvmEncodeSigned, RefusesA64ByteSignature) {
    const SignOutput out{std::vector<std::uint8_t>(64, 1), 1};
    EXPECT_EQ(SIGNER.encode_signed_transaction(unhex("02c0"), out).error().display(),
              "invalid transaction: expected 65-byte signature (r || s || v)");
}

TEST(EvmEncodeSigned, EncoderErrorIsAnInvalidTransaction) {
    const auto legacy = field_bytes(vectors("eip1559.json", "eip155_legacy")[0], "signing_data");
    const SignOutput out{std::vector<std::uint8_t>(65, 1), 1};
    EXPECT_EQ(SIGNER.encode_signed_transaction(legacy, out).error().display(),
              "invalid transaction: unsupported transaction type (expected 0x01 or 0x02)");
}

class Eip191 : public testing::TestWithParam<json> {};

TEST_P(Eip191, SignatureMatchesWithVOf27Or28) {
    const auto& v = GetParam();
    const auto message = v["message_utf8"].get<std::string>();
    const auto out = SIGNER.sign_message(field_bytes(v, "private_key"), bytes_of(message));
    ASSERT_TRUE(out);
    const auto& sig = out.value().signature;
    EXPECT_EQ("0x" + hex(sig), v["signature"]);
    EXPECT_EQ(out.value().recovery_id, sig[64]);
    const auto signer =
        oxa_test::recover_public_key(field_bytes(v, "message_hash"), sig, sig[64] - 27);
    EXPECT_EQ(address_of_point(signer), v["address"]);
}

INSTANTIATE_TEST_SUITE_P(EthAccount, Eip191,
                         testing::ValuesIn(vectors("eip1559.json", "eip191_personal_sign")),
                         oxa_test::by_index);

TEST(EvmSignMessage, EmptyMessageSignsPrefixWithLength0) {
    const auto key = oxa_test::random_bytes(32);
    const auto digest =
        oxa_signer::keccak256(bytes_of("\x19"
                                       "Ethereum Signed Message:\n0"));
    const auto message = SIGNER.sign_message(key, {});
    ASSERT_TRUE(message);
    auto expected = SIGNER.sign(key, digest).value().signature;
    expected[64] += 27;
    EXPECT_EQ(message.value().signature, expected);
    EXPECT_EQ(message.value().recovery_id, expected[64]);
}

TEST(EvmSignTransaction, SignsTheKeccakWithParity0Or1) {
    const auto key = oxa_test::random_bytes(32);
    const auto tx = oxa_test::random_bytes(100);
    const auto out = SIGNER.sign_transaction(key, tx);
    ASSERT_TRUE(out);
    EXPECT_EQ(out.value().signature, SIGNER.sign(key, oxa_signer::keccak256(tx)).value().signature);
    EXPECT_LE(out.value().signature[64], 1);
}

}  // namespace
