#include <gtest/gtest.h>

#include <string>

#include "oxa_signer/chains/evm.hpp"
#include "oxa_signer/keccak.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

using oxa_signer::EvmSigner;
using oxa_signer::SignerError;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::unhex;

// A hex field of a vector, with or without its "0x".
std::vector<std::uint8_t> field_bytes(const nlohmann::json& v, const char* key) {
    const auto text = v[key].get<std::string>();
    return unhex(text.rfind("0x", 0) == 0 ? text.substr(2) : text);
}

// "0x" + EIP-55 of the last 20 bytes of Keccak-256(x || y): computed here from
// the recovered point so that signature checks do not trust the signer's address code.
std::string address_of_point(const std::vector<std::uint8_t>& uncompressed) {
    if (uncompressed.size() != 65) return "";
    const auto digest = oxa_signer::keccak256(std::span(uncompressed).subspan(1));
    return "0x" + oxa_signer::eip55_checksum(hex(std::span(digest).last(20)));
}

struct NamedJson {
    std::string name;
    nlohmann::json data;
};

std::vector<NamedJson> cases(const char* file, const char* key, const char* name_key) {
    std::vector<NamedJson> out;
    int i = 0;
    for (const auto& item : oxa_test::load_vectors(file)[key]) {
        std::string name = name_key && item.contains(name_key) ? item[name_key].get<std::string>()
                                                               : std::string(key) + std::to_string(i);
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        out.push_back({name, item});
        ++i;
    }
    return out;
}

std::string case_name(const testing::TestParamInfo<NamedJson>& info) { return info.param.name; }

const EvmSigner SIGNER;

// EIP-55 --------------------------------------------------------------------

class Eip55 : public testing::TestWithParam<NamedJson> {};

