#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

#include "oxa_core/wallet_file.hpp"
#include "oxa_signer/crypto.hpp"
#include "test_support.hpp"

using nlohmann::json;
using oxa_signer::CryptoEnvelope;
using oxa_signer::CryptoError;
using oxa_signer::decrypt;
using oxa_signer::encrypt;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::load_vectors;

namespace {

// Envelopes in the vector files are stored as a wallet file stores them.
CryptoEnvelope envelope_from_tree(const json& value) {
    return oxa_core::parse_envelope(oxa_core::RawJson(value)).value();
}

constexpr std::string_view PASSWORD = "correct horse battery staple";
constexpr std::string_view PHRASE =
    "legal winner thank year wave sausage worth useful legal winner thank yellow";
constexpr const char* AEAD_FAILURE = "decryption failed: aead::Error";

bool is_lower_hex(std::string_view text) {
    return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::string to_upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Every real scrypt costs ~0.15 s and 64 MiB, and ctest runs each test in a
// process of its own, so tests that only need some valid envelope read this
// stored one instead of sealing: the one-byte secret "k" under PASSWORD.
CryptoEnvelope stored_envelope() {
    const json file = load_vectors("envelope-independent.json");
    for (const auto& c : file.at("cases")) {
        if (c.at("name") == "one-byte secret") return envelope_from_tree(c.at("envelope"));
    }
    throw std::runtime_error("envelope-independent.json lacks the one-byte secret");
}

// One seal of "k" under PASSWORD, shared by the tests of sealing.
const CryptoEnvelope& sealed_fixture() {
    static const CryptoEnvelope envelope = [] {
        auto sealed = encrypt(bytes_of("k"), bytes_of(PASSWORD));
        if (!sealed) throw std::runtime_error(sealed.error().display());
        return std::move(sealed).value();
    }();
    return envelope;
}

// The opened text, or the error's display text.
std::string open_outcome(const CryptoEnvelope& envelope, std::string_view password = PASSWORD) {
    const auto opened = decrypt(envelope, bytes_of(password));
    return opened ? std::string(opened.value().text()) : opened.error().display();
}

TEST(CryptoEncrypt, WritesTheDocumentedEnvelope) {
    const CryptoEnvelope& e = sealed_fixture();
    EXPECT_EQ(e.cipher, "aes-256-gcm");
    EXPECT_EQ(e.kdf, "scrypt");
    EXPECT_EQ(e.kdfparams.dklen, 32u);
    EXPECT_EQ(e.kdfparams.n, 65536u);
    EXPECT_EQ(e.kdfparams.r, 8u);
    EXPECT_EQ(e.kdfparams.p, 1u);
    EXPECT_EQ(e.kdfparams.salt.size(), 64u);
    EXPECT_EQ(e.cipherparams.iv.size(), 24u);
    EXPECT_EQ(e.ciphertext.size(), 2u);
    EXPECT_EQ(e.auth_tag.size(), 32u);
    for (const std::string* member :
         {&e.kdfparams.salt, &e.cipherparams.iv, &e.ciphertext, &e.auth_tag}) {
        EXPECT_TRUE(is_lower_hex(*member)) << *member;
    }
}

TEST(CryptoEncrypt, OpensWhatItSealed) { EXPECT_EQ(open_outcome(sealed_fixture()), "k"); }

TEST(CryptoEncrypt, TwoSealsDifferInSaltIvCiphertextAndTag) {
    const auto again = encrypt(bytes_of("k"), bytes_of(PASSWORD));
    ASSERT_TRUE(again);
    const CryptoEnvelope& first = sealed_fixture();
    EXPECT_NE(again.value().kdfparams.salt, first.kdfparams.salt);
    EXPECT_NE(again.value().cipherparams.iv, first.cipherparams.iv);
    EXPECT_NE(again.value().ciphertext, first.ciphertext);
    EXPECT_NE(again.value().auth_tag, first.auth_tag);
}

struct RoundTripCase {
    std::string name;
    std::string plaintext;
    std::string password;
};

class CryptoRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(CryptoRoundTrip, OpensWhatItSealed) {
    const RoundTripCase& c = GetParam();
    const auto sealed = encrypt(bytes_of(c.plaintext), bytes_of(c.password));
    ASSERT_TRUE(sealed);
    EXPECT_EQ(sealed.value().ciphertext.size(), 2 * c.plaintext.size());
    EXPECT_EQ(sealed.value().auth_tag.size(), 32u);
    EXPECT_EQ(open_outcome(sealed.value(), c.password), c.plaintext);
}

INSTANTIATE_TEST_SUITE_P(Empty, CryptoRoundTrip,
                         ::testing::Values(RoundTripCase{"Plaintext", "", "pw"},
                                           RoundTripCase{"Password", std::string(PHRASE), ""}),
                         [](const auto& info) { return info.param.name; });

struct IndependentCase {
    std::string name;
    json data;
};

void PrintTo(const IndependentCase& c, std::ostream* os) { *os << c.name; }

std::vector<IndependentCase> independent_cases() {
    std::vector<IndependentCase> cases;
    const json file = load_vectors("envelope-independent.json");
    for (const auto& v : file.at("cases")) {
        cases.push_back({v.at("name"), v});
    }
    return cases;
}

class IndependentEnvelope : public ::testing::TestWithParam<IndependentCase> {};

TEST_P(IndependentEnvelope, OpensToItsPlaintext) {
    const json& v = GetParam().data;
    const CryptoEnvelope envelope = envelope_from_tree(v.at("envelope"));
    const std::string& password = v.at("password").get_ref<const std::string&>();
    const auto opened = decrypt(envelope, bytes_of(password));
    ASSERT_TRUE(opened) << opened.error().display();
    EXPECT_EQ(hex(opened.value().bytes()), v.at("plaintext_hex").get<std::string>());
    EXPECT_EQ(oxa_core::envelope_to_json(envelope).parse(), v.at("envelope"));
}

INSTANTIATE_TEST_SUITE_P(Crypto, IndependentEnvelope, ::testing::ValuesIn(independent_cases()),
                         oxa_test::by_index);

TEST(CryptoDecrypt, UppercaseHexIsReadAsLowercase) {
    CryptoEnvelope e = stored_envelope();
    for (std::string* member :
         {&e.kdfparams.salt, &e.cipherparams.iv, &e.ciphertext, &e.auth_tag}) {
        *member = to_upper(*member);
    }
    EXPECT_EQ(open_outcome(e), "k");
}

TEST(CryptoDecrypt, CipherAndKdfMembersAreNotExamined) {
    CryptoEnvelope e = stored_envelope();
    e.cipher = "chacha20-poly1305";
    e.kdf = "pbkdf2";
    EXPECT_EQ(open_outcome(e), "k");
}

struct Releases {
    std::vector<std::size_t> capacities;
    bool all_zero = true;
};
Releases g_releases;

void record_release(const std::uint8_t* data, std::size_t capacity) {
    g_releases.capacities.push_back(capacity);
    const bool zero = std::all_of(data, data + capacity, [](std::uint8_t b) { return b == 0; });
    g_releases.all_zero = g_releases.all_zero && zero;
}

TEST(CryptoDecrypt, WrongPasswordFailsAndWipesPlaintext) {
    const CryptoEnvelope sealed = stored_envelope();
    g_releases = {};
    oxa_signer::set_secret_release_hook(record_release);
    const auto opened = decrypt(sealed, bytes_of("correct horse battery stapler"));
    oxa_signer::set_secret_release_hook(nullptr);

    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind, CryptoError::Kind::DecryptionFailed);
    EXPECT_EQ(opened.error().display(), AEAD_FAILURE);
    // GCM writes plaintext before it checks the tag: that buffer (one byte
    // here) was a wiped SecretBytes, like scrypt's 1 KiB block before it.
    EXPECT_EQ(g_releases.capacities, (std::vector<std::size_t>{1024, 1}));
    EXPECT_TRUE(g_releases.all_zero);
}

TEST(CryptoDecrypt, GenuineTagCutOrExtendedFails) {
    CryptoEnvelope cut = stored_envelope();
    cut.auth_tag.resize(30);
    EXPECT_EQ(open_outcome(cut), AEAD_FAILURE);

    CryptoEnvelope extended = stored_envelope();
    extended.auth_tag += "00";
    EXPECT_EQ(open_outcome(extended), AEAD_FAILURE);
}

// One changed digit in every byte of ciphertext and tag, alternating between
// the high and the low digit, each a full scrypt run.
struct TamperCase {
    std::string name;
    std::string CryptoEnvelope::* member;
    std::size_t digit;
};

std::vector<TamperCase> tamper_cases() {
    std::vector<TamperCase> cases;
    cases.push_back({"ciphertext_high", &CryptoEnvelope::ciphertext, 0});
    cases.push_back({"ciphertext_low", &CryptoEnvelope::ciphertext, 1});
    for (std::size_t byte = 0; byte < 16; ++byte) {
        const std::size_t digit = 2 * byte + byte % 2;
        cases.push_back({"auth_tag" + std::to_string(digit), &CryptoEnvelope::auth_tag, digit});
    }
    return cases;
}

class CryptoTamper : public ::testing::TestWithParam<TamperCase> {};

TEST_P(CryptoTamper, FailsTheTagCheck) {
    CryptoEnvelope e = stored_envelope();
    char& digit = (e.*GetParam().member).at(GetParam().digit);
    digit = digit == '0' ? '1' : '0';
    EXPECT_EQ(open_outcome(e), AEAD_FAILURE);
}

INSTANTIATE_TEST_SUITE_P(Digit, CryptoTamper, ::testing::ValuesIn(tamper_cases()),
                         [](const auto& info) { return info.param.name; });

struct RefusalCase {
    std::string name;
    void (*spoil)(CryptoEnvelope&);
    std::string expected;
};

const std::string DOWNGRADE = " \u2014 possible downgrade attack";

class ParamsRefusal : public ::testing::TestWithParam<RefusalCase> {};

// None of these reaches scrypt: had one run, its text would be another and it
// would take seconds to gigabytes.
TEST_P(ParamsRefusal, GivesItsText) {
    CryptoEnvelope e = stored_envelope();
    GetParam().spoil(e);
    const auto opened = decrypt(e, bytes_of(PASSWORD));
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind, CryptoError::Kind::InvalidParams);
    EXPECT_EQ(opened.error().display(), "invalid parameters: " + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Crypto, ParamsRefusal,
    ::testing::Values(
        RefusalCase{"OddSaltBeforeBadN",
                    [](CryptoEnvelope& e) {
                        e.kdfparams.salt.pop_back();
                        e.kdfparams.n = 3;
                    },
                    "Odd number of digits"},
        RefusalCase{"SaltCharacter",
                    [](CryptoEnvelope& e) {
                        e.kdfparams.salt[5] = 'g';
                        e.cipherparams.iv = "x";
                    },
                    "Invalid character 'g' at position 5"},
        RefusalCase{"IvBeforeCiphertext",
                    [](CryptoEnvelope& e) {
                        e.cipherparams.iv[0] = 'x';
                        e.ciphertext = "zz";
                    },
                    "Invalid character 'x' at position 0"},
        RefusalCase{"OddIv", [](CryptoEnvelope& e) { e.cipherparams.iv.pop_back(); },
                    "Odd number of digits"},
        RefusalCase{"CiphertextBeforeTag",
                    [](CryptoEnvelope& e) {
                        e.ciphertext = "0z";
                        e.auth_tag = "abc";
                    },
                    "Invalid character 'z' at position 1"},
        RefusalCase{"OddCiphertext", [](CryptoEnvelope& e) { e.ciphertext = "abc"; },
                    "Odd number of digits"},
        RefusalCase{"TagBeforeN",
                    [](CryptoEnvelope& e) {
                        e.auth_tag[31] = 'G';
                        e.kdfparams.n = 0;
                    },
                    "Invalid character 'G' at position 31"},
        RefusalCase{"OddTag", [](CryptoEnvelope& e) { e.auth_tag.pop_back(); },
                    "Odd number of digits"},
        RefusalCase{"NZeroBeforeR",
                    [](CryptoEnvelope& e) {
                        e.kdfparams.n = 0;
                        e.kdfparams.r = 4;
                    },
                    "scrypt N must be a power of 2, got 0"},
        RefusalCase{"N65537", [](CryptoEnvelope& e) { e.kdfparams.n = 65537; },
                    "scrypt N must be a power of 2, got 65537"},
        RefusalCase{"N32768BeforeR",
                    [](CryptoEnvelope& e) {
                        e.kdfparams.n = 32768;
                        e.kdfparams.r = 4;
                    },
                    "scrypt N=32768 is below minimum 65536" + DOWNGRADE},
        RefusalCase{"R4BeforeP",
                    [](CryptoEnvelope& e) {
                        e.kdfparams.r = 4;
                        e.kdfparams.p = 0;
                    },
                    "scrypt r=4 is below minimum 8" + DOWNGRADE},
        RefusalCase{"P0BeforeDklen",
                    [](CryptoEnvelope& e) {
                        e.kdfparams.p = 0;
                        e.kdfparams.dklen = 16;
                    },
                    "scrypt p=0 is below minimum 1" + DOWNGRADE},
        RefusalCase{"Dklen16", [](CryptoEnvelope& e) { e.kdfparams.dklen = 16; },
                    "dklen=16 is below minimum 32"},
        RefusalCase{"Dklen31", [](CryptoEnvelope& e) { e.kdfparams.dklen = 31; },
                    "dklen=31 is below minimum 32"},
        RefusalCase{"Dklen33", [](CryptoEnvelope& e) { e.kdfparams.dklen = 33; },
                    "dklen=33 is unsupported, expected exactly 32"},
        RefusalCase{"Dklen64BeforeIv",
                    [](CryptoEnvelope& e) {
                        e.kdfparams.dklen = 64;
                        e.cipherparams.iv += "00";
                    },
                    "dklen=64 is unsupported, expected exactly 32"},
        RefusalCase{"Iv11BeforeMemory",
                    [](CryptoEnvelope& e) {
                        e.cipherparams.iv.resize(22);
                        e.kdfparams.n = 1u << 31;
                    },
                    "iv must be 12 bytes, got 11"},
        RefusalCase{"Iv13Bytes", [](CryptoEnvelope& e) { e.cipherparams.iv += "00"; },
                    "iv must be 12 bytes, got 13"},
        RefusalCase{"IvEmpty", [](CryptoEnvelope& e) { e.cipherparams.iv.clear(); },
                    "iv must be 12 bytes, got 0"},
        RefusalCase{"MemoryOfN2To21", [](CryptoEnvelope& e) { e.kdfparams.n = 1u << 21; },
                    "scrypt N=2097152, r=8 needs 2048 MiB of memory, above the maximum 1024 MiB"},
        RefusalCase{"MemoryOfR129", [](CryptoEnvelope& e) { e.kdfparams.r = 129; },
                    "scrypt N=65536, r=129 needs 1032 MiB of memory, above the maximum 1024 MiB"},
        RefusalCase{"MaxMemoryBeforeWork",
                    [](CryptoEnvelope& e) {
                        e.kdfparams.n = 1u << 31;
                        e.kdfparams.r = UINT32_MAX;
                        e.kdfparams.p = UINT32_MAX;
                    },
                    "scrypt N=2147483648, r=4294967295 needs 1125899906580480 MiB of memory, above "
                    "the maximum 1024 MiB"},
        RefusalCase{
            "WorkOfP17", [](CryptoEnvelope& e) { e.kdfparams.p = 17; },
            "scrypt N*r*p=8912896 is above the maximum 8388608 (16 times the default work)"},
        RefusalCase{
            "WorkAtMemoryLimit",
            [](CryptoEnvelope& e) {
                e.kdfparams.r = 128;
                e.kdfparams.p = 2;
            },
            "scrypt N*r*p=16777216 is above the maximum 8388608 (16 times the default work)"},
        RefusalCase{"WorkOfLargestP", [](CryptoEnvelope& e) { e.kdfparams.p = UINT32_MAX; },
                    "scrypt N*r*p=2251799813160960 is above the maximum 8388608 (16 times the "
                    "default work)"}),
    [](const auto& info) { return info.param.name; });

TEST(CryptoErrorDisplay, PrefixesTheKind) {
    EXPECT_EQ((CryptoError{CryptoError::Kind::EncryptionFailed, "x"}.display()),
              "encryption failed: x");
    EXPECT_EQ((CryptoError{CryptoError::Kind::DecryptionFailed, "x"}.display()),
              "decryption failed: x");
    EXPECT_EQ((CryptoError{CryptoError::Kind::InvalidParams, "x"}.display()),
              "invalid parameters: x");
}

}  // namespace

