#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "oxa_core/error.hpp"
#include "oxa_core/utf8.hpp"
#include "oxa_core/wallet_file.hpp"
#include "test_support.hpp"

using nlohmann::json;
using oxa_core::ChainType;
using oxa_core::CryptoEnvelope;
using oxa_core::EncryptedWallet;
using oxa_core::KeyType;
using oxa_core::parse_encrypted_wallet;
using oxa_core::RawJson;
using oxa_core::serialize_encrypted_wallet;
using oxa_core::WalletAccount;

namespace {

const std::filesystem::path WALLETS_DIR = std::filesystem::path(OXA_TEST_DATA_DIR) / "wallets";

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

EncryptedWallet parsed(std::string_view text) {
    auto wallet = parse_encrypted_wallet(text);
    if (!wallet) throw std::runtime_error(wallet.error());
    return std::move(wallet).value();
}

bool all_digits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "<message> at line L column C"
bool has_place(std::string_view error) {
    const std::size_t at_line = error.rfind(" at line ");
    const std::size_t column = error.rfind(" column ");
    if (at_line == std::string_view::npos || column == std::string_view::npos || at_line == 0 ||
        column < at_line) {
        return false;
    }
    return all_digits(error.substr(at_line + 9, column - at_line - 9)) &&
           all_digits(error.substr(column + 8));
}

// YYYY-MM-DDTHH:MM:SS, an optional fraction of 3, 6 or 9 digits, "+00:00".
bool is_utc_rfc3339(std::string_view text) {
    if (text.size() < 25 || !text.ends_with("+00:00")) return false;
    const std::string_view clock = text.substr(0, 19);
    for (std::size_t i = 0; i < clock.size(); ++i) {
        const char expected = i == 4 || i == 7     ? '-'
                              : i == 10            ? 'T'
                              : i == 13 || i == 16 ? ':'
                                                   : '0';
        if (expected == '0' ? !all_digits(clock.substr(i, 1)) : clock[i] != expected) return false;
    }
    const std::string_view fraction = text.substr(19, text.size() - 25);
    if (fraction.empty()) return true;
    const std::size_t digits = fraction.size() - 1;
    return fraction[0] == '.' && (digits == 3 || digits == 6 || digits == 9) &&
           all_digits(fraction.substr(1));
}

struct ReadCase {
    std::string name;
    std::string text;
    std::string error;  // empty for a valid text
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

std::vector<ReadCase> read_cases(const char* section) {
    std::vector<ReadCase> out;
    const json file = oxa_test::load_vectors("wallet-file.json");
    for (const json& c : file.at(section)) {
        out.push_back({c.at("name"), c.at("text"), c.value("error", "")});
    }
    return out;
}

std::string random_text(std::mt19937_64& rng) {
    static const std::vector<std::string> pieces = {"a",
                                                    "Z",
                                                    "0",
                                                    " ",
                                                    "\"",
                                                    "\\",
                                                    "/",
                                                    "\b",
                                                    "\f",
                                                    "\n",
                                                    "\r",
                                                    "\t",
                                                    std::string(1, '\0'),
                                                    "\x1f",
                                                    "\x7f",
                                                    "é",
                                                    "—",
                                                    "😀"};
    std::string out;
    for (std::size_t n = rng() % 12; n > 0; --n) out += pieces[rng() % pieces.size()];
    return out;
}

json random_generic(std::mt19937_64& rng, int depth) {
    switch (rng() % (depth > 0 ? 6 : 4)) {
        case 0: return nullptr;
        case 1: return rng() % 1000;
        case 2: return -static_cast<std::int64_t>(rng() % 1000);
        case 3: return random_text(rng);
        case 4: {
            json array = json::array();
            for (std::size_t n = rng() % 3; n > 0; --n) {
                array.push_back(random_generic(rng, depth - 1));
            }
            return array;
        }
        default: {
            json object = json::object();
            for (std::size_t n = rng() % 4; n > 0; --n) {
                object[random_text(rng)] = random_generic(rng, depth - 1);
            }
            return object;
        }
    }
}

EncryptedWallet random_wallet(std::mt19937_64& rng) {
    EncryptedWallet wallet;
    wallet.oxa_version = static_cast<std::uint32_t>(rng());
    wallet.id = random_text(rng);
    wallet.name = random_text(rng);
    wallet.created_at = random_text(rng);
    if (rng() % 2 == 0) wallet.chain_type = oxa_core::ALL_CHAIN_TYPES[rng() % 6];
    for (std::size_t n = rng() % 7; n > 0; --n) {
        wallet.accounts.push_back(
            {random_text(rng), random_text(rng), random_text(rng), random_text(rng)});
    }
    wallet.crypto = RawJson(random_generic(rng, 3));
    wallet.key_type = rng() % 2 == 0 ? KeyType::Mnemonic : KeyType::PrivateKey;
    if (rng() % 2 == 0) wallet.metadata = RawJson(random_generic(rng, 3));
    return wallet;
}

}  // namespace

TEST(WalletFile, EveryGoldenFileStillReads) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(WALLETS_DIR)) {
        if (entry.path().extension() != ".json") continue;
        ++files;
        auto wallet = parse_encrypted_wallet(read_file(entry.path()));
        EXPECT_TRUE(wallet) << entry.path() << ": " << wallet.error();
    }
    EXPECT_GE(files, 1);
}

