#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <string>

#include "oxa_signer/chains/bitcoin.hpp"
#include "oxa_signer/secp256k1_signing.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

const std::vector<std::uint8_t> KEY_ONE =
    oxa_test::unhex("0000000000000000000000000000000000000000000000000000000000000001");

using oxa_signer::BitcoinSigner;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::unhex;

const BitcoinSigner SIGNER("bc");

// SHA-256(SHA-256(x)) straight from OpenSSL, independent of the signer's hashing.
std::vector<std::uint8_t> double_sha256(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> once(SHA256_DIGEST_LENGTH), twice(SHA256_DIGEST_LENGTH);
    SHA256(data.data(), data.size(), once.data());
    SHA256(once.data(), once.size(), twice.data());
    return twice;
}

std::vector<std::uint8_t> message_preimage(const std::string& length_prefix_hex,
                                           const std::vector<std::uint8_t>& message) {
    auto preimage = unhex("18" + hex(bytes_of("Bitcoin Signed Message:\n")) + length_prefix_hex);
    preimage.insert(preimage.end(), message.begin(), message.end());
    return preimage;
}

// Signed messages ----------------------------------------------------------------

class BitcoinSignedMessage : public testing::TestWithParam<nlohmann::json> {};

TEST_P(BitcoinSignedMessage, HashMatches) {
    const auto& v = GetParam();
    const auto message = v["message"].get<std::string>();
    EXPECT_EQ(hex(oxa_signer::bitcoin_message_hash(bytes_of(message))), v["message_hash"]);
}

INSTANTIATE_TEST_SUITE_P(
    BitcoinCore, BitcoinSignedMessage,
    testing::ValuesIn(oxa_test::load_vectors("bitcoin-signmessage.json")["vectors"]
                          .get<std::vector<nlohmann::json>>()),
    oxa_test::by_index);

TEST(BitcoinSignMessage, MatchesBitcoinCoreMinusHeaderByte) {
    const auto v = oxa_test::load_vectors("bitcoin-signmessage.json")["vectors"][0];
    const auto message = v["message"].get<std::string>();
    const auto key = unhex(v["private_key"].get<std::string>());
    const auto out = SIGNER.sign_message(key, bytes_of(message));
    ASSERT_TRUE(out) << out.error().display();
    const auto& sig = out.value().signature;
    ASSERT_EQ(sig.size(), 65u);
    EXPECT_EQ(hex(std::span(sig).first(32)), v["r"]);
    EXPECT_EQ(hex(std::span(sig).subspan(32, 32)), v["s"]);
    EXPECT_EQ(sig[64], v["recovery_id"].get<int>());
    EXPECT_EQ(out.value().recovery_id, sig[64]);
    EXPECT_EQ(
        oxa_test::recover_public_key(unhex(v["message_hash"].get<std::string>()), sig, sig[64]),
        oxa_test::uncompressed_point(unhex(v["public_key"].get<std::string>())));
}

TEST(BitcoinMessageHash, EmptyMessageIsPrefixAndZeroLength) {
    EXPECT_EQ(hex(oxa_signer::bitcoin_message_hash({})),
              hex(double_sha256(message_preimage("00", {}))));
}

TEST(BitcoinMessageHash, MessageOf253BytesHas3ByteLength) {
    const auto message = oxa_test::random_bytes(253);
    EXPECT_EQ(hex(oxa_signer::bitcoin_message_hash(message)),
              hex(double_sha256(message_preimage("fdfd00", message))));
}

struct CompactSizeCase {
    std::uint64_t n;
    const char* encoded;
};

class CompactSize : public testing::TestWithParam<CompactSizeCase> {};

TEST_P(CompactSize, IsShortestLittleEndian) {
    EXPECT_EQ(hex(oxa_signer::compact_size(GetParam().n)), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(Bounds, CompactSize,
                         testing::Values(CompactSizeCase{0, "00"}, CompactSizeCase{252, "fc"},
                                         CompactSizeCase{253, "fdfd00"},
                                         CompactSizeCase{0xFFFF, "fdffff"},
                                         CompactSizeCase{0x10000, "fe00000100"},
                                         CompactSizeCase{0xFFFFFFFF, "feffffffff"},
                                         CompactSizeCase{0x100000000, "ff0000000001000000"}),
                         [](const auto& info) { return std::to_string(info.param.n); });

// Addresses -----------------------------------------------------------------------

TEST(BitcoinAddress, MatchesBip84) {
    const auto v = oxa_test::load_vectors("addresses-abandon.json")["accounts"][4];
    const auto address = SIGNER.derive_address(unhex(v["private_key"].get<std::string>()));
    ASSERT_TRUE(address) << address.error().display();
    EXPECT_EQ(address.value(), v["address"]);
}

TEST(BitcoinAddress, DistinctKeysGiveDistinctLowercaseBc1q) {
    std::vector<std::string> seen;
    for (int i = 0; i < 8; ++i) {
        const auto address = SIGNER.derive_address(oxa_test::random_bytes(32));
        ASSERT_TRUE(address);
        const auto& text = address.value();
        EXPECT_EQ(text.size(), 42u);
        EXPECT_EQ(text.rfind("bc1q", 0), 0u);
        EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char c) {
            return std::isupper(static_cast<unsigned char>(c));
        }));
        EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0);
        seen.push_back(text);
    }
}

TEST(BitcoinAddress, InvalidHrpIsAnAddressDerivationError) {
    const BitcoinSigner signer("");
    const auto address = signer.derive_address(KEY_ONE);
    ASSERT_FALSE(address);
    EXPECT_EQ(address.error().kind, oxa_signer::SignerError::Kind::AddressDerivation);
    EXPECT_FALSE(address.error().text.empty());
    EXPECT_EQ(address.error().display().rfind("address derivation failed: ", 0), 0u);
}

TEST(BitcoinSignTransaction, SignsTheDoubleSha256OfTheBytes) {
    const auto key = oxa_test::random_bytes(32);
    const auto tx = oxa_test::random_bytes(150);
    const auto out = SIGNER.sign_transaction(key, tx);
    ASSERT_TRUE(out);
    EXPECT_EQ(out.value().signature, SIGNER.sign(key, double_sha256(tx)).value().signature);
}

}  // namespace