namespace {

TEST(CryptoEncrypt, SealsAtTheCostItIsGiven) {
    const auto sealed = encrypt(bytes_of("k"), bytes_of(PASSWORD), {1u << 17, 8, 1});
    ASSERT_TRUE(sealed) << sealed.error().display();
    EXPECT_EQ(sealed.value().kdfparams.n, 131072u);
    EXPECT_EQ(open_outcome(sealed.value()), "k");
}

TEST(CryptoEncrypt, RefusesACostDecryptWouldRefuse) {
    const std::pair<oxa_signer::ScryptParams, std::string> cases[] = {
        {{1u << 15, 8, 1},
         "invalid parameters: scrypt N=32768 is below minimum 65536 \u2014 possible downgrade "
         "attack"},
        {{1u << 16, 4, 1},
         "invalid parameters: scrypt r=4 is below minimum 8 \u2014 possible downgrade attack"},
        {{1u << 21, 8, 1},
         "invalid parameters: scrypt N=2097152, r=8 needs 2048 MiB of memory, above the maximum "
         "1024 MiB"},
        {{1u << 20, 8, 2},
         "invalid parameters: scrypt N*r*p=16777216 is above the maximum 8388608 (16 times the "
         "default work)"},
    };
    for (const auto& [cost, error] : cases) {
        const auto sealed = encrypt(bytes_of("k"), bytes_of(PASSWORD), cost);
        ASSERT_FALSE(sealed);
        EXPECT_EQ(sealed.error().display(), error);
    }
}

TEST(CryptoLimits, EveryChoosableCostIsWithinThem) {
    for (std::uint32_t log_n = oxa_signer::MIN_SCRYPT_LOG_N; log_n <= oxa_signer::MAX_SCRYPT_LOG_N;
         ++log_n) {
        EXPECT_TRUE(oxa_signer::check_scrypt_limits({1u << log_n, 8, 1})) << log_n;
    }
    EXPECT_FALSE(oxa_signer::check_scrypt_limits({1u << (oxa_signer::MAX_SCRYPT_LOG_N + 1), 8, 1}));
}

}  // namespace
