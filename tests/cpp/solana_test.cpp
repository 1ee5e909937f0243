#include <gtest/gtest.h>

#include <string>

#include "oxa_signer/chains/solana.hpp"
#include "oxa_signer/ed25519_signing.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

using oxa_signer::SignOutput;
using oxa_signer::SolanaSigner;
using oxa_test::hex;
using oxa_test::unhex;

const SolanaSigner SIGNER;

constexpr const char* TOO_SHORT =
    "invalid transaction: transaction too short for declared signature slots";
constexpr const char* BAD_SIGNATURE = "invalid transaction: expected 64-byte Ed25519 signature";

// RFC 8032 ------------------------------------------------------------------------

struct Rfc8032Case {
    std::string name;
    std::vector<std::uint8_t> secret_key;
    std::vector<std::uint8_t> public_key;
    std::vector<std::uint8_t> message;
    std::vector<std::uint8_t> signature;
};

void PrintTo(const Rfc8032Case& c, std::ostream* os) { *os << c.name; }

std::vector<Rfc8032Case> rfc8032_cases() {
    const auto vectors = oxa_test::load_vectors("rfc8032-ed25519.json");
    std::vector<Rfc8032Case> out;
    for (const auto& v : vectors["vectors"]) {
        out.push_back({v["name"], unhex(v["secret_key"].get<std::string>()),
                       unhex(v["public_key"].get<std::string>()),
                       unhex(v["message"].get<std::string>()),
                       unhex(v["signature"].get<std::string>())});
    }
    return out;
}

class SolanaRfc8032 : public testing::TestWithParam<Rfc8032Case> {};

TEST_P(SolanaRfc8032, SignatureMatchesAndVerifies) {
    const auto& v = GetParam();
    const auto out = SIGNER.sign(v.secret_key, v.message);
    ASSERT_TRUE(out) << out.error().display();
    EXPECT_EQ(hex(out.value().signature), hex(v.signature));
    EXPECT_FALSE(out.value().recovery_id.has_value());
    EXPECT_TRUE(oxa_test::ed25519_verifies(v.public_key, v.message, out.value().signature));
}

TEST_P(SolanaRfc8032, MessageAndTxSignTheSameBytes) {
    const auto& v = GetParam();
    EXPECT_EQ(SIGNER.sign_message(v.secret_key, v.message).value().signature, v.signature);
    EXPECT_EQ(SIGNER.sign_transaction(v.secret_key, v.message).value().signature, v.signature);
}

TEST_P(SolanaRfc8032, PublicKeyMatches) {
    const auto public_key = oxa_signer::ed25519_public_key(GetParam().secret_key);
    ASSERT_TRUE(public_key);
    EXPECT_EQ(hex(public_key.value()), hex(GetParam().public_key));
}

INSTANTIATE_TEST_SUITE_P(Rfc8032, SolanaRfc8032, testing::ValuesIn(rfc8032_cases()),
                         oxa_test::by_index);

// Addresses -------------------------------------------------------------------------

struct AddressCase {
    std::string path;
    std::string seed;
    std::string address;
};

std::vector<AddressCase> abandon_addresses() {
    const auto solana = oxa_test::load_vectors("addresses-abandon.json")["accounts"][1];
    std::vector<AddressCase> out{{solana["path"], solana["private_key_seed"], solana["address"]}};
    for (const auto& other : solana["other_paths"]) {
        out.push_back({other["path"], other["private_key_seed"], other["address"]});
    }
    return out;
}

class SolanaAddress : public testing::TestWithParam<AddressCase> {};

TEST_P(SolanaAddress, IsBase58OfThePublicKey) {
    const auto address = SIGNER.derive_address(unhex(GetParam().seed));
    ASSERT_TRUE(address);
    EXPECT_EQ(address.value(), GetParam().address);
    EXPECT_GE(address.value().size(), 32u);
    EXPECT_LE(address.value().size(), 44u);
}

INSTANTIATE_TEST_SUITE_P(Abandon, SolanaAddress, testing::ValuesIn(abandon_addresses()),
                         [](const auto& info) { return "Path" + std::to_string(info.index); });

// Transactions ----------------------------------------------------------------------

// count byte, `slots` slots each filled with its index + 1, then the message.
std::vector<std::uint8_t> transaction(std::uint8_t count, std::size_t slots,
                                      const std::vector<std::uint8_t>& message) {
    std::vector<std::uint8_t> tx{count};
    for (std::size_t i = 0; i < slots; ++i) {
        tx.insert(tx.end(), 64, static_cast<std::uint8_t>(i + 1));
    }
    tx.insert(tx.end(), message.begin(), message.end());
    return tx;
}

struct ExtractCase {
    const char* name;
    std::vector<std::uint8_t> tx;
    const char* message_or_error;
    bool ok;
};

void PrintTo(const ExtractCase& c, std::ostream* os) { *os << c.name; }

class SolanaExtract : public testing::TestWithParam<ExtractCase> {};

