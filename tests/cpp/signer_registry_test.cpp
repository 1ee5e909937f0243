#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "oxa_signer/chains/bitcoin.hpp"
#include "oxa_signer/chains/cosmos.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/traits.hpp"
#include "test_support.hpp"

namespace {

using oxa_core::ChainType;
using oxa_signer::Curve;
using oxa_signer::SignerError;
using oxa_signer::signer_for_chain;
using oxa_test::unhex;

struct Row {
    Curve curve;
    std::uint32_t coin_type;
    std::string path_0;
    std::string path_7;
    std::string path_max;
    bool assembles_transactions;  // supplies encode_signed_transaction
    bool cuts_signable_bytes;     // supplies extract_signable_bytes
};

// One row per family; a new ChainType fails to compile here until it has one.
Row row(ChainType type) {
    switch (type) {
        case ChainType::Evm:
            return {Curve::Secp256k1, 60, "m/44'/60'/0'/0/0", "m/44'/60'/0'/0/7",
                    "m/44'/60'/0'/0/4294967295", true, false};
        case ChainType::Solana:
            return {Curve::Ed25519, 501, "m/44'/501'/0'/0'", "m/44'/501'/7'/0'",
                    "m/44'/501'/4294967295'/0'", true, true};
        case ChainType::Cosmos:
            return {Curve::Secp256k1, 118, "m/44'/118'/0'/0/0", "m/44'/118'/0'/0/7",
                    "m/44'/118'/0'/0/4294967295", false, false};
        case ChainType::Bitcoin:
            return {Curve::Secp256k1, 0, "m/84'/0'/0'/0/0", "m/84'/0'/0'/0/7",
                    "m/84'/0'/0'/0/4294967295", false, false};
        case ChainType::Tron:
            return {Curve::Secp256k1, 195, "m/44'/195'/0'/0/0", "m/44'/195'/0'/0/7",
                    "m/44'/195'/0'/0/4294967295", false, false};
        case ChainType::Ton:
            return {Curve::Ed25519, 607, "m/44'/607'/0'", "m/44'/607'/7'", "m/44'/607'/4294967295'",
                    false, false};
    }
    throw std::logic_error("unknown chain type");
}

// The address that the "abandon ... about" wallet has at index 0 of the family.
std::string abandon_address(ChainType type) {
    const auto v = oxa_test::load_vectors("addresses-abandon.json");
    switch (type) {
        case ChainType::Evm: return v["accounts"][0]["address"];
        case ChainType::Solana: return v["accounts"][1]["address"];
        case ChainType::Cosmos: return v["accounts"][2]["address"];
        case ChainType::Bitcoin: return v["accounts"][4]["address"];
        case ChainType::Tron: return v["accounts"][3]["address"];
        case ChainType::Ton: return v["ton_wallet_v5r1"]["abandon_computed"]["address_non_bounceable"];
    }
    throw std::logic_error("unknown chain type");
}

class SignerRegistry : public testing::TestWithParam<ChainType> {};

TEST_P(SignerRegistry, BuildsTheFamilysSignerWithItsConstants) {
    const auto signer = signer_for_chain(GetParam());
    const Row expected = row(GetParam());
    ASSERT_NE(signer, nullptr);
    EXPECT_EQ(signer->chain_type(), GetParam());
    EXPECT_EQ(signer->curve(), expected.curve);
    EXPECT_EQ(signer->coin_type(), expected.coin_type);
    EXPECT_EQ(signer->default_derivation_path(0), expected.path_0);
    EXPECT_EQ(signer->default_derivation_path(7), expected.path_7);
    EXPECT_EQ(signer->default_derivation_path(4294967295u), expected.path_max);
}

TEST_P(SignerRegistry, EveryCallBuildsAFreshSigner) {
    const auto first = signer_for_chain(GetParam());
    const auto second = signer_for_chain(GetParam());
    EXPECT_NE(first.get(), second.get());
}

TEST_P(SignerRegistry, DerivesTheAbandonWalletsAddressAlongItsDefaultPath) {
    const auto signer = signer_for_chain(GetParam());
    const auto seed = unhex(oxa_test::load_vectors("addresses-abandon.json")["seed"].get<std::string>());
    const auto key = oxa_signer::HdDeriver::derive(seed, signer->default_derivation_path(0), signer->curve());
    ASSERT_TRUE(key) << key.error().display();
    const auto address = signer->derive_address(key.value().bytes());
    ASSERT_TRUE(address) << address.error().display();
    EXPECT_EQ(address.value(), abandon_address(GetParam()));
}

TEST_P(SignerRegistry, SignatureShapeFollowsTheCurve) {
    const auto signer = signer_for_chain(GetParam());
    const auto key = oxa_test::random_bytes(32);
    const auto out = signer->sign(key, oxa_test::random_bytes(32));
    ASSERT_TRUE(out) << out.error().display();
    const auto& sig = out.value().signature;
    switch (signer->curve()) {
        case Curve::Secp256k1:
            ASSERT_EQ(sig.size(), 65u);
            ASSERT_TRUE(out.value().recovery_id.has_value());
            EXPECT_EQ(*out.value().recovery_id, sig[64]);
            break;
        case Curve::Ed25519:
            EXPECT_EQ(sig.size(), 64u);
            EXPECT_FALSE(out.value().recovery_id.has_value());
            break;
    }
}

TEST_P(SignerRegistry, DefaultExtractReturnsTheInputItself) {
    if (row(GetParam()).cuts_signable_bytes) GTEST_SKIP() << "the family cuts its own signable bytes";
    const auto signer = signer_for_chain(GetParam());
    for (const auto& tx : {std::vector<std::uint8_t>{}, oxa_test::random_bytes(70)}) {
        const auto view = signer->extract_signable_bytes(tx);
        ASSERT_TRUE(view);
        EXPECT_EQ(view.value().data(), tx.data());
        EXPECT_EQ(view.value().size(), tx.size());
    }
}

TEST_P(SignerRegistry, DefaultEncodeRefusesAnyInputNamingTheFamily) {
    if (row(GetParam()).assembles_transactions) GTEST_SKIP() << "the family assembles transactions";
    const auto signer = signer_for_chain(GetParam());
    const std::string expected = "invalid transaction: encode_signed_transaction not implemented for " +
                                 std::string(oxa_core::chain_type_name(GetParam()));
    const oxa_signer::SignOutput real = signer->sign_transaction(oxa_test::random_bytes(32), unhex("02c0")).value();
    const oxa_signer::SignOutput empty{};
    for (const auto& tx : {std::vector<std::uint8_t>{}, unhex("02c0"), oxa_test::random_bytes(100)}) {
        for (const auto* out : {&real, &empty}) {
            const auto result = signer->encode_signed_transaction(tx, *out);
            ASSERT_FALSE(result);
            EXPECT_EQ(result.error().kind, SignerError::Kind::InvalidTransaction);
            EXPECT_EQ(result.error().display(), expected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, SignerRegistry, testing::ValuesIn(oxa_core::ALL_CHAIN_TYPES),
                         [](const auto& info) {
                             return std::string(oxa_core::chain_type_name(info.param));
                         });

TEST(SignerRegistry, BitcoinAndCosmosCarryTheirMainnetHrp) {
    const auto bitcoin = signer_for_chain(ChainType::Bitcoin);
    const auto cosmos = signer_for_chain(ChainType::Cosmos);
    ASSERT_NE(dynamic_cast<const oxa_signer::BitcoinSigner*>(bitcoin.get()), nullptr);
    ASSERT_NE(dynamic_cast<const oxa_signer::CosmosSigner*>(cosmos.get()), nullptr);
    EXPECT_EQ(dynamic_cast<const oxa_signer::BitcoinSigner&>(*bitcoin).hrp(), "bc");
    EXPECT_EQ(dynamic_cast<const oxa_signer::CosmosSigner&>(*cosmos).hrp(), "cosmos");
}

TEST(SignerRegistry, EvmIndexesOneToFourOfTheAbandonWallet) {
    const auto v = oxa_test::load_vectors("addresses-abandon.json");
    const auto seed = unhex(v["seed"].get<std::string>());
    const auto signer = signer_for_chain(ChainType::Evm);
    std::uint32_t index = 1;
    for (const auto& more : v["accounts"][0]["more_indexes"]) {
        ASSERT_EQ(signer->default_derivation_path(index), more["path"]);
        const auto key = oxa_signer::HdDeriver::derive(seed, more["path"].get<std::string>(), Curve::Secp256k1);
        ASSERT_TRUE(key);
        EXPECT_EQ(signer->derive_address(key.value().bytes()).value(), more["address"]);
        ++index;
    }
}

struct DisplayCase {
    SignerError::Kind kind;
    const char* shown;
};

class SignerErrorDisplay : public testing::TestWithParam<DisplayCase> {};

TEST_P(SignerErrorDisplay, PrefixesTheCarriedText) {
    EXPECT_EQ((SignerError{GetParam().kind, "x y"}.display()), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SignerErrorDisplay,
    testing::Values(DisplayCase{SignerError::Kind::InvalidPrivateKey, "invalid private key: x y"},
                    DisplayCase{SignerError::Kind::InvalidMessage, "invalid message: x y"},
                    DisplayCase{SignerError::Kind::SigningFailed, "signing failed: x y"},
                    DisplayCase{SignerError::Kind::AddressDerivation, "address derivation failed: x y"},
                    DisplayCase{SignerError::Kind::InvalidTransaction, "invalid transaction: x y"}));

}  // namespace
