// Recovery and verification, the inverses the checking functions build on:
// random keys and hashes signed by our signer, the RFC 8032 vectors, and the
// malleated and malformed signatures a checker must not mistake.

#include <gtest/gtest.h>

#include <algorithm>

#include "oxa_signer/ed25519_signing.hpp"
#include "oxa_signer/secp256k1_signing.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

using oxa_test::hex;
using oxa_test::random_bytes;
using oxa_test::unhex;

constexpr int ROUNDS = 64;

std::vector<std::uint8_t> valid_secp256k1_key() {
    for (;;) {
        auto key = random_bytes(32);
        if (oxa_signer::secp256k1_compressed_public_key(key)) return key;
    }
}

TEST(Secp256k1Recover, RecoversTheSignersKeyInBothForms) {
    for (int round = 0; round < ROUNDS; ++round) {
        const auto key = valid_secp256k1_key();
        const auto hash = random_bytes(32);
        const auto signature = oxa_signer::secp256k1_sign_hash(key, hash, "hash").value().signature;
        const auto public_key = oxa_signer::secp256k1_uncompressed_public_key(key).value();

        EXPECT_EQ(oxa_signer::secp256k1_recover(hash, signature), public_key);
        EXPECT_TRUE(oxa_signer::secp256k1_is_low_s(signature));
        const auto high = oxa_test::malleate(signature);
        EXPECT_EQ(oxa_signer::secp256k1_recover(hash, high), public_key);
        EXPECT_FALSE(oxa_signer::secp256k1_is_low_s(high));
        EXPECT_EQ(oxa_signer::secp256k1_compress(public_key),
                  oxa_signer::secp256k1_compressed_public_key(key).value());

        auto other_id = signature;
        other_id[64] ^= 1;
        EXPECT_NE(oxa_signer::secp256k1_recover(hash, other_id), public_key);
        auto other_hash = hash;
        other_hash[0] ^= 1;
        EXPECT_NE(oxa_signer::secp256k1_recover(other_hash, signature), public_key);
    }
}

TEST(Secp256k1Recover, MalformedSignaturesRecoverNothing) {
    const auto key = valid_secp256k1_key();
    const auto hash = random_bytes(32);
    const auto good = oxa_signer::secp256k1_sign_hash(key, hash, "hash").value().signature;
    const auto order = oxa_test::secp256k1_order();

    auto zero_r = good;
    std::fill_n(zero_r.begin(), 32, 0);
    auto zero_s = good;
    std::fill_n(zero_s.begin() + 32, 32, 0);
    auto r_is_order = good;
    std::copy(order.begin(), order.end(), r_is_order.begin());
    auto id_four = good;
    id_four[64] = 4;
    const std::vector<std::uint8_t> short_signature(good.begin(), good.begin() + 64);
    const std::vector<std::uint8_t> short_hash(hash.begin(), hash.begin() + 31);

    for (const auto& bad : {zero_r, zero_s, r_is_order, id_four, short_signature}) {
        EXPECT_EQ(oxa_signer::secp256k1_recover(hash, bad), std::nullopt) << hex(bad);
    }
    EXPECT_EQ(oxa_signer::secp256k1_recover(short_hash, good), std::nullopt);
}

TEST(Ed25519Verify, VectorsVerifyFlippedBitsFail) {
    // Held for the loop: a range over a member of the temporary would outlive it.
    const auto vectors = oxa_test::load_vectors("rfc8032-ed25519.json");
    for (const auto& v : vectors["vectors"]) {
        const auto public_key = unhex(v["public_key"].get<std::string>());
        const auto message = unhex(v["message"].get<std::string>());
        const auto signature = unhex(v["signature"].get<std::string>());
        EXPECT_TRUE(oxa_signer::ed25519_verify(public_key, message, signature));

        const auto flip = [](std::vector<std::uint8_t> bytes) {
            if (!bytes.empty()) bytes[bytes.size() / 2] ^= 0x10;
            return bytes;
        };
        EXPECT_FALSE(oxa_signer::ed25519_verify(flip(public_key), message, signature));
        EXPECT_FALSE(oxa_signer::ed25519_verify(public_key, message,
                                                std::span(signature).first(signature.size() - 1)));
        EXPECT_FALSE(oxa_signer::ed25519_verify(public_key, message, flip(signature)));
        if (!message.empty()) {
            EXPECT_FALSE(oxa_signer::ed25519_verify(public_key, flip(message), signature));
        }
    }
}

}  // namespace
