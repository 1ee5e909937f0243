#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "oxa_signer/chains/bitcoin.hpp"
#include "oxa_signer/chains/cosmos.hpp"
#include "oxa_signer/ed25519_signing.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/secp256k1_signing.hpp"
#include "oxa_signer/traits.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

using oxa_core::ChainType;
using oxa_signer::Curve;
using oxa_signer::signer_for_chain;
using oxa_signer::SignerError;
using oxa_test::unhex;

struct Row {
    Curve curve;
    std::uint32_t coin_type;
    std::string path_0;
    std::string path_7;
    std::string path_max;
    const char* hash_noun;  // in the hash-length error of secp256k1 families
    bool assembles_transactions;  // supplies encode_signed_transaction
    bool cuts_signable_bytes;  // supplies extract_signable_bytes
};

// One row per family; a new ChainType fails to compile here until it has one.
Row row(ChainType type) {
    switch (type) {
        case ChainType::Evm:
            return {Curve::Secp256k1,
                    60,
                    "m/44'/60'/0'/0/0",
                    "m/44'/60'/0'/0/7",
                    "m/44'/60'/0'/0/4294967295",
                    "prehash",
                    true,
                    false};
        case ChainType::Solana:
            return {Curve::Ed25519,
                    501,
                    "m/44'/501'/0'/0'",
                    "m/44'/501'/7'/0'",
                    "m/44'/501'/4294967295'/0'",
                    nullptr,
                    true,
                    true};
        case ChainType::Cosmos:
            return {Curve::Secp256k1,
                    118,
                    "m/44'/118'/0'/0/0",
                    "m/44'/118'/0'/0/7",
                    "m/44'/118'/0'/0/4294967295",
                    "hash",
                    false,
                    false};
        case ChainType::Bitcoin:
            return {Curve::Secp256k1,
                    0,
                    "m/84'/0'/0'/0/0",
                    "m/84'/0'/0'/0/7",
                    "m/84'/0'/0'/0/4294967295",
                    "hash",
                    false,
                    false};
        case ChainType::Tron:
            return {Curve::Secp256k1,
                    195,
                    "m/44'/195'/0'/0/0",
                    "m/44'/195'/0'/0/7",
                    "m/44'/195'/0'/0/4294967295",
                    "hash",
                    false,
                    false};
        case ChainType::Ton:
            return {Curve::Ed25519,           607,     "m/44'/607'/0'", "m/44'/607'/7'",
                    "m/44'/607'/4294967295'", nullptr, false,           false};
    }
    throw std::logic_error("unknown chain type");
}

// The address of the "abandon ... about" wallet at index 0 of the family.
std::string abandon_address(ChainType type) {
    const auto v = oxa_test::load_vectors("addresses-abandon.json");
    switch (type) {
        case ChainType::Evm: return v["accounts"][0]["address"];
        case ChainType::Solana: return v["accounts"][1]["address"];
        case ChainType::Cosmos: return v["accounts"][2]["address"];
        case ChainType::Bitcoin: return v["accounts"][4]["address"];
        case ChainType::Tron: return v["accounts"][3]["address"];
        case ChainType::Ton:
            return v["ton_wallet_v5r1"]["abandon_computed"]["address_non_bounceable"];
    }
    throw std::logic_error("unknown chain type");
}

class SignerRegistry : public testing::TestWithParam<ChainType> {};

TEST_P(SignerRegistry, FreshSignerHasConstants) {
    const auto signer = signer_for_chain(GetParam());
    const Row expected = row(GetParam());
    ASSERT_NE(signer, nullptr);
    EXPECT_NE(signer.get(), signer_for_chain(GetParam()).get());
    EXPECT_EQ(signer->chain_type(), GetParam());
    EXPECT_EQ(signer->curve(), expected.curve);
    EXPECT_EQ(signer->coin_type(), expected.coin_type);
    EXPECT_EQ(signer->default_derivation_path(0), expected.path_0);
    EXPECT_EQ(signer->default_derivation_path(7), expected.path_7);
    EXPECT_EQ(signer->default_derivation_path(4294967295u), expected.path_max);
}

