#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <string>

#include "oxa_signer/chains/evm.hpp"
#include "oxa_signer/chains/tron.hpp"
#include "oxa_signer/encoding/base58.hpp"
#include "oxa_signer/keccak.hpp"
#include "oxa_signer/secp256k1_signing.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

using oxa_signer::TronSigner;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::unhex;

const TronSigner SIGNER;

nlohmann::json abandon_tron() {
    return oxa_test::load_vectors("addresses-abandon.json")["accounts"][3];
}

TEST(TronAddress, MatchesTheAbandonWallet) {
    const auto v = abandon_tron();
    const auto address = SIGNER.derive_address(unhex(v["private_key"].get<std::string>()));
    ASSERT_TRUE(address) << address.error().display();
    EXPECT_EQ(address.value(), v["address"]);
}

TEST(TronAddress, CarriesTheEvmAccountAfterVersionByte41) {
    const auto v = abandon_tron();
    const auto key = unhex(v["private_key"].get<std::string>());
    const auto decoded = oxa_signer::base58_decode(SIGNER.derive_address(key).value());
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->size(), 25u);
    EXPECT_EQ(hex(std::span(*decoded).first(21)), v["address_hex"]);
    std::string evm = oxa_signer::EvmSigner().derive_address(key).value().substr(2);
    for (char& c : evm) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(hex(std::span(*decoded).subspan(1, 20)), evm);
}

TEST(TronAddress, Is34CharactersStartingWithT) {
    for (int i = 0; i < 8; ++i) {
        const auto address = SIGNER.derive_address(oxa_test::random_bytes(32));
        ASSERT_TRUE(address);
        EXPECT_EQ(address.value().size(), 34u);
        EXPECT_EQ(address.value()[0], 'T');
    }
}

TEST(TronSignMessage, UsesTheTronPrefixAndKeepsVAtZeroOrOne) {
    const auto key = unhex(abandon_tron()["private_key"].get<std::string>());
    const std::string message = "hello tron";
    const auto out = SIGNER.sign_message(key, bytes_of(message));
    ASSERT_TRUE(out);
    const auto& sig = out.value().signature;
    EXPECT_LE(sig[64], 1);
    EXPECT_EQ(out.value().recovery_id, sig[64]);
    const auto digest =
        oxa_signer::keccak256(bytes_of("\x19"
                                       "TRON Signed Message:\n10" +
                                       message));
    EXPECT_EQ(oxa_test::recover_public_key(digest, sig, sig[64]),
              unhex(abandon_tron()["public_key_uncompressed"].get<std::string>()));

    const auto evm = oxa_signer::EvmSigner().sign_message(key, bytes_of(message));
    ASSERT_TRUE(evm);
    EXPECT_NE(hex(std::span(evm.value().signature).first(64)), hex(std::span(sig).first(64)));
    EXPECT_GE(evm.value().signature[64], 27);
}

TEST(TronSignMessage, EmptyMessageSignsPrefixWithLength0) {
    const auto key = oxa_test::random_bytes(32);
    const auto digest =
        oxa_signer::keccak256(bytes_of("\x19"
                                       "TRON Signed Message:\n0"));
    EXPECT_EQ(SIGNER.sign_message(key, {}).value().signature,
              SIGNER.sign(key, digest).value().signature);
}

TEST(TronSignTransaction, SignsTheSingleSha256OfTheBytes) {
    const auto key = oxa_test::random_bytes(32);
    const auto tx = oxa_test::random_bytes(90);
    std::vector<std::uint8_t> txid(SHA256_DIGEST_LENGTH);
    SHA256(tx.data(), tx.size(), txid.data());
    const auto out = SIGNER.sign_transaction(key, tx);
    ASSERT_TRUE(out);
    const auto& sig = out.value().signature;
    EXPECT_EQ(sig, SIGNER.sign(key, txid).value().signature);
    EXPECT_TRUE(oxa_test::has_low_s(sig));
    const auto public_key = oxa_signer::secp256k1_uncompressed_public_key(key).value();
    EXPECT_EQ(hex(oxa_test::recover_public_key(txid, sig, sig[64])), hex(public_key));
}

}  // namespace