TEST_P(Eip55, ChecksumReproducesThePublishedCase) {
    const auto& v = GetParam().data;
    const std::string lower = v["lowercase"].get<std::string>().substr(2);
    EXPECT_EQ("0x" + oxa_signer::eip55_checksum(lower), v["checksummed"].get<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Published, Eip55, testing::ValuesIn(cases("eip55.json", "vectors", nullptr)),
                         case_name);

// Addresses -------------------------------------------------------------------

struct KeyAddress {
    std::string name;
    std::string private_key;
    std::string address;
};

std::vector<KeyAddress> key_address_cases() {
    const auto eip55 = oxa_test::load_vectors("eip55.json")["private_key_to_address"][0];
    const auto abandon = oxa_test::load_vectors("addresses-abandon.json")["accounts"][0];
    const auto txs = oxa_test::load_vectors("eip1559.json");
    return {
        {"go_ethereum", eip55["private_key"], eip55["address_checksummed"]},
        {"abandon_index0", abandon["private_key"], abandon["address"]},
        {"eth_account", txs["eip1559"][0]["private_key"], txs["eip1559"][0]["sender_address"]},
        {"web3js", txs["eip191_personal_sign"][0]["private_key"],
         txs["eip191_personal_sign"][0]["address"]},
    };
}

class EvmAddress : public testing::TestWithParam<KeyAddress> {};

TEST_P(EvmAddress, FromPrivateKeyIsChecksummed) {
    const auto address = SIGNER.derive_address(unhex(GetParam().private_key));
    ASSERT_TRUE(address) << address.error().display();
    EXPECT_EQ(address.value(), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(Published, EvmAddress, testing::ValuesIn(key_address_cases()),
                         [](const auto& info) { return info.param.name; });

// Key parsing -------------------------------------------------------------------

struct KeyLengthCase {
    std::size_t length;
    bool accepted;
};

class EvmKeyLength : public testing::TestWithParam<KeyLengthCase> {};

TEST_P(EvmKeyLength, ShortKeysArePaddedOthersRefused) {
    // The low bytes of a valid key, so the padded value is the same number.
    const auto full = unhex("1ab42cc412b618bdea3a599e3c9bae199ebf030895b039e9db1e30dafb12b727");
    std::vector<std::uint8_t> key(GetParam().length, 0);
    std::vector<std::uint8_t> padded(32, 0);
    const std::size_t kept = std::min<std::size_t>(GetParam().length, 32);
    std::copy(full.end() - static_cast<std::ptrdiff_t>(kept), full.end(), key.end() - static_cast<std::ptrdiff_t>(kept));
    std::copy(full.end() - static_cast<std::ptrdiff_t>(kept), full.end(), padded.end() - static_cast<std::ptrdiff_t>(kept));

    const auto address = SIGNER.derive_address(key);
    const auto signature = SIGNER.sign(key, std::vector<std::uint8_t>(32, 7));
    if (GetParam().accepted) {
        ASSERT_TRUE(address);
        EXPECT_EQ(address.value(), SIGNER.derive_address(padded).value());
        ASSERT_TRUE(signature);
        EXPECT_EQ(signature.value().signature,
                  SIGNER.sign(padded, std::vector<std::uint8_t>(32, 7)).value().signature);
    } else {
        ASSERT_FALSE(address);
        EXPECT_EQ(address.error().display(), "invalid private key: signature error");
        ASSERT_FALSE(signature);
        EXPECT_EQ(signature.error().display(), "invalid private key: signature error");
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, EvmKeyLength,
                         testing::Values(KeyLengthCase{0, false}, KeyLengthCase{23, false},
                                         KeyLengthCase{24, true}, KeyLengthCase{31, true},
                                         KeyLengthCase{32, true}, KeyLengthCase{33, false},
                                         KeyLengthCase{64, false}),
                         [](const auto& info) { return "Bytes" + std::to_string(info.param.length); });

class EvmKeyValue : public testing::TestWithParam<std::string> {};

TEST_P(EvmKeyValue, OutOfRangeScalarIsRefused) {
    const auto key = unhex(GetParam());
    const auto address = SIGNER.derive_address(key);
    ASSERT_FALSE(address);
    EXPECT_EQ(address.error().kind, SignerError::Kind::InvalidPrivateKey);
    EXPECT_EQ(address.error().text, "signature error");
    const auto signature = SIGNER.sign_message(key, bytes_of("hi"));
    ASSERT_FALSE(signature);
    EXPECT_EQ(signature.error().display(), "invalid private key: signature error");
}

INSTANTIATE_TEST_SUITE_P(
    Values, EvmKeyValue,
    testing::Values(std::string(64, '0'),
                    "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141",  // n
                    "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364142",
                    std::string(64, 'f')));

TEST(EvmKeyValue, OrderMinusOneIsAccepted) {
    EXPECT_TRUE(SIGNER.derive_address(
        unhex("fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364140")));
}

// sign -------------------------------------------------------------------------

class EvmHashLength : public testing::TestWithParam<std::size_t> {};

TEST_P(EvmHashLength, IsCheckedBeforeTheKey) {
    const std::vector<std::uint8_t> no_key;
    const auto result = SIGNER.sign(no_key, std::vector<std::uint8_t>(GetParam(), 1));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().display(), "invalid message: expected 32-byte prehash, got " +
                                            std::to_string(GetParam()) + " bytes");
}

INSTANTIATE_TEST_SUITE_P(Lengths, EvmHashLength, testing::Values(0, 31, 33, 64));

TEST(EvmSign, RandomHashesRecoverToTheSignerWithLowSAndRecoveryIdZeroOrOne) {
    for (int i = 0; i < 32; ++i) {
        const auto key = oxa_test::random_bytes(32);
        const auto hash = oxa_test::random_bytes(32);
        const auto address = SIGNER.derive_address(key);
        if (!address) continue;  // a random value at or above n: vanishingly rare
        const auto out = SIGNER.sign(key, hash);
        ASSERT_TRUE(out);
        const auto& sig = out.value().signature;
        ASSERT_EQ(sig.size(), 65u);
        ASSERT_TRUE(out.value().recovery_id.has_value());
        EXPECT_EQ(*out.value().recovery_id, sig[64]);
        EXPECT_LE(sig[64], 1);
        EXPECT_TRUE(oxa_test::has_low_s(sig));
        EXPECT_EQ(address_of_point(oxa_test::recover_public_key(hash, sig, sig[64])), address.value());
        EXPECT_EQ(SIGNER.sign(key, hash).value().signature, sig);
    }
}

// Typed transactions -------------------------------------------------------------

class Eip1559 : public testing::TestWithParam<NamedJson> {};

TEST_P(Eip1559, SignatureMatchesAndRecoversToTheSender) {
    const auto& v = GetParam().data;
    const auto key = field_bytes(v, "private_key");
    const auto payload = field_bytes(v, "unsigned_payload");
    const auto out = SIGNER.sign_transaction(key, payload);
    ASSERT_TRUE(out) << out.error().display();
    const auto& sig = out.value().signature;
    ASSERT_EQ(sig.size(), 65u);
    EXPECT_EQ("0x" + hex(std::span(sig).first(32)), v["signature"]["r"]);
    EXPECT_EQ("0x" + hex(std::span(sig).subspan(32, 32)), v["signature"]["s"]);
    EXPECT_EQ(sig[64], v["signature"]["y_parity"].get<int>());
    EXPECT_EQ(out.value().recovery_id, sig[64]);
    const auto signing_hash = field_bytes(v, "signing_hash");
    EXPECT_EQ(address_of_point(oxa_test::recover_public_key(signing_hash, sig, sig[64])),
              v["sender_address"]);
}

TEST_P(Eip1559, EncodedSignedTransactionIsTheBroadcastBytes) {
    const auto& v = GetParam().data;
    const auto payload = field_bytes(v, "unsigned_payload");
    const auto out = SIGNER.sign_transaction(field_bytes(v, "private_key"), payload);
    ASSERT_TRUE(out);
    const auto extracted = SIGNER.extract_signable_bytes(payload);
    ASSERT_TRUE(extracted);
    EXPECT_EQ(extracted.value().data(), payload.data());
    const auto raw = SIGNER.encode_signed_transaction(payload, out.value());
    ASSERT_TRUE(raw) << raw.error().display();
    EXPECT_EQ("0x" + hex(raw.value()), v["signed_raw_transaction"]);
    EXPECT_EQ("0x" + hex(oxa_signer::keccak256(raw.value())), v["transaction_hash"]);
}

INSTANTIATE_TEST_SUITE_P(EthAccount, Eip1559,
                         testing::ValuesIn(cases("eip1559.json", "eip1559", "id")), case_name);

TEST(EvmEncodeSignedTransaction, RefusesA64ByteSignature) {
    oxa_signer::SignOutput out{std::vector<std::uint8_t>(64, 1), 1};
    const auto raw = SIGNER.encode_signed_transaction(unhex("02c0"), out);
    ASSERT_FALSE(raw);
    EXPECT_EQ(raw.error().display(), "invalid transaction: expected 65-byte signature (r || s || v)");
}

TEST(EvmEncodeSignedTransaction, ReportsEncoderErrorsAsInvalidTransaction) {
    const auto legacy =
        field_bytes(oxa_test::load_vectors("eip1559.json")["eip155_legacy"][0], "signing_data");
    oxa_signer::SignOutput out{std::vector<std::uint8_t>(65, 1), 1};
    const auto raw = SIGNER.encode_signed_transaction(legacy, out);
    ASSERT_FALSE(raw);
    EXPECT_EQ(raw.error().kind, SignerError::Kind::InvalidTransaction);
    EXPECT_EQ(raw.error().display(),
              "invalid transaction: unsupported transaction type (expected 0x01 or 0x02)");
}

// Personal messages --------------------------------------------------------------

class Eip191 : public testing::TestWithParam<NamedJson> {};

TEST_P(Eip191, SignatureMatchesWithVOf27Or28) {
    const auto& v = GetParam().data;
    const auto out = SIGNER.sign_message(field_bytes(v, "private_key"), bytes_of(v["message_utf8"].get<std::string>()));
    ASSERT_TRUE(out);
    const auto& sig = out.value().signature;
    EXPECT_EQ("0x" + hex(sig), v["signature"]);
    EXPECT_EQ(sig[64], v["v"].get<int>());
    EXPECT_EQ(out.value().recovery_id, sig[64]);
    EXPECT_EQ(address_of_point(oxa_test::recover_public_key(field_bytes(v, "message_hash"), sig, sig[64] - 27)),
              v["address"]);
}

INSTANTIATE_TEST_SUITE_P(EthAccount, Eip191,
                         testing::ValuesIn(cases("eip1559.json", "eip191_personal_sign", nullptr)),
                         case_name);

TEST(EvmSignMessage, EmptyMessageSignsThePrefixWithLengthZero) {
    const auto key = unhex("4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318");
    const auto digest = oxa_signer::keccak256(bytes_of("\x19" "Ethereum Signed Message:\n0"));
    const auto message = SIGNER.sign_message(key, {});
    const auto plain = SIGNER.sign(key, digest);
    ASSERT_TRUE(message);
    ASSERT_TRUE(plain);
    auto expected = plain.value().signature;
    expected[64] += 27;
    EXPECT_EQ(message.value().signature, expected);
    EXPECT_EQ(message.value().recovery_id, expected[64]);
}

TEST(EvmSignTransaction, SignsTheKeccakOfTheBytesWithParityZeroOrOne) {
    const auto key = unhex("4646464646464646464646464646464646464646464646464646464646464646");
    const auto tx = oxa_test::random_bytes(100);
    const auto out = SIGNER.sign_transaction(key, tx);
    ASSERT_TRUE(out);
    EXPECT_EQ(out.value().signature, SIGNER.sign(key, oxa_signer::keccak256(tx)).value().signature);
    EXPECT_LE(out.value().signature[64], 1);
}

}  // namespace