TEST_P(SignerRegistry, DerivesAbandonAddress) {
    const auto signer = signer_for_chain(GetParam());
    const auto seed =
        unhex(oxa_test::load_vectors("addresses-abandon.json")["seed"].get<std::string>());
    const auto key =
        oxa_signer::HdDeriver::derive(seed, signer->default_derivation_path(0), signer->curve());
    ASSERT_TRUE(key) << key.error().display();
    const auto address = signer->derive_address(key.value().bytes());
    ASSERT_TRUE(address) << address.error().display();
    EXPECT_EQ(address.value(), abandon_address(GetParam()));
    EXPECT_EQ(signer->derive_address(key.value().bytes()).value(), address.value());
}

TEST_P(SignerRegistry, SignsStablyAndVerifies) {
    const auto signer = signer_for_chain(GetParam());
    for (int i = 0; i < 8; ++i) {
        const auto key = oxa_test::random_bytes(32);
        const auto data = oxa_test::random_bytes(32);
        const auto out = signer->sign(key, data);
        ASSERT_TRUE(out) << out.error().display();
        const auto& sig = out.value().signature;
        EXPECT_EQ(signer->sign(key, data).value().signature, sig);
        switch (signer->curve()) {
            case Curve::Secp256k1: {
                ASSERT_EQ(sig.size(), 65u);
                ASSERT_TRUE(out.value().recovery_id.has_value());
                EXPECT_EQ(*out.value().recovery_id, sig[64]);
                EXPECT_LE(sig[64], 1);
                EXPECT_TRUE(oxa_test::has_low_s(sig));
                const auto public_key = oxa_signer::secp256k1_compressed_public_key(key).value();
                EXPECT_EQ(oxa_test::recover_public_key(data, sig, sig[64]),
                          oxa_test::uncompressed_point(public_key));
                break;
            }
            case Curve::Ed25519:
                EXPECT_FALSE(out.value().recovery_id.has_value());
                EXPECT_TRUE(oxa_test::ed25519_verifies(oxa_signer::ed25519_public_key(key).value(),
                                                       data, sig));
                break;
        }
    }
}

// Keys that every key-taking operation refuses, with the family's text.
std::vector<std::pair<std::vector<std::uint8_t>, std::string>> refused_keys(Curve curve) {
    switch (curve) {
        case Curve::Secp256k1:
            return {{std::vector<std::uint8_t>(23, 1), "signature error"},
                    {std::vector<std::uint8_t>(33, 1), "signature error"},
                    {std::vector<std::uint8_t>(32, 0), "signature error"},
                    {std::vector<std::uint8_t>(), "signature error"},
                    {oxa_test::secp256k1_order(), "signature error"},
                    {std::vector<std::uint8_t>(32, 0xFF), "signature error"}};
        case Curve::Ed25519:
            return {{std::vector<std::uint8_t>(31, 1), "expected 32 bytes, got 31"},
                    {std::vector<std::uint8_t>(33, 1), "expected 32 bytes, got 33"},
                    {std::vector<std::uint8_t>(), "expected 32 bytes, got 0"}};
    }
    throw std::logic_error("unknown curve");
}

TEST_P(SignerRegistry, EveryOpRefusesBadKeys) {
    const auto signer = signer_for_chain(GetParam());
    const std::vector<std::uint8_t> hash(32, 9);
    for (const auto& [key, text] : refused_keys(signer->curve())) {
        const std::string expected = "invalid private key: " + text;
        EXPECT_EQ(signer->derive_address(key).error().display(), expected);
        EXPECT_EQ(signer->sign(key, hash).error().display(), expected);
        EXPECT_EQ(signer->sign_message(key, hash).error().display(), expected);
        EXPECT_EQ(signer->sign_transaction(key, hash).error().display(), expected);
    }
}

TEST_P(SignerRegistry, ChecksHashLengthFirst) {
    const char* noun = row(GetParam()).hash_noun;
    if (noun == nullptr) GTEST_SKIP() << "Ed25519 signs bytes of any length";
    const auto signer = signer_for_chain(GetParam());
    for (std::size_t length : {0, 20, 31, 33, 64}) {
        const auto result = signer->sign({}, std::vector<std::uint8_t>(length, 1));
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().display(), "invalid message: expected 32-byte " +
                                                std::string(noun) + ", got " +
                                                std::to_string(length) + " bytes");
    }
}

