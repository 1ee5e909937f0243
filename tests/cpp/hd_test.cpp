#include <gtest/gtest.h>

#include <secp256k1.h>

#include <algorithm>
#include <string>
#include <vector>

#include "oxa_signer/hashes.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/mnemonic.hpp"
#include "test_support.hpp"

namespace {

using namespace oxa_signer;
using oxa_test::hex;
using oxa_test::unhex;

const std::vector<std::uint8_t> SEED = unhex("000102030405060708090a0b0c0d0e0f");

Mnemonic parse(std::string_view phrase) {
    auto parsed = Mnemonic::from_phrase(phrase);
    if (!parsed) throw std::invalid_argument(parsed.error().display());
    return std::move(parsed).value();
}

std::string derive_hex(std::span<const std::uint8_t> seed, std::string_view path, Curve curve) {
    auto key = HdDeriver::derive(seed, path, curve);
    if (!key) return "error: " + key.error().display();
    EXPECT_EQ(key.value().size(), 32u);
    EXPECT_EQ(key.value().capacity(), 32u);
    return hex(key.value().bytes());
}

struct NodeCase {
    std::string name;
    Curve curve;
    std::string seed;
    std::string path;
    std::string private_key;
};

void PrintTo(const NodeCase& c, std::ostream* os) { *os << c.path; }

std::vector<NodeCase> published_nodes() {
    std::vector<NodeCase> out;
    for (const auto& [file, curve] : {std::pair{"bip32.json", Curve::Secp256k1},
                                      std::pair{"slip10-ed25519.json", Curve::Ed25519}}) {
        const auto vectors = oxa_test::load_vectors(file);
        for (const auto& vector : vectors.at("vectors")) {
            int node = 0;
            for (const auto& chain : vector.at("chains")) {
                out.push_back({std::string(curve == Curve::Secp256k1 ? "Bip32" : "Slip10") +
                                   "Vector" + std::to_string(vector.at("id").get<int>()) + "Node" +
                                   std::to_string(node++),
                               curve, vector.at("seed"), chain.at("path"),
                               chain.at("private_key")});
            }
        }
    }
    return out;
}

class PublishedNode : public testing::TestWithParam<NodeCase> {};

TEST_P(PublishedNode, PrivateKeyMatches) {
    const NodeCase& c = GetParam();
    EXPECT_EQ(derive_hex(unhex(c.seed), c.path, c.curve), c.private_key) << c.path;
}

INSTANTIATE_TEST_SUITE_P(Hd, PublishedNode, testing::ValuesIn(published_nodes()),
                         [](const testing::TestParamInfo<NodeCase>& info) {
                             return info.param.name;
                         });

struct AccountCase {
    std::string name;
    std::string mnemonic;
    std::string path;
    Curve curve;
    std::string private_key;
};

void PrintTo(const AccountCase& c, std::ostream* os) { *os << c.path; }

std::vector<AccountCase> published_accounts() {
    const auto file = oxa_test::load_vectors("addresses-abandon.json");
    std::vector<AccountCase> out;
    for (const auto& account : file.at("accounts")) {
        const bool ed = account.contains("private_key_seed");
        out.push_back({account.at("chain"), file.at("mnemonic"), account.at("path"),
                       ed ? Curve::Ed25519 : Curve::Secp256k1,
                       account.at(ed ? "private_key_seed" : "private_key")});
        int other = 0;
        for (const auto& alt : account.value("other_paths", nlohmann::json::array())) {
            out.push_back(
                {account.at("chain").get<std::string>() + "Path" + std::to_string(other++),
                 file.at("mnemonic"), alt.at("path"), Curve::Ed25519, alt.at("private_key_seed")});
        }
    }
    int ton = 0;
    for (const auto& wallet : file.at("ton_wallet_v5r1").at("published")) {
        out.push_back({"ton" + std::to_string(ton++), wallet.at("mnemonic"), wallet.at("path"),
                       Curve::Ed25519, wallet.at("private_key_seed")});
    }
    return out;
}

class PublishedAccount : public testing::TestWithParam<AccountCase> {};

TEST_P(PublishedAccount, KeyFromPhraseMatches) {
    const AccountCase& c = GetParam();
    auto key = HdDeriver::derive_from_mnemonic(parse(c.mnemonic), "", c.path, c.curve);
    ASSERT_TRUE(key) << key.error().display();
    EXPECT_EQ(hex(key.value().bytes()), c.private_key);
}

INSTANTIATE_TEST_SUITE_P(Hd, PublishedAccount, testing::ValuesIn(published_accounts()),
                         [](const testing::TestParamInfo<AccountCase>& info) {
                             return info.param.name;
                         });

struct PathCase {
    std::string name;
    std::string path;
    std::string error;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << testing::PrintToString(c.path); }

std::string start_text(const std::string& path) {
    return "path must start with 'm/', got '" + path + "'";
}
std::string empty_text(const std::string& path) { return "empty component in path '" + path + "'"; }
std::string index_text(const std::string& component, const std::string& path) {
    return "invalid index '" + component + "' in path '" + path + "'";
}

class ValidPath : public testing::TestWithParam<std::string> {};

TEST_P(ValidPath, PassesValidation) {
    auto status = HdDeriver::validate_path(GetParam());
    EXPECT_TRUE(status) << status.error().display();
}

INSTANTIATE_TEST_SUITE_P(Hd, ValidPath,
                         testing::Values("m", "m/44'/60'/0'/0/0", "m/+44'", "m/00044'", "m/44''",
                                         "m/0/1'''", "m/2147483647", "m/2147483647'"),
                         oxa_test::by_index);

std::vector<PathCase> invalid_paths() {
    return {
        {"Empty", "", start_text("")},
        {"SlashOnly", "/", start_text("/")},
        {"CapitalM", "M/44'", start_text("M/44'")},
        {"NoPrefix", "44'/0", start_text("44'/0")},
        {"MWithoutSlash", "m44", start_text("m44")},
        {"MasterWithSpace", "m ", start_text("m ")},
        {"MSlashAlone", "m/", empty_text("m/")},
        {"TrailingSlash", "m/44'/", empty_text("m/44'/")},
        {"DoubleSlash", "m/44'//0", empty_text("m/44'//0")},
        {"ApostropheOnly", "m/'", empty_text("m/'")},
        {"ApostrophesOnly", "m/0/''", empty_text("m/0/''")},
        {"LetterH", "m/44h", index_text("44h", "m/44h")},
        {"CapitalH", "m/44H/0", index_text("44H", "m/44H/0")},
        {"LonePlus", "m/+", index_text("+", "m/+")},
        {"LonePlusHardened", "m/+'", index_text("+'", "m/+'")},
        {"DoublePlus", "m/++1", index_text("++1", "m/++1")},
        {"Minus", "m/-1", index_text("-1", "m/-1")},
        {"LoneMinus", "m/-", index_text("-", "m/-")},
        {"Space", "m/ 1", index_text(" 1", "m/ 1")},
        {"HexNumber", "m/0x10", index_text("0x10", "m/0x10")},
        {"InnerApostrophe", "m/1'a", index_text("1'a", "m/1'a")},
        {"FullwidthDigit", "m/\xef\xbc\x91", index_text("\xef\xbc\x91", "m/\xef\xbc\x91")},
        {"Max32BitIndex", "m/4294967295", index_text("4294967295", "m/4294967295")},
        {"Overflow32Bit", "m/4294967296", index_text("4294967296", "m/4294967296")},
        {"HugeNumber", "m/99999999999999999999999",
         index_text("99999999999999999999999", "m/99999999999999999999999")},
        {"IndexAt2To31", "m/2147483648", index_text("2147483648", "m/2147483648")},
        {"HardenedIndexAt2To31", "m/2147483648'", index_text("2147483648'", "m/2147483648'")},
        {"FirstFailureDecides", "m/0/x/", index_text("x", "m/0/x/")},
        {"EmptyBeforeInvalid", "m//x", empty_text("m//x")},
    };
}

class InvalidPath : public testing::TestWithParam<PathCase> {};

TEST_P(InvalidPath, ValidateGivesText) {
    const PathCase& c = GetParam();
    auto status = HdDeriver::validate_path(c.path);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().kind, HdError::Kind::InvalidPath);
    EXPECT_EQ(status.error().display(), "invalid derivation path: " + c.error);
}