TEST(WalletFile, GoldenMnemonicWalletReadsItsFields) {
    const EncryptedWallet wallet = parsed(read_file(WALLETS_DIR / "v2-mnemonic.json"));
    EXPECT_EQ(wallet.oxa_version, 2u);
    EXPECT_EQ(wallet.id, "3f0c2a6e-8d1b-4c5e-9a7f-2b6d4e8f1a3c");
    EXPECT_EQ(wallet.name, "Golden \"abandon\" wallet — Ünïcode");
    EXPECT_EQ(wallet.created_at, "2025-03-14T09:26:53.589793+00:00");
    EXPECT_FALSE(wallet.chain_type);
    EXPECT_EQ(wallet.key_type, KeyType::Mnemonic);
    EXPECT_TRUE(wallet.metadata.is_null());
    ASSERT_EQ(wallet.accounts.size(), oxa_core::ACCOUNT_ORDER.size());
    for (std::size_t i = 0; i < wallet.accounts.size(); ++i) {
        const WalletAccount& account = wallet.accounts[i];
        EXPECT_EQ(account.chain_id,
                  oxa_core::default_chain_for_type(oxa_core::ACCOUNT_ORDER[i]).chain_id);
        EXPECT_EQ(account.account_id, account.chain_id + ":" + account.address);
    }
    EXPECT_EQ(wallet.accounts[0].address, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94");
    EXPECT_EQ(wallet.accounts[5].derivation_path, "m/44'/607'/0'");
    const json crypto = wallet.crypto.parse();
    EXPECT_EQ(crypto.at("kdfparams").at("n"), 65536);
    EXPECT_EQ(crypto.at("cipherparams").at("iv"), "0a1b2c3d4e5f607182939495");
}

TEST(WalletFile, GoldenMnemonicWalletIsRewrittenByteForByte) {
    const std::string text = read_file(WALLETS_DIR / "v2-mnemonic.json");
    EXPECT_EQ(serialize_encrypted_wallet(parsed(text)), text);
}

// The vault's scan reads summaries: they must accept and refuse exactly the
// files the full reader does, with the same texts, so the same files are
// skipped with the same warnings.
void expect_summary_agrees(std::string_view text) {
    const auto wallet = parse_encrypted_wallet(text);
    oxa_core::WalletSummary summary;
    const auto read = oxa_core::parse_wallet_summary(text, summary);
    ASSERT_EQ(read.ok(), wallet.ok()) << text;
    if (!wallet) {
        EXPECT_EQ(read.error(), wallet.error());
        return;
    }
    EXPECT_EQ(summary.id, wallet.value().id);
    EXPECT_EQ(summary.name, wallet.value().name);
    EXPECT_EQ(summary.created_at, wallet.value().created_at);
}

TEST(WalletFile, EveryCutOfAGoldenFileFailsWithAPlace) {
    const std::string text = read_file(WALLETS_DIR / "v2-mnemonic.json");
    for (std::size_t length = 0; length < text.size(); ++length) {
        auto wallet = parse_encrypted_wallet(std::string_view(text).substr(0, length));
        ASSERT_FALSE(wallet) << "prefix of " << length << " bytes was accepted";
        expect_summary_agrees(std::string_view(text).substr(0, length));
        ASSERT_TRUE(has_place(wallet.error())) << wallet.error();
    }
}

TEST(WalletFile, MutantsFailWithAPlaceOrSurviveRewriting) {
    const std::string golden = read_file(WALLETS_DIR / "v2-mnemonic.json");
    static const std::string alphabet = "{}[]\",:\\ 0-9.eEnul\n\x01\xc3\xff";
    auto& rng = oxa_test::test_rng();
    for (int i = 0; i < 2000; ++i) {
        std::string text = golden;
        for (std::size_t edits = 1 + rng() % 4; edits > 0; --edits) {
            const std::size_t at = rng() % text.size();
            const char c = alphabet[rng() % alphabet.size()];
            switch (rng() % 3) {
                case 0: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c); break;
                case 1: text.erase(at, 1); break;
                default: text[at] = c;
            }
        }
        expect_summary_agrees(text);
        auto wallet = parse_encrypted_wallet(text);
        if (!wallet) {
            ASSERT_TRUE(has_place(wallet.error())) << wallet.error();
            continue;
        }
        auto again = parse_encrypted_wallet(serialize_encrypted_wallet(wallet.value()));
        ASSERT_TRUE(again) << again.error();
        EXPECT_EQ(again.value(), wallet.value());
    }
}