TEST_P(SignerRegistry, DefaultExtractIsInput) {
    if (row(GetParam()).cuts_signable_bytes) {
        GTEST_SKIP() << "the family cuts its own signable bytes";
    }
    const auto signer = signer_for_chain(GetParam());
    for (const auto& tx : {std::vector<std::uint8_t>{}, oxa_test::random_bytes(70)}) {
        const auto view = signer->extract_signable_bytes(tx);
        ASSERT_TRUE(view);
        EXPECT_EQ(view.value().data(), tx.data());
        EXPECT_EQ(view.value().size(), tx.size());
    }
}

TEST_P(SignerRegistry, DefaultEncodeRefuses) {
    if (row(GetParam()).assembles_transactions) GTEST_SKIP() << "the family assembles transactions";
    const auto signer = signer_for_chain(GetParam());
    const std::string expected =
        "invalid transaction: encode_signed_transaction not implemented for " +
        std::string(oxa_core::chain_type_name(GetParam()));
    const auto real = signer->sign_transaction(oxa_test::random_bytes(32), unhex("02c0")).value();
    const oxa_signer::SignOutput empty{};
    for (const auto& tx :
         {std::vector<std::uint8_t>{}, unhex("02c0"), oxa_test::random_bytes(100)}) {
        for (const auto* out : {&real, &empty}) {
            const auto result = signer->encode_signed_transaction(tx, *out);
            ASSERT_FALSE(result);
            EXPECT_EQ(result.error().kind, SignerError::Kind::InvalidTransaction);
            EXPECT_EQ(result.error().display(), expected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Family, SignerRegistry, testing::ValuesIn(oxa_core::ALL_CHAIN_TYPES),
                         [](const auto& info) {
                             return std::string(oxa_core::chain_type_name(info.param));
                         });

TEST(SignerRegistry, BitcoinAndCosmosCarryTheirMainnetHrp) {
    const auto bitcoin = signer_for_chain(ChainType::Bitcoin);
    const auto cosmos = signer_for_chain(ChainType::Cosmos);
    EXPECT_EQ(dynamic_cast<const oxa_signer::BitcoinSigner&>(*bitcoin).hrp(), "bc");
    EXPECT_EQ(dynamic_cast<const oxa_signer::CosmosSigner&>(*cosmos).hrp(), "cosmos");
}

TEST(SignerRegistry, EvmIndexesOneToFourOfTheAbandonWallet) {
    const auto v = oxa_test::load_vectors("addresses-abandon.json");
    const auto seed = unhex(v["seed"].get<std::string>());
    const auto signer = signer_for_chain(ChainType::Evm);
    std::uint32_t index = 1;
    for (const auto& more : v["accounts"][0]["more_indexes"]) {
        const auto path = signer->default_derivation_path(index++);
        ASSERT_EQ(path, more["path"]);
        const auto key = oxa_signer::HdDeriver::derive(seed, path, Curve::Secp256k1);
        ASSERT_TRUE(key);
        EXPECT_EQ(signer->derive_address(key.value().bytes()).value(), more["address"]);
    }
}

struct DisplayCase {
    SignerError::Kind kind;
    const char* shown;
};

void PrintTo(const DisplayCase& c, std::ostream* os) { *os << c.shown; }

class SignerErrorDisplay : public testing::TestWithParam<DisplayCase> {};

TEST_P(SignerErrorDisplay, PrefixesTheCarriedText) {
    EXPECT_EQ((SignerError{GetParam().kind, "x y"}.display()), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SignerErrorDisplay,
    testing::Values(DisplayCase{SignerError::Kind::InvalidPrivateKey, "invalid private key: x y"},
                    DisplayCase{SignerError::Kind::InvalidMessage, "invalid message: x y"},
                    DisplayCase{SignerError::Kind::SigningFailed, "signing failed: x y"},
                    DisplayCase{SignerError::Kind::AddressDerivation,
                                "address derivation failed: x y"},
                    DisplayCase{SignerError::Kind::InvalidTransaction, "invalid transaction: x y"}),
    oxa_test::by_index);

}  // namespace