TEST_P(SolanaExtract, CutsTheMessageAfterTheSlots) {
    const auto& c = GetParam();
    const auto result = SIGNER.extract_signable_bytes(c.tx);
    if (c.ok) {
        ASSERT_TRUE(result) << result.error().display();
        EXPECT_EQ(hex(result.value()), c.message_or_error);
        EXPECT_EQ(result.value().data() + result.value().size(), c.tx.data() + c.tx.size());
    } else {
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().display(), c.message_or_error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Slots, SolanaExtract,
    testing::Values(ExtractCase{"Empty", {}, "invalid transaction: empty transaction", false},
                    ExtractCase{"ZeroSlotsOnly", {0}, TOO_SHORT, false},
                    ExtractCase{"ZeroSlotsWithMessage", {0, 0xaa, 0xbb}, "aabb", true},
                    ExtractCase{"SlotsWithoutMessage", transaction(1, 1, {}), TOO_SHORT, false},
                    ExtractCase{"OneSlotOneByte", transaction(1, 1, {0x42}), "42", true},
                    ExtractCase{"TwoSlots", transaction(2, 2, {1, 2, 3}), "010203", true},
                    ExtractCase{"SlotsRunPastTheEnd", transaction(2, 1, {1, 2, 3}), TOO_SHORT,
                                false},
                    ExtractCase{"MaximumCountShortTx", transaction(255, 1, {1}), TOO_SHORT, false}),
    oxa_test::by_index);

struct EncodeCase {
    const char* name;
    std::vector<std::uint8_t> tx;
    std::size_t signature_bytes;
    const char* error;
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

class SolanaEncodeRefuses : public testing::TestWithParam<EncodeCase> {};

TEST_P(SolanaEncodeRefuses, WithTheExactText) {
    const auto& c = GetParam();
    const SignOutput out{std::vector<std::uint8_t>(c.signature_bytes, 0x5a), std::nullopt};
    const auto result = SIGNER.encode_signed_transaction(c.tx, out);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().display(), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Slots, SolanaEncodeRefuses,
    testing::Values(EncodeCase{"SignatureOf65BeforeEmptyTx", {}, 65, BAD_SIGNATURE},
                    EncodeCase{"SignatureOf63", transaction(1, 1, {1}), 63, BAD_SIGNATURE},
                    EncodeCase{"Empty", {}, 64, "invalid transaction: empty transaction"},
                    EncodeCase{"NoSlots",
                               {0, 1, 2},
                               64,
                               "invalid transaction: transaction has no signature slots"},
                    EncodeCase{"SlotCutShort", std::vector<std::uint8_t>(64, 1), 64, TOO_SHORT},
                    EncodeCase{"SecondSlotMissing", transaction(2, 1, {1, 2}), 64, TOO_SHORT}),
    oxa_test::by_index);

TEST(SolanaEncode, SlotsWithoutMessageAreAccepted) {
    const auto tx = transaction(1, 1, {});
    const SignOutput out{std::vector<std::uint8_t>(64, 0x5a), std::nullopt};
    const auto result = SIGNER.encode_signed_transaction(tx, out);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.value(), transaction(1, 0, std::vector<std::uint8_t>(64, 0x5a)));
}

TEST(SolanaEncode, FillsTheFirstSlotAndKeepsTheSecond) {
    const auto tx = transaction(2, 2, {9, 8, 7});
    const SignOutput out{std::vector<std::uint8_t>(64, 0x5a), std::nullopt};
    const auto result = SIGNER.encode_signed_transaction(tx, out);
    ASSERT_TRUE(result);
    auto expected = tx;
    std::fill(expected.begin() + 1, expected.begin() + 65, 0x5a);
    EXPECT_EQ(result.value(), expected);
}

TEST(SolanaSignAndSend, FirstSlotVerifiesOverTheMessage) {
    const auto seed = oxa_test::random_bytes(32);
    const auto public_key = oxa_signer::ed25519_public_key(seed).value();
    const auto message = oxa_test::random_bytes(1 + oxa_test::test_rng()() % 300);
    const auto tx = transaction(1, 1, message);

    const auto signable = SIGNER.extract_signable_bytes(tx);
    ASSERT_TRUE(signable);
    const auto out = SIGNER.sign_transaction(seed, signable.value());
    ASSERT_TRUE(out);
    const auto signed_tx = SIGNER.encode_signed_transaction(tx, out.value());
    ASSERT_TRUE(signed_tx);
    ASSERT_EQ(signed_tx.value().size(), tx.size());
    const auto slot = std::span(signed_tx.value()).subspan(1, 64);
    EXPECT_TRUE(oxa_test::ed25519_verifies(public_key, message, slot));
    EXPECT_EQ(hex(std::span(signed_tx.value()).subspan(65)), hex(message));
}

TEST(SolanaSign, EmptyMessageIsSignedAndVerifies) {
    const auto seed = oxa_test::random_bytes(32);
    const auto out = SIGNER.sign_message(seed, {});
    ASSERT_TRUE(out);
    EXPECT_TRUE(oxa_test::ed25519_verifies(oxa_signer::ed25519_public_key(seed).value(), {},
                                           out.value().signature));
    EXPECT_EQ(SIGNER.sign_message(seed, {}).value().signature, out.value().signature);
}

}  // namespace
