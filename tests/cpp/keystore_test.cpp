#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "oxa_core/keystore_file.hpp"
#include "oxa_signer/keystore.hpp"
#include "test_support.hpp"

using nlohmann::json;
using oxa_core::Keystore;
using oxa_core::KeystoreCrypto;
using oxa_core::parse_keystore;
using oxa_signer::open_keystore;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::load_vectors;

namespace {

const json& vectors() {
    static const json file = load_vectors("web3-secret-storage.json");
    return file;
}

const json& published(std::string_view name) {
    for (const json& entry : vectors().at("keystores")) {
        if (entry.at("name") == name) return entry;
    }
    throw std::runtime_error("no keystore vector " + std::string(name));
}

Keystore parsed(const json& document) { return parse_keystore(document.dump()).value(); }

std::string open_outcome(const KeystoreCrypto& crypto, std::string_view password) {
    const auto opened = open_keystore(crypto, bytes_of(password));
    return opened ? hex(opened.value().bytes()) : opened.error().display();
}

class KeystoreVectors : public ::testing::TestWithParam<const char*> {};

TEST_P(KeystoreVectors, OpenToTheKey) {
    const json& entry = published(GetParam());
    const std::string password = vectors().at("details").at("password");
    EXPECT_EQ(open_outcome(parsed(entry.at("keystore")).crypto, password),
              entry.at("expected_private_key").get<std::string>());
    EXPECT_EQ(open_outcome(parsed(entry.at("keystore")).crypto, password + "x"),
              "decryption failed: wrong keystore passphrase or corrupted file");
}

INSTANTIATE_TEST_SUITE_P(Published, KeystoreVectors, ::testing::Values("pbkdf2", "scrypt"),
                         [](const auto& info) { return std::string(info.param); });

TEST(Keystore, PublishedMacThatDoesNotVerifyIsRefused) {
    const json& entry = vectors().at("ethereum_org_scrypt_vector").at("keystore");
    EXPECT_EQ(open_outcome(parsed(entry).crypto, "testpassword"),
              "decryption failed: wrong keystore passphrase or corrupted file");
}

TEST(Keystore, SealedKeyOpensAndEachSealIsFresh) {
    const auto key = oxa_test::random_bytes(32);
    const std::span<const std::uint8_t, 32> fixed(key.data(), 32);
    const KeystoreCrypto first = oxa_signer::seal_keystore(fixed, bytes_of("pw")).value();
    const KeystoreCrypto second = oxa_signer::seal_keystore(fixed, bytes_of("pw")).value();
    EXPECT_EQ(open_outcome(first, "pw"), hex(key));
    EXPECT_NE(first.salt, second.salt);
    EXPECT_NE(first.iv, second.iv);
    EXPECT_NE(first.ciphertext, second.ciphertext);
    EXPECT_EQ((std::array{first.n, first.r, first.p, first.dklen}),
              (std::array{65536u, 8u, 1u, 32u}));
    EXPECT_EQ(first.salt.size(), 64u);
    EXPECT_EQ(first.iv.size(), 32u);
}

TEST(Keystore, WrittenTextReadsBackAsTheSameRecord) {
    Keystore keystore = parsed(published("pbkdf2").at("keystore"));
    keystore.address = "008aeeda4d805471df9b2a5b0f38a0c3bcba786b";
    const std::string text = oxa_core::serialize_keystore(keystore);
    const Keystore again = parse_keystore(text).value();
    EXPECT_EQ(oxa_core::serialize_keystore(again), text);
    EXPECT_EQ(json::parse(text).at("crypto"), published("pbkdf2").at("keystore").at("crypto"));
    EXPECT_EQ(again.address, keystore.address);
}

// Each change leaves an otherwise valid keystore (the published scrypt one,
// N = 2^18) refused before its key derivation.
struct Refusal {
    const char* name;
    std::function<void(KeystoreCrypto&)> change;
    const char* error;
};

class KeystoreRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(KeystoreRefuses, BeforeDeriving) {
    KeystoreCrypto crypto = parsed(published("scrypt").at("keystore")).crypto;
    GetParam().change(crypto);
    EXPECT_EQ(open_outcome(crypto, "testpassword"),
              std::string("invalid parameters: ") + GetParam().error);
}

void to_pbkdf2(KeystoreCrypto& crypto, std::uint32_t c, std::string prf) {
    crypto.kdf = oxa_core::KeystoreKdf::Pbkdf2;
    crypto.c = c;
    crypto.prf = std::move(prf);
}

INSTANTIATE_TEST_SUITE_P(
    P, KeystoreRefuses,
    ::testing::Values(
        Refusal{"SaltOdd", [](auto& c) { c.salt += "0"; },
                "invalid hex in salt: Odd number of digits"},
        Refusal{"MacNotHex", [](auto& c) { c.mac[3] = 'g'; },
                "invalid hex in mac: Invalid character 'g' at position 3"},
        Refusal{"Iv15", [](auto& c) { c.iv.resize(30); }, "iv must be 16 bytes, got 15"},
        Refusal{"Key31", [](auto& c) { c.ciphertext.resize(62); }, "key must be 32 bytes, got 31"},
        Refusal{"Key64", [](auto& c) { c.ciphertext += c.ciphertext; },
                "key must be 32 bytes, got 64"},
        Refusal{"Mac20", [](auto& c) { c.mac.resize(40); }, "mac must be 32 bytes, got 20"},
        Refusal{"Dklen64", [](auto& c) { c.dklen = 64; },
                "dklen=64 is unsupported, expected exactly 32"},
        Refusal{"N0", [](auto& c) { c.n = 0; }, "scrypt N must be a power of 2 above 1, got 0"},
        Refusal{"N1", [](auto& c) { c.n = 1; }, "scrypt N must be a power of 2 above 1, got 1"},
        Refusal{"N3", [](auto& c) { c.n = 3; }, "scrypt N must be a power of 2 above 1, got 3"},
        Refusal{"R0", [](auto& c) { c.r = 0; }, "scrypt r and p must be at least 1, got r=0, p=8"},
        Refusal{"Memory2GiB",
                [](auto& c) {
                    c.n = 1u << 21;
                    c.r = 8;
                    c.p = 1;
                },
                "scrypt N=2097152, r=8 needs 2048 MiB of memory, above the maximum 1024 MiB"},
        Refusal{"Work2To24",
                [](auto& c) {
                    c.n = 1u << 20;
                    c.r = 1;
                    c.p = 16;
                },
                "scrypt N*r*p=16777216 is above the maximum 8388608 (16 times the default work)"},
        Refusal{"HugeR",
                [](auto& c) {
                    c.n = 2;
                    c.r = 0xffffffffu;
                },
                "scrypt N=2, r=4294967295 needs 1048576 MiB of memory, above the maximum 1024 "
                "MiB"},
        Refusal{"Pbkdf2Zero", [](auto& c) { to_pbkdf2(c, 0, "hmac-sha256"); },
                "pbkdf2 c=0 is outside 1 to 10000000"},
        Refusal{"Pbkdf2TooMany", [](auto& c) { to_pbkdf2(c, 10'000'001, "hmac-sha256"); },
                "pbkdf2 c=10000001 is outside 1 to 10000000"},
        Refusal{"Pbkdf2Sha512", [](auto& c) { to_pbkdf2(c, 1, "hmac-sha512"); },
                "unsupported pbkdf2 prf 'hmac-sha512' (expected hmac-sha256)"}),
    [](const auto& info) { return std::string(info.param.name); });

// Low costs that other tools write are accepted: the MAC, not a minimum,
// decides. A wrong MAC after a cheap derivation shows the cost was taken.
TEST(Keystore, LowCostsAreDerivedNotRefused) {
    KeystoreCrypto crypto = parsed(published("scrypt").at("keystore")).crypto;
    crypto.n = 1u << 12;
    EXPECT_EQ(open_outcome(crypto, "testpassword"),
              "decryption failed: wrong keystore passphrase or corrupted file");
    to_pbkdf2(crypto, 1, "hmac-sha256");
    EXPECT_EQ(open_outcome(crypto, "testpassword"),
              "decryption failed: wrong keystore passphrase or corrupted file");
}

struct ParseCase {
    const char* name;
    std::function<void(json&)> change;
    const char* error_start;  // the reader adds the place
};

class KeystoreFile : public ::testing::TestWithParam<ParseCase> {};

TEST_P(KeystoreFile, RefusesWithItsRule) {
    json document = published("pbkdf2").at("keystore");
    GetParam().change(document);
    const auto read = parse_keystore(document.dump());
    ASSERT_FALSE(read);
    EXPECT_TRUE(read.error().starts_with(GetParam().error_start)) << read.error();
}

INSTANTIATE_TEST_SUITE_P(
    Rules, KeystoreFile,
    ::testing::Values(
        ParseCase{"Version2", [](json& d) { d["version"] = 2; },
                  "unsupported keystore version 2 (expected 3)"},
        ParseCase{"VersionText", [](json& d) { d["version"] = "3"; }, "invalid type: string"},
        ParseCase{"NoVersion", [](json& d) { d.erase("version"); }, "missing field `version`"},
        ParseCase{"NoCrypto", [](json& d) { d.erase("crypto"); }, "missing field `crypto`"},
        ParseCase{"BothCryptos", [](json& d) { d["Crypto"] = d["crypto"]; },
                  "both `crypto` and `Crypto` are present"},
        ParseCase{"Cbc", [](json& d) { d["crypto"]["cipher"] = "aes-128-cbc"; },
                  "unsupported cipher 'aes-128-cbc' (expected aes-128-ctr)"},
        ParseCase{"Argon", [](json& d) { d["crypto"]["kdf"] = "argon2id"; },
                  "unsupported kdf 'argon2id' (expected scrypt or pbkdf2)"},
        ParseCase{"NoIterations", [](json& d) { d["crypto"]["kdfparams"].erase("c"); },
                  "missing field `c` in kdfparams"},
        ParseCase{"ScryptWithoutN", [](json& d) { d["crypto"]["kdf"] = "scrypt"; },
                  "missing field `n` in kdfparams"},
        ParseCase{"NoMac", [](json& d) { d["crypto"].erase("mac"); }, "missing field `mac`"},
        ParseCase{"NotObject", [](json& d) { d = json::array(); }, "invalid length 0"},
        ParseCase{"AddressNumber", [](json& d) { d["address"] = 5; }, "invalid type: integer"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KeystoreFile, AcceptsCapitalCryptoAndExtras) {
    json document = published("scrypt").at("keystore");
    document["Crypto"] = document["crypto"];
    document.erase("crypto");
    document["address"] = nullptr;
    document["x-extra"] = {{"any", 1}};
    const auto read = parse_keystore(document.dump());
    ASSERT_TRUE(read) << read.error();
    EXPECT_FALSE(read.value().address);
    EXPECT_EQ(read.value().crypto.n, 262144u);
}

TEST(KeystoreFile, TextThatIsNotJsonIsRefused) {
    for (std::string_view text : {"", "{", "not json", "{\"version\":3} x"}) {
        EXPECT_FALSE(parse_keystore(text)) << text;
    }
}

}  // namespace