class WalletReadError : public ::testing::TestWithParam<ReadCase> {};

TEST_P(WalletReadError, IsRefusedWithItsPlace) {
    auto wallet = parse_encrypted_wallet(GetParam().text);
    ASSERT_FALSE(wallet);
    EXPECT_EQ(wallet.error(), GetParam().error);
    expect_summary_agrees(GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(WalletFile, WalletReadError, ::testing::ValuesIn(read_cases("errors")),
                         oxa_test::by_index);

class WalletReadValid : public ::testing::TestWithParam<ReadCase> {};

TEST_P(WalletReadValid, Reads) {
    auto wallet = parse_encrypted_wallet(GetParam().text);
    EXPECT_TRUE(wallet) << wallet.error();
    expect_summary_agrees(GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(WalletFile, WalletReadValid, ::testing::ValuesIn(read_cases("valid")),
                         oxa_test::by_index);

TEST(WalletFile, MembersInAnyOrderFillTheirFields) {
    const EncryptedWallet wallet = parsed(
        R"({"key_type":"private_key","crypto":null,"accounts":[],"created_at":"t","name":"n","id":"i","oxa_version":7})");
    EXPECT_EQ(wallet.oxa_version, 7u);
    EXPECT_EQ(wallet.id, "i");
    EXPECT_EQ(wallet.name, "n");
    EXPECT_EQ(wallet.created_at, "t");
    EXPECT_TRUE(wallet.crypto.is_null());
    EXPECT_EQ(wallet.key_type, KeyType::PrivateKey);
}

TEST(WalletFile, RecordAsArrayTakesDeclarationOrder) {
    const EncryptedWallet wallet = parsed(
        R"([1,"i","n","t","solana",[["a","b","c","d"]],{"k":1},{"mnemonic":null},{"m":[1]}])");
    EXPECT_EQ(wallet.oxa_version, 1u);
    EXPECT_EQ(wallet.chain_type, ChainType::Solana);
    const std::vector<WalletAccount> accounts = {{"a", "b", "c", "d"}};
    EXPECT_EQ(wallet.accounts, accounts);
    EXPECT_EQ(wallet.crypto, RawJson(json{{"k", 1}}));
    EXPECT_EQ(wallet.key_type, KeyType::Mnemonic);
    EXPECT_EQ(wallet.metadata, RawJson(json{{"m", {1}}}));
}

TEST(WalletFile, EveryChainTypeNameReadsBackInBothForms) {
    for (ChainType type : oxa_core::ALL_CHAIN_TYPES) {
        const std::string name(oxa_core::chain_type_name(type));
        for (const std::string& form : {"\"" + name + "\"", "{\"" + name + "\":null}"}) {
            const EncryptedWallet wallet = parsed(
                R"({"oxa_version":2,"id":"i","name":"n","created_at":"t","accounts":[],"crypto":{},"key_type":"mnemonic","chain_type":)" +
                form + "}");
            EXPECT_EQ(wallet.chain_type, type) << form;
        }
    }
}

TEST(WalletFile, UnknownMembersAreDroppedOnRewrite) {
    EncryptedWallet wallet = parsed(
        R"({"x":1,"oxa_version":2,"id":"i","name":"n","created_at":"t","accounts":[{"account_id":"a","address":"b","chain_id":"c","derivation_path":"d","y":[]}],"crypto":{},"key_type":"mnemonic","metadata":null})");
    const std::string text = serialize_encrypted_wallet(wallet);
    EXPECT_EQ(text.find("\"x\""), std::string::npos);
    EXPECT_EQ(text.find("\"y\""), std::string::npos);
    EXPECT_EQ(text.find("metadata"), std::string::npos);
    EXPECT_EQ(parsed(text), wallet);
}

TEST(WalletFile, WritesThePrettyFormExactly) {
    EncryptedWallet wallet;
    wallet.oxa_version = 1;
    wallet.id = "id-1";
    wallet.name = "n";
    wallet.created_at = "2024-01-02T03:04:05+00:00";
    wallet.chain_type = ChainType::Bitcoin;
    wallet.crypto = RawJson(json{{"z", 1}, {"a", {{"c", {1, {{"d", nullptr}}}}, {"b", "x"}}}});
    wallet.key_type = KeyType::PrivateKey;
    wallet.metadata = RawJson(json{{"tags", json::array()}, {"e", json::object()}});
    EXPECT_EQ(serialize_encrypted_wallet(wallet),
              "{\n"
              "  \"oxa_version\": 1,\n"
              "  \"id\": \"id-1\",\n"
              "  \"name\": \"n\",\n"
              "  \"created_at\": \"2024-01-02T03:04:05+00:00\",\n"
              "  \"chain_type\": \"bitcoin\",\n"
              "  \"accounts\": [],\n"
              "  \"crypto\": {\n"
              "    \"a\": {\n"
              "      \"b\": \"x\",\n"
              "      \"c\": [\n"
              "        1,\n"
              "        {\n"
              "          \"d\": null\n"
              "        }\n"
              "      ]\n"
              "    },\n"
              "    \"z\": 1\n"
              "  },\n"
              "  \"key_type\": \"private_key\",\n"
              "  \"metadata\": {\n"
              "    \"e\": {},\n"
              "    \"tags\": []\n"
              "  }\n"
              "}");
}

TEST(WalletFile, GenericValueWritesTheLastRepeatedKey) {
    EncryptedWallet wallet = parsed(
        R"({"oxa_version":2,"id":"i","name":"n","created_at":"t","accounts":[],"crypto":{"k":1,"k":2},"key_type":"mnemonic"})");
    EXPECT_NE(serialize_encrypted_wallet(wallet).find("  \"crypto\": {\n    \"k\": 2\n  },\n"),
              std::string::npos);
}

TEST(WalletFile, TextIsEscapedOnlyWhereJsonRequires) {
    EncryptedWallet wallet;
    wallet.name = std::string("q\"b\\s/\b\f\n\r\t\x01\x1f\x7f") + "é😀" + std::string(1, '\0');
    const std::string text = serialize_encrypted_wallet(wallet);
    EXPECT_NE(text.find(R"("name": "q\"b\\s/\b\f\n\r\t\u0001\u001f)"
                        "\x7f"
                        R"(é😀\u0000",)"),
              std::string::npos)
        << text;
    EXPECT_EQ(parsed(text).name, wallet.name);
}

TEST(WalletFile, InvalidUtf8IsWrittenAsReplacementChars) {
    EncryptedWallet wallet;
    wallet.name =
        "a\xff"
        "b\xe2\x82";
    const std::string text = serialize_encrypted_wallet(wallet);
    EXPECT_EQ(parsed(text).name,
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

TEST(WalletFile, RandomBytesWrittenAsLossyUtf8) {
    // Bytes from the UTF-8 boundaries, so that broken, overlong and cut-off
    // sequences all come up.
    static constexpr unsigned char PIECES[] = {'a',  0x7f, 0x80, 0xbf, 0xc0, 0xc2, 0xdf, 0xe0,
                                               0xed, 0xef, 0xf0, 0xf4, 0xf5, 0xff, 0x9f, 0xa0};
    auto& rng = oxa_test::test_rng();
    for (int i = 0; i < 2000; ++i) {
        EncryptedWallet wallet;
        for (std::size_t n = rng() % 8; n > 0; --n) {
            wallet.name += static_cast<char>(PIECES[rng() % sizeof PIECES]);
        }
        EXPECT_EQ(parsed(serialize_encrypted_wallet(wallet)).name,
                  oxa_core::utf8_lossy(wallet.name));
    }
}

TEST(WalletFile, RandomRecordsSurviveWritingAndReading) {
    auto& rng = oxa_test::test_rng();
    for (int i = 0; i < 500; ++i) {
        const EncryptedWallet wallet = random_wallet(rng);
        const std::string text = serialize_encrypted_wallet(wallet);
        auto read = parse_encrypted_wallet(text);
        ASSERT_TRUE(read) << read.error() << "\n" << text;
        ASSERT_EQ(read.value(), wallet) << text;
        EXPECT_EQ(serialize_encrypted_wallet(read.value()), text);
        EXPECT_NE(text.back(), '\n');
    }
}

class CreatedAtFormat : public ::testing::TestWithParam<json> {};

TEST_P(CreatedAtFormat, UsesFewestExactDigits) {
    const json& c = GetParam();
    EXPECT_EQ(oxa_core::format_rfc3339_utc(c.at("seconds").get<std::int64_t>(),
                                           c.at("nanos").get<std::uint32_t>()),
              c.at("text").get<std::string>());
}
INSTANTIATE_TEST_SUITE_P(WalletFile, CreatedAtFormat,
                         ::testing::ValuesIn(oxa_test::load_vectors("wallet-file.json")
                                                 .at("created_at")
                                                 .get<std::vector<json>>()),
                         oxa_test::by_index);

TEST(WalletFile, CreateStampsTheCurrentVersionAndUtcTime) {
    const std::vector<WalletAccount> accounts = {
        {"eip155:1:0xa", "0xa", "eip155:1", "m/44'/60'/0'/0/0"}};
    const EncryptedWallet wallet = EncryptedWallet::create(
        "id", "name", accounts, RawJson(json{{"k", "v"}}), KeyType::PrivateKey);
    EXPECT_EQ(wallet.oxa_version, 2u);
    EXPECT_EQ(wallet.id, "id");
    EXPECT_EQ(wallet.name, "name");
    EXPECT_EQ(wallet.accounts, accounts);
    EXPECT_FALSE(wallet.chain_type);
    EXPECT_TRUE(wallet.metadata.is_null());
    EXPECT_EQ(wallet.key_type, KeyType::PrivateKey);
    EXPECT_TRUE(is_utc_rfc3339(wallet.created_at)) << wallet.created_at;
    EXPECT_TRUE(serialize_encrypted_wallet(wallet).starts_with("{\n  \"oxa_version\": 2,\n"));
}

oxa_core::Result<CryptoEnvelope, std::string> envelope_from_tree(const json& value) {
    return oxa_core::parse_envelope(RawJson(value));
}

json envelope_tree(const CryptoEnvelope& envelope) {
    return oxa_core::envelope_to_json(envelope).parse();
}

CryptoEnvelope sample_envelope() {
    return {"aes-256-gcm", {"00112233445566778899aabb"},
            "c0ffee",      "0123456789abcdef0123456789abcdef",
            "scrypt",      {32, 65536, 8, 1, "5a17"}};
}

// The sample as stored, small enough to patch per case.
const json SAMPLE_JSON = json::parse(R"({
  "auth_tag": "0123456789abcdef0123456789abcdef", "cipher": "aes-256-gcm",
  "cipherparams": {"iv": "00112233445566778899aabb"}, "ciphertext": "c0ffee", "kdf": "scrypt",
  "kdfparams": {"dklen": 32, "n": 65536, "p": 1, "r": 8, "salt": "5a17"}})");

TEST(EnvelopeJson, WritesMembersSortedByName) {
    EXPECT_EQ(
        oxa_core::envelope_to_json(sample_envelope()).text(),
        R"({"auth_tag":"0123456789abcdef0123456789abcdef","cipher":"aes-256-gcm",)"
        R"("cipherparams":{"iv":"00112233445566778899aabb"},"ciphertext":"c0ffee","kdf":"scrypt",)"
        R"("kdfparams":{"dklen":32,"n":65536,"p":1,"r":8,"salt":"5a17"}})");
}

TEST(EnvelopeJson, ReadsEveryMemberAndIgnoresUnknownOnes) {
    json value = SAMPLE_JSON;
    value["version"] = 3;
    value["kdfparams"]["note"] = nullptr;
    value["cipherparams"]["tag_length"] = 16;
    const auto read = envelope_from_tree(value);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(envelope_tree(read.value()), SAMPLE_JSON);
}

TEST(EnvelopeJson, ReadsRecordsGivenAsArraysInDeclaredOrder) {
    const auto read = envelope_from_tree(
        json::parse(R"(["c", ["iv"], "ct", "tag", "k", [31, 65536, 9, 2, "salt"]])"));
    ASSERT_TRUE(read) << read.error();
    const CryptoEnvelope& e = read.value();
    EXPECT_EQ(e.cipher, "c");
    EXPECT_EQ(e.cipherparams.iv, "iv");
    EXPECT_EQ(e.ciphertext, "ct");
    EXPECT_EQ(e.auth_tag, "tag");
    EXPECT_EQ(e.kdf, "k");
    EXPECT_EQ(e.kdfparams.dklen, 31u);
    EXPECT_EQ(e.kdfparams.n, 65536u);
    EXPECT_EQ(e.kdfparams.r, 9u);
    EXPECT_EQ(e.kdfparams.p, 2u);
    EXPECT_EQ(e.kdfparams.salt, "salt");
}

TEST(EnvelopeJson, IntegersUpToU32MaxAreRead) {
    json value = SAMPLE_JSON;
    value["kdfparams"]["n"] = 4294967295u;
    value["kdfparams"]["p"] = 0;
    const auto read = envelope_from_tree(value);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read.value().kdfparams.n, 4294967295u);
    EXPECT_EQ(read.value().kdfparams.p, 0u);
}

struct ReadErrorCase {
    std::string name;
    std::string patch;  // merged into the sample (null removes a member)...
    std::string document;  // ...or, when not empty, the whole value read
    std::string expected;
};

class EnvelopeRead : public ::testing::TestWithParam<ReadErrorCase> {};

TEST_P(EnvelopeRead, NamesTheFault) {
    json value = SAMPLE_JSON;
    if (GetParam().document.empty()) {
        value.merge_patch(json::parse(GetParam().patch));
    } else {
        value = json::parse(GetParam().document);
    }
    const auto read = envelope_from_tree(value);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Json, EnvelopeRead,
    ::testing::Values(
        ReadErrorCase{"Null", "", "null", "invalid type: null, expected struct CryptoEnvelope"},
        ReadErrorCase{"String", "", R"("x")",
                      R"(invalid type: string "x", expected struct CryptoEnvelope)"},
        ReadErrorCase{"Integer", "", "5",
                      "invalid type: integer `5`, expected struct CryptoEnvelope"},
        ReadErrorCase{"Boolean", "", "true",
                      "invalid type: boolean `true`, expected struct CryptoEnvelope"},
        ReadErrorCase{"Float", "", "1.5",
                      "invalid type: floating point `1.5`, expected struct CryptoEnvelope"},
        ReadErrorCase{"EmptyObject", "", "{}", "missing field `cipher`"},
        ReadErrorCase{"MissingInDeclOrder", R"({"kdf": null, "cipher": null})", "",
                      "missing field `cipher`"},
        ReadErrorCase{"MissingAuthTag", R"({"auth_tag": null})", "", "missing field `auth_tag`"},
        ReadErrorCase{"MissingIv", R"({"cipherparams": {"iv": null}})", "", "missing field `iv`"},
        ReadErrorCase{"MissingSalt", R"({"kdfparams": {"salt": null}})", "",
                      "missing field `salt`"},
        ReadErrorCase{"MissingNBeforeR", R"({"kdfparams": {"r": null, "n": null}})", "",
                      "missing field `n`"},
        ReadErrorCase{"BadValueBeforeMissing", R"({"cipher": null, "kdfparams": {"n": "x"}})", "",
                      R"(invalid type: string "x", expected u32)"},
        ReadErrorCase{"NegativeInteger", R"({"kdfparams": {"n": -1}})", "",
                      "invalid value: integer `-1`, expected u32"},
        ReadErrorCase{"IntegerAboveU32", R"({"kdfparams": {"r": 4294967296}})", "",
                      "invalid value: integer `4294967296`, expected u32"},
        ReadErrorCase{"WholeFloat", R"({"kdfparams": {"p": 8.0}})", "",
                      "invalid type: floating point `8.0`, expected u32"},
        ReadErrorCase{"ExponentFloat", R"({"kdfparams": {"dklen": 1e3}})", "",
                      "invalid type: floating point `1000.0`, expected u32"},
        ReadErrorCase{"SmallFloat", R"({"kdfparams": {"n": 1e-7}})", "",
                      "invalid type: floating point `0.0000001`, expected u32"},
        ReadErrorCase{
            "LargeFloat", R"({"kdfparams": {"n": -1.5e300}})", "",
            "invalid type: floating point `-15" + std::string(299, '0') + ".0`, expected u32"},
        ReadErrorCase{"EscapedString", R"({"kdfparams": {"n": "a\"b\\\n"}})", "",
                      R"(invalid type: string "a\"b\\\n", expected u32)"},
        ReadErrorCase{"SequenceForU32", R"({"kdfparams": {"n": [1]}})", "",
                      "invalid type: sequence, expected u32"},
        ReadErrorCase{"IntegerForString", R"({"ciphertext": 5})", "",
                      "invalid type: integer `5`, expected a string"},
        ReadErrorCase{"MapForString", R"({"kdf": {"a": 1}})", "",
                      "invalid type: map, expected a string"},
        ReadErrorCase{"BooleanForString", R"({"kdfparams": {"salt": false}})", "",
                      "invalid type: boolean `false`, expected a string"},
        ReadErrorCase{"StringForCipherParams", R"({"cipherparams": "iv"})", "",
                      R"(invalid type: string "iv", expected struct CipherParams)"},
        ReadErrorCase{"IntegerForKdfParams", R"({"kdfparams": 7})", "",
                      "invalid type: integer `7`, expected struct KdfParams"},
        ReadErrorCase{"ShortEnvelopeArray", "", R"(["aes-256-gcm", ["iv"]])",
                      "invalid length 2, expected struct CryptoEnvelope with 6 elements"},
        ReadErrorCase{"ShortKdfParamsArray", R"({"kdfparams": [32, 65536]})", "",
                      "invalid length 2, expected struct KdfParams with 5 elements"},
        ReadErrorCase{"EmptyCipherArray", R"({"cipherparams": []})", "",
                      "invalid length 0, expected struct CipherParams with 1 element"},
        ReadErrorCase{"LongCipherArray", R"({"cipherparams": ["a", "b"]})", "",
                      "invalid length 2, expected fewer elements in array"},
        ReadErrorCase{"ItemTypeBeforeLength", "", "[5]",
                      "invalid type: integer `5`, expected a string"},
        ReadErrorCase{"NullInArray", "", R"(["c", ["iv"], "ct", "tag", "k", [null]])",
                      "invalid type: null, expected u32"}),
    [](const auto& info) { return info.param.name; });

TEST(EnvelopeJson, LastRepeatedKeyWins) {
    const std::string text = R"({"kdfparams": {"n": "x", "dklen": 32, "n": 65536, "p": 1,
        "r": 8, "salt": "5a17"}, "cipher": "c", "cipherparams": ["00"], "ciphertext": "",
        "auth_tag": "", "kdf": "k", "cipher": "aes-256-gcm"})";
    const auto read = oxa_core::parse_envelope(RawJson::from_text(text).value());
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read.value().cipher, "aes-256-gcm");
    EXPECT_EQ(read.value().kdfparams.n, 65536u);
    EXPECT_EQ(read.value().cipherparams.iv, "00");
}

TEST(EnvelopeJson, ErrorsCarryNoPlace) {
    const auto read = oxa_core::parse_envelope(RawJson::from_text("{\n  \"cipher\": 1\n}").value());
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error(), "invalid type: integer `1`, expected a string");
}

TEST(OxaError, DisplaysEachVariantWithItsPrefix) {
    using Kind = oxa_core::OxaError::Kind;
    EXPECT_EQ((oxa_core::OxaError{Kind::WalletNotFound, "w"}).display(), "wallet not found: w");
    EXPECT_EQ((oxa_core::OxaError{Kind::ChainNotSupported, "c"}).display(),
              "chain not supported: c");
    EXPECT_EQ((oxa_core::OxaError{Kind::InvalidPassphrase, ""}).display(), "invalid passphrase");
    EXPECT_EQ((oxa_core::OxaError{Kind::InvalidInput, "i"}).display(), "invalid input: i");
    EXPECT_EQ((oxa_core::OxaError{Kind::CaipParse, "p"}).display(), "CAIP parse error: p");
}