TEST_P(InvalidPath, BothCurvesRefuse) {
    const PathCase& c = GetParam();
    for (Curve curve : {Curve::Secp256k1, Curve::Ed25519}) {
        auto key = HdDeriver::derive(SEED, c.path, curve);
        ASSERT_FALSE(key);
        EXPECT_EQ(key.error().kind, HdError::Kind::InvalidPath);
        EXPECT_EQ(key.error().text, c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Hd, InvalidPath, testing::ValuesIn(invalid_paths()),
                         [](const testing::TestParamInfo<PathCase>& info) {
                             return info.param.name;
                         });

TEST(Hd, IndexAt2To31IsRefusedInsteadOfWrapping) {
    // Without the refusal, 2^31 hardened would wrap to the normal index 0.
    for (Curve curve : {Curve::Secp256k1, Curve::Ed25519}) {
        EXPECT_EQ(derive_hex(SEED, "m/2147483648'", curve),
                  "error: invalid derivation path: " + index_text("2147483648'", "m/2147483648'"));
    }
    EXPECT_NE(derive_hex(SEED, "m/2147483647'", Curve::Secp256k1).rfind("error", 0), 0u);
    EXPECT_NE(derive_hex(SEED, "m/2147483647'", Curve::Ed25519).rfind("error", 0), 0u);
}

TEST(Hd, LeadingPlusAndZerosDeriveTheSameKey) {
    for (Curve curve : {Curve::Secp256k1, Curve::Ed25519}) {
        const std::string plain = derive_hex(SEED, "m/44'/0'", curve);
        EXPECT_EQ(derive_hex(SEED, "m/+44'/0'", curve), plain);
        EXPECT_EQ(derive_hex(SEED, "m/0044'/+0'", curve), plain);
    }
}

TEST(Hd, Secp256k1RefusesRepeatedHardenedMarks) {
    EXPECT_EQ(derive_hex(SEED, "m/44''", Curve::Secp256k1),
              "error: invalid derivation path: Malformatted index during derivation: 44''");
    auto key = HdDeriver::derive(SEED, "m/0'/1/2'''/3", Curve::Secp256k1);
    ASSERT_FALSE(key);
    EXPECT_EQ(key.error().kind, HdError::Kind::InvalidPath);
    EXPECT_EQ(key.error().text, "Malformatted index during derivation: 2'''");
}

TEST(Hd, Ed25519ReadsRepeatedMarksAsHardened) {
    EXPECT_EQ(derive_hex(SEED, "m/44''/1'''", Curve::Ed25519),
              derive_hex(SEED, "m/44'/1'", Curve::Ed25519));
}

TEST(Hd, Ed25519RefusesNormalComponents) {
    const auto seed =
        parse(
            "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon "
            "abandon about")
            .to_seed("");
    EXPECT_TRUE(HdDeriver::derive(seed.bytes(), "m/44'/501'/0'/0'", Curve::Ed25519));
    for (const char* path : {"m/44'/501'/0'/0", "m/0", "m/0/1''"}) {
        auto key = HdDeriver::derive(seed.bytes(), path, Curve::Ed25519);
        ASSERT_FALSE(key) << path;
        EXPECT_EQ(key.error().kind, HdError::Kind::HardenedOnly);
        EXPECT_EQ(key.error().display(), "ed25519 requires hardened-only derivation");
    }
}

TEST(Hd, DeriveFromMnemonicReportsPathErrors) {
    const Mnemonic mnemonic = parse(
        "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon "
        "about");
    auto bad = HdDeriver::derive_from_mnemonic(mnemonic, "", "m/44h", Curve::Secp256k1);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().text, index_text("44h", "m/44h"));
    auto soft = HdDeriver::derive_from_mnemonic(mnemonic, "", "m/44'/0", Curve::Ed25519);
    ASSERT_FALSE(soft);
    EXPECT_EQ(soft.error().kind, HdError::Kind::HardenedOnly);
}

TEST(Hd, EmptySeedDerivesWithoutFault) {
    for (Curve curve : {Curve::Secp256k1, Curve::Ed25519}) {
        EXPECT_TRUE(HdDeriver::derive(std::span<const std::uint8_t>(), "m/0'", curve));
    }
}

TEST(Hd, DerivationFailedDisplay) {
    EXPECT_EQ((HdError{HdError::Kind::DerivationFailed, "x"}).display(), "derivation failed: x");
}

// An independent walk, one level at a time, straight on HMAC-SHA512 and
// libsecp256k1, to compare with whole-path derivation on random paths.
class Stepper {
public:
    Stepper(std::span<const std::uint8_t> seed, Curve curve) : m_curve(curve) {
        const std::string_view key = curve == Curve::Secp256k1 ? "Bitcoin seed" : "ed25519 seed";
        hmac_sha512(oxa_test::bytes_of(key), seed, m_node);
    }
    ~Stepper() { secp256k1_context_destroy(m_ctx); }

    void child(std::uint32_t index) {
        std::vector<std::uint8_t> data;
        if (index >= HARDENED_BIT) {
            data.push_back(0);
            data.insert(data.end(), m_node.begin(), m_node.begin() + 32);
        } else {
            secp256k1_pubkey point;
            ASSERT_TRUE(secp256k1_ec_pubkey_create(m_ctx, &point, m_node.data()));
            data.resize(33);
            std::size_t len = 33;
            ASSERT_TRUE(secp256k1_ec_pubkey_serialize(m_ctx, data.data(), &len, &point,
                                                      SECP256K1_EC_COMPRESSED));
        }
        for (int shift = 24; shift >= 0; shift -= 8) {
            data.push_back(static_cast<std::uint8_t>(index >> shift));
        }
        Bytes64 mac{};
        hmac_sha512(std::span(m_node).subspan(32), data, mac);
        if (m_curve == Curve::Secp256k1) {
            ASSERT_TRUE(secp256k1_ec_seckey_tweak_add(m_ctx, mac.data(), m_node.data()));
        }
        m_node = mac;
    }

    std::string key_hex() const { return hex(std::span(m_node).first(32)); }

private:
    Curve m_curve;
    Bytes64 m_node{};
    secp256k1_context* m_ctx =
        secp256k1_context_create(SECP256K1_CONTEXT_SIGN | SECP256K1_CONTEXT_VERIFY);
};

TEST(Hd, FullPathEqualsStepByStepDerivation) {
    auto& rng = oxa_test::test_rng();
    for (int round = 0; round < 40; ++round) {
        const Curve curve = round % 2 == 0 ? Curve::Secp256k1 : Curve::Ed25519;
        const auto seed = oxa_test::random_bytes(16 + rng() % 49);
        Stepper stepper(seed, curve);
        std::string path = "m";
        const int depth = static_cast<int>(rng() % 7);
        for (int level = 0; level < depth; ++level) {
            const std::uint32_t number =
                level == 0 ? HARDENED_BIT - 1 : static_cast<std::uint32_t>(rng() % HARDENED_BIT);
            const bool hardened = curve == Curve::Ed25519 || rng() % 2 == 0;
            path += "/" + std::to_string(number) + (hardened ? "'" : "");
            stepper.child(hardened ? (number | HARDENED_BIT) : number);
        }
        EXPECT_EQ(derive_hex(seed, path, curve), stepper.key_hex()) << path;
    }
}

}  // namespace
