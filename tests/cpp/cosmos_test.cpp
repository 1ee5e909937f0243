#include <gtest/gtest.h>

#include <string>

#include "oxa_signer/chains/cosmos.hpp"
#include "oxa_signer/encoding/bech32.hpp"
#include "oxa_signer/secp256k1_signing.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

const std::vector<std::uint8_t> KEY_ONE =
    oxa_test::unhex("0000000000000000000000000000000000000000000000000000000000000001");

using oxa_signer::CosmosSigner;
using oxa_test::hex;
using oxa_test::unhex;

const CosmosSigner SIGNER("cosmos");

// SHA-256 of the empty string (FIPS 180-2).
constexpr const char* EMPTY_SHA256 =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(CosmosAddress, MatchesTheAbandonWallet) {
    const auto v = oxa_test::load_vectors("addresses-abandon.json")["accounts"][2];
    const auto address = SIGNER.derive_address(unhex(v["private_key"].get<std::string>()));
    ASSERT_TRUE(address) << address.error().display();
    EXPECT_EQ(address.value(), v["address"]);
}

TEST(CosmosAddress, PayloadIsTheHash160OfTheCompressedKey) {
    const auto v = oxa_test::load_vectors("addresses-abandon.json")["accounts"][2];
    const auto address = SIGNER.derive_address(unhex(v["private_key"].get<std::string>()));
    ASSERT_TRUE(address);
    const auto decoded = oxa_signer::bech32_decode(address.value());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded.value().hrp, "cosmos");
    EXPECT_EQ(decoded.value().variant, oxa_signer::Bech32Variant::Bech32);
    const auto payload = oxa_signer::convert_bits(decoded.value().data5, 5, 8, false);
    ASSERT_TRUE(payload);
    EXPECT_EQ(hex(payload.value()), v["hash160"]);
}

TEST(CosmosAddress, Is45CharactersStartingWithCosmos1) {
    for (int i = 0; i < 8; ++i) {
        const auto key = oxa_test::random_bytes(32);
        const auto address = SIGNER.derive_address(key);
        ASSERT_TRUE(address);
        EXPECT_EQ(address.value().size(), 45u);
        EXPECT_EQ(address.value().rfind("cosmos1", 0), 0u);
        EXPECT_EQ(SIGNER.derive_address(key).value(), address.value());
    }
}

TEST(CosmosAddress, InvalidHrpIsAnAddressDerivationError) {
    const CosmosSigner signer("");
    const auto address = signer.derive_address(KEY_ONE);
    ASSERT_FALSE(address);
    EXPECT_EQ(address.error().kind, oxa_signer::SignerError::Kind::AddressDerivation);
    EXPECT_FALSE(address.error().text.empty());
}

TEST(CosmosAddress, HrpOverTheLengthLimitIsRefused) {
    const CosmosSigner signer(std::string(990, 'a'));
    const auto address = signer.derive_address(KEY_ONE);
    ASSERT_FALSE(address);
    EXPECT_EQ(address.error().kind, oxa_signer::SignerError::Kind::AddressDerivation);
}

TEST(CosmosSign, MessageAndTxSignTheSha256OfTheBytes) {
    const auto key = oxa_test::random_bytes(32);
    const auto bytes = oxa_test::random_bytes(77);
    const auto message = SIGNER.sign_message(key, bytes);
    const auto transaction = SIGNER.sign_transaction(key, bytes);
    ASSERT_TRUE(message);
    ASSERT_TRUE(transaction);
    EXPECT_EQ(message.value().signature, transaction.value().signature);
    EXPECT_EQ(SIGNER.sign_message(key, bytes).value().signature, message.value().signature);
}

TEST(CosmosSign, EmptyMessageSignsEmptySha256AndRecovers) {
    const auto key = oxa_test::random_bytes(32);
    const auto out = SIGNER.sign_message(key, {});
    ASSERT_TRUE(out);
    const auto& sig = out.value().signature;
    ASSERT_EQ(sig.size(), 65u);
    EXPECT_EQ(out.value().recovery_id, sig[64]);
    EXPECT_TRUE(oxa_test::has_low_s(sig));
    EXPECT_EQ(sig, SIGNER.sign(key, unhex(EMPTY_SHA256)).value().signature);
    EXPECT_EQ(
        oxa_test::recover_public_key(unhex(EMPTY_SHA256), sig, sig[64]),
        oxa_test::uncompressed_point(oxa_signer::secp256k1_compressed_public_key(key).value()));
}

}  // namespace
