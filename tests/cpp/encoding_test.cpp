#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "oxa_signer/encoding/base58.hpp"
#include "oxa_signer/encoding/base64.hpp"
#include "oxa_signer/encoding/bech32.hpp"
#include "oxa_signer/encoding/crc16.hpp"
#include "oxa_signer/encoding/hex.hpp"
#include "test_support.hpp"

namespace {

using namespace oxa_signer;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::load_vectors;
using oxa_test::random_bytes;
using oxa_test::test_rng;
using oxa_test::unhex;
using Json = nlohmann::json;

std::string to_lower_ascii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

template <class Range>
std::size_t count_leading(const Range& range, typename Range::value_type value) {
    return static_cast<std::size_t>(
        std::find_if(range.begin(), range.end(), [&](auto x) { return x != value; }) -
        range.begin());
}

std::string ascii_of(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

TEST(Hex, EncodesEveryByteAsTwoLowercaseDigits) {
    std::vector<std::uint8_t> all(256);
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(hex_encode(all), hex(all));
    EXPECT_EQ(hex_encode({}), "");
}

struct HexDecodeCase {
    std::string name;
    std::string text;
    std::string bytes_hex;  // expected bytes when `error` is empty
    std::string error;
};

void PrintTo(const HexDecodeCase& c, std::ostream* os) { *os << c.name; }

class HexDecode : public ::testing::TestWithParam<HexDecodeCase> {};

TEST_P(HexDecode, GivesTheBytesOrTheExactError) {
    const auto& c = GetParam();
    auto decoded = hex_decode(c.text);
    if (c.error.empty()) {
        ASSERT_TRUE(decoded) << decoded.error();
        EXPECT_EQ(hex(decoded.value()), c.bytes_hex);
    } else {
        ASSERT_FALSE(decoded);
        EXPECT_EQ(decoded.error(), c.error);
    }
}

const std::string REPLACEMENT = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Table, HexDecode,
    ::testing::Values(
        HexDecodeCase{"empty", "", "", ""}, HexDecodeCase{"lowercase", "00ff7a", "00ff7a", ""},
        HexDecodeCase{"uppercase", "00FF7A", "00ff7a", ""},
        HexDecodeCase{"mixed_case", "aBcD", "abcd", ""},
        HexDecodeCase{"odd_single_digit", "0", "", "Odd number of digits"},
        HexDecodeCase{"odd_checked_before_characters", "zzz", "", "Odd number of digits"},
        HexDecodeCase{"odd_counts_bytes_not_characters",
                      "\xC3\xA9"
                      "0",
                      "", "Odd number of digits"},
        HexDecodeCase{"prefix_is_not_stripped", "0x00", "", "Invalid character 'x' at position 1"},
        HexDecodeCase{"uppercase_prefix", "0X00", "", "Invalid character 'X' at position 1"},
        HexDecodeCase{"first_digit_of_pair", "00g0", "", "Invalid character 'g' at position 2"},
        HexDecodeCase{"first_offender_wins", "00zy", "", "Invalid character 'z' at position 2"},
        HexDecodeCase{"space", " 0", "", "Invalid character ' ' at position 0"},
        HexDecodeCase{"quote_printed_as_itself", "0'", "", "Invalid character ''' at position 1"},
        HexDecodeCase{"nul_printed_as_itself",
                      std::string("\0"
                                  "0",
                                  2),
                      "", "Invalid character '" + std::string(1, '\0') + "' at position 0"},
        HexDecodeCase{"two_byte_character",
                      "0\xC3\xA9"
                      "0",
                      "", "Invalid character '\xC3\xA9' at position 1"},
        HexDecodeCase{"three_byte_character",
                      "\xE2\x82\xAC"
                      "0",
                      "", "Invalid character '\xE2\x82\xAC' at position 0"},
        HexDecodeCase{"four_byte_character", "00\xF0\x9F\x98\x80", "",
                      "Invalid character '\xF0\x9F\x98\x80' at position 2"},
        HexDecodeCase{"byte_that_is_not_utf8",
                      "\xFF"
                      "0",
                      "", "Invalid character '" + REPLACEMENT + "' at position 0"},
        HexDecodeCase{"stray_continuation_byte", "0\x80", "",
                      "Invalid character '" + REPLACEMENT + "' at position 1"},
        HexDecodeCase{"cut_off_sequence", "0\xC3", "",
                      "Invalid character '" + REPLACEMENT + "' at position 1"},
        HexDecodeCase{"overlong_slash", "\xC0\xAF", "",
                      "Invalid character '" + REPLACEMENT + "' at position 0"},
        HexDecodeCase{"surrogate",
                      "\xED\xA0\x80"
                      "0",
                      "", "Invalid character '" + REPLACEMENT + "' at position 0"}),
    oxa_test::by_index);

TEST(Hex, EveryByteValueIsADigitExactlyWhenItIsAHexDigit) {
    const std::string digits = "0123456789abcdefABCDEF";
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const std::string text = std::string("0") + c;
        auto decoded = hex_decode(text);
        const std::size_t pos = digits.find(c);
        if (pos != std::string::npos) {
            ASSERT_TRUE(decoded) << "byte " << b;
            EXPECT_EQ(decoded.value().at(0), pos < 16 ? pos : pos - 6) << "byte " << b;
        } else {
            ASSERT_FALSE(decoded) << "byte " << b;
            const std::string shown = b < 0x80 ? std::string(1, c) : REPLACEMENT;
            EXPECT_EQ(decoded.error(), "Invalid character '" + shown + "' at position 1")
                << "byte " << b;
        }
    }
}

TEST(Hex, RandomBytesRoundTripInEitherCase) {
    for (int i = 0; i < 200; ++i) {
        const auto bytes = random_bytes(test_rng()() % 80);
        const std::string text = hex_encode(bytes);
        std::string upper = text;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](char c) { return std::toupper(c); });
        auto lower_decoded = hex_decode(text);
        auto upper_decoded = hex_decode(upper);
        ASSERT_TRUE(lower_decoded && upper_decoded);
        EXPECT_EQ(lower_decoded.value(), bytes);
        EXPECT_EQ(upper_decoded.value(), bytes);
    }
}

TEST(Hex, DecodeIntoFillsTheCallersBuffer) {
    std::uint8_t out[3] = {};
    ASSERT_TRUE(hex_decode_into("01aBff", out));
    EXPECT_EQ(hex(out), "01abff");
}

TEST(Hex, DecodeIntoLeavesOnlyZerosAfterAnInvalidCharacter) {
    std::uint8_t out[3] = {0xAA, 0xAA, 0xAA};
    auto status = hex_decode_into("ffff0g", out);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error(), "Invalid character 'g' at position 5");
    EXPECT_EQ(hex(out), "000000");
}

TEST(Hex, DecodeIntoRefusesABufferOfTheWrongSize) {
    std::uint8_t small[2] = {};
    std::uint8_t large[4] = {};
    auto too_small = hex_decode_into("010203", small);
    auto too_large = hex_decode_into("010203", large);
    ASSERT_FALSE(too_small);
    ASSERT_FALSE(too_large);
    EXPECT_EQ(too_small.error(), "output holds 2 bytes, 3 needed");
    EXPECT_EQ(too_large.error(), "output holds 4 bytes, 3 needed");
    EXPECT_EQ(hex(large), "00000000");
}

TEST(Hex, DecodeIntoReportsAnOddLengthBeforeTheBufferSize) {
    std::uint8_t out[1] = {};
    auto status = hex_decode_into("abc", out);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error(), "Odd number of digits");
}

struct Base58Case {
    std::string bytes_hex;
    std::string text;
};

void PrintTo(const Base58Case& c, std::ostream* os) { *os << c.text; }

std::vector<Base58Case> base58_cases() {
    std::vector<Base58Case> cases;
    const Json file = load_vectors("base58.json");
    for (const auto& v : file.at("base58")) {
        cases.push_back({v.at("hex"), v.at("base58")});
    }
    return cases;
}

class Base58Vector : public ::testing::TestWithParam<Base58Case> {};

TEST_P(Base58Vector, Encodes) {
    EXPECT_EQ(base58_encode(unhex(GetParam().bytes_hex)), GetParam().text);
}

TEST_P(Base58Vector, Decodes) {
    const auto decoded = base58_decode(GetParam().text);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(hex(*decoded), GetParam().bytes_hex);
}

INSTANTIATE_TEST_SUITE_P(BitcoinCore, Base58Vector, ::testing::ValuesIn(base58_cases()),
                         oxa_test::by_index);

struct Base58CheckCase {
    std::string kind;
    std::string payload_hex;
    std::string checksum_hex;
    std::string text;
};

void PrintTo(const Base58CheckCase& c, std::ostream* os) { *os << c.kind << ' ' << c.text; }

std::vector<Base58CheckCase> base58check_cases() {
    std::vector<Base58CheckCase> cases;
    const Json file = load_vectors("base58.json");
    for (const auto& v : file.at("base58check")) {
        cases.push_back({v.at("kind"), v.at("payload_hex"), v.at("checksum_hex"), v.at("string")});
    }
    return cases;
}

class Base58Check : public ::testing::TestWithParam<Base58CheckCase> {};

TEST_P(Base58Check, EncodesThePayloadWithItsChecksum) {
    EXPECT_EQ(base58check_encode(unhex(GetParam().payload_hex)), GetParam().text);
}

TEST_P(Base58Check, DecodesToPayloadThenChecksum) {
    const auto decoded = base58_decode(GetParam().text);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(hex(*decoded), GetParam().payload_hex + GetParam().checksum_hex);
}

TEST_P(Base58Check, ChecksumIsVerifiedAndRemoved) {
    const auto payload = base58check_decode(GetParam().text);
    ASSERT_TRUE(payload.ok()) << payload.error();
    EXPECT_EQ(hex(payload.value()), GetParam().payload_hex);
}

INSTANTIATE_TEST_SUITE_P(KeyIo, Base58Check, ::testing::ValuesIn(base58check_cases()),
                         oxa_test::by_index);

TEST(Base58Check, DecoderNamesWhatIsWrong) {
    const std::string valid = base58check_encode(unhex("41abcdef"));
    std::string changed = valid;
    changed.back() = changed.back() == 'z' ? 'y' : 'z';
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0abc", "not Base58"},
        {"1", "shorter than its 4-byte checksum"},
        {changed, "checksum mismatch"},
    };
    for (const auto& [text, error] : cases) {
        const auto payload = base58check_decode(text);
        ASSERT_FALSE(payload.ok()) << text;
        EXPECT_EQ(payload.error(), error);
    }
}

TEST(Base58, CharactersOutsideTheAlphabetAreRefusedAnywhere) {
    const std::string valid = "3EFU7m";
    const std::vector<std::string> intruders = {
        "0", "O", "I", "l", "+", "/", " ", "\n", std::string(1, '\0'), "\xC3\xA9", "\x80", "\xFF"};
    for (const auto& intruder : intruders) {
        for (std::size_t pos : {std::size_t{0}, std::size_t{3}, valid.size()}) {
            std::string text = valid;
            text.insert(pos, intruder);
            EXPECT_FALSE(base58_decode(text).has_value()) << hex(bytes_of(text));
        }
    }
}

TEST(Base58, RandomBytesWithLeadingZerosRoundTrip) {
    for (int i = 0; i < 200; ++i) {
        auto bytes = random_bytes(test_rng()() % 60);
        std::fill_n(bytes.begin(), std::min<std::size_t>(bytes.size(), test_rng()() % 4), 0);
        const std::string text = base58_encode(bytes);
        EXPECT_EQ(count_leading(text, '1'), count_leading(bytes, std::uint8_t{0})) << text;
        const auto decoded = base58_decode(text);
        ASSERT_TRUE(decoded.has_value()) << text;
        EXPECT_EQ(*decoded, bytes) << text;
    }
}

struct Bech32StringCase {
    std::string label;  // the string itself, or why it is invalid
    std::string text;
    Bech32Variant variant;  // meaningful for valid strings only
};

void PrintTo(const Bech32StringCase& c, std::ostream* os) { *os << c.label; }

std::string text_of(const Json& v, const char* key) {
    if (v.contains("string_hex")) return ascii_of(unhex(v.at("string_hex").get<std::string>()));
    return v.at(key);
}

std::vector<Bech32StringCase> bech32_string_cases(bool valid) {
    const Json file = load_vectors("bech32.json");
    std::vector<Bech32StringCase> cases;
    const char* lists[] = {valid ? "bip173_valid_bech32" : "bip173_invalid_bech32",
                           valid ? "bip350_valid_bech32m" : "bip350_invalid_bech32m"};
    for (const char* list : lists) {
        for (const auto& v : file.at(list)) {
            const auto variant = std::string(list).find("bech32m") != std::string::npos
                                     ? Bech32Variant::Bech32m
                                     : Bech32Variant::Bech32;
            const std::string label =
                valid ? v.at("string").get<std::string>() : v.at("reason").get<std::string>();
            cases.push_back({label, text_of(v, "string"), variant});
        }
    }
    return cases;
}

class Bech32Valid : public ::testing::TestWithParam<Bech32StringCase> {};

TEST_P(Bech32Valid, DecodesWithVariantReencodesLower) {
    const auto& c = GetParam();
    auto decoded = bech32_decode(c.text);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(decoded.value().variant, c.variant);
    EXPECT_EQ(decoded.value().hrp, to_lower_ascii(c.text.substr(0, c.text.rfind('1'))));
    auto encoded =
        bech32_encode(decoded.value().hrp, decoded.value().data5, decoded.value().variant);
    ASSERT_TRUE(encoded) << encoded.error();
    EXPECT_EQ(encoded.value(), to_lower_ascii(c.text));
}

INSTANTIATE_TEST_SUITE_P(Bips, Bech32Valid, ::testing::ValuesIn(bech32_string_cases(true)),
                         oxa_test::by_index);

class Bech32Invalid : public ::testing::TestWithParam<Bech32StringCase> {};

TEST_P(Bech32Invalid, IsRejected) {
    auto decoded = bech32_decode(GetParam().text);
    EXPECT_FALSE(decoded) << hex(bytes_of(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Bips, Bech32Invalid, ::testing::ValuesIn(bech32_string_cases(false)),
                         oxa_test::by_index);

TEST(Bech32, DecodeErrorsNameTheFault) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {std::string(91, 'q'), "string is 91 characters, the limit is 90"},
        {"a\x80"
         "1qqqqqq",
         "invalid character at position 1"},
        {"A1qqqqqq", "mixed case"},
        {"qqqqqqqq", "missing separator '1'"},
        {"1qqqqqqq", "empty human-readable part"},
        {"a1qqqqq", "checksum shorter than 6 characters"},
        {"a1qqbqqqq", "invalid data character 'b' at position 4"},
        {"a1qqqqqq", "invalid checksum"},
    };
    for (const auto& [text, error] : cases) {
        auto decoded = bech32_decode(text);
        ASSERT_FALSE(decoded) << text;
        EXPECT_EQ(decoded.error(), error) << text;
    }
}

struct SegwitCase {
    std::string label;  // the address, or why it is invalid
    std::string address;
    std::string hrp;
    int witness_version;
    std::string program_hex;
    std::string script_pubkey_hex;
};

void PrintTo(const SegwitCase& c, std::ostream* os) { *os << c.label; }

std::vector<SegwitCase> valid_segwit_cases() {
    const Json file = load_vectors("bech32.json");
    std::vector<SegwitCase> cases;
    for (const char* list : {"bip173_valid_segwit_addresses", "bip350_valid_segwit_addresses"}) {
        for (const auto& v : file.at(list)) {
            if (!v.value("still_valid_after_bip350", true)) continue;
            cases.push_back({v.at("address"), v.at("address"), v.at("hrp"), v.at("witness_version"),
                             v.at("witness_program"), v.at("scriptpubkey")});
        }
    }
    return cases;
}

// OP_0 or OP_1..OP_16, then a push of the program
std::string script_pubkey_of(const SegwitProgram& p) {
    const std::uint8_t version_op =
        static_cast<std::uint8_t>(p.witness_version == 0 ? 0 : 0x50 + p.witness_version);
    std::vector<std::uint8_t> script = {version_op, static_cast<std::uint8_t>(p.program.size())};
    script.insert(script.end(), p.program.begin(), p.program.end());
    return hex(script);
}

class SegwitValid : public ::testing::TestWithParam<SegwitCase> {};

TEST_P(SegwitValid, DecodesToItsScriptPubKey) {
    const auto& c = GetParam();
    auto decoded = segwit_address_decode(c.hrp, c.address);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(decoded.value().witness_version, c.witness_version);
    EXPECT_EQ(hex(decoded.value().program), c.program_hex);
    EXPECT_EQ(script_pubkey_of(decoded.value()), c.script_pubkey_hex);
}

TEST_P(SegwitValid, EncodesVersionAndProgramLowercase) {
    const auto& c = GetParam();
    auto encoded = segwit_address_encode(c.hrp, c.witness_version, unhex(c.program_hex));
    ASSERT_TRUE(encoded) << encoded.error();
    EXPECT_EQ(encoded.value(), to_lower_ascii(c.address));
}

INSTANTIATE_TEST_SUITE_P(Bips, SegwitValid, ::testing::ValuesIn(valid_segwit_cases()),
                         oxa_test::by_index);

std::vector<SegwitCase> invalid_segwit_cases() {
    const Json file = load_vectors("bech32.json");
    std::vector<SegwitCase> cases;
    for (const char* list :
         {"bip173_invalid_segwit_addresses", "bip350_invalid_segwit_addresses"}) {
        for (const auto& v : file.at(list)) {
            cases.push_back({v.at("reason"), v.at("address"), "", 0, "", ""});
        }
    }
    // Bech32-checksummed versions 1..16 became invalid with Bech32m.
    for (const auto& v : file.at("bip173_valid_segwit_addresses")) {
        if (v.at("still_valid_after_bip350")) continue;
        cases.push_back(
            {"Bech32 checksum on version " + std::to_string(v.at("witness_version").get<int>()),
             v.at("address"), "", 0, "", ""});
    }
    return cases;
}

class SegwitInvalid : public ::testing::TestWithParam<SegwitCase> {};

TEST_P(SegwitInvalid, IsRejectedUnderEitherNetwork) {
    EXPECT_FALSE(segwit_address_decode("bc", GetParam().address));
    EXPECT_FALSE(segwit_address_decode("tb", GetParam().address));
}

INSTANTIATE_TEST_SUITE_P(Bips, SegwitInvalid, ::testing::ValuesIn(invalid_segwit_cases()),
                         oxa_test::by_index);

std::vector<std::string> all_valid_bech32_strings() {
    std::vector<std::string> texts;
    for (const auto& c : bech32_string_cases(true)) texts.push_back(c.text);
    for (const auto& c : valid_segwit_cases()) texts.push_back(c.address);
    return texts;
}

TEST(Bech32, EveryTruncationOfAValidStringIsRejected) {
    for (const auto& text : all_valid_bech32_strings()) {
        for (std::size_t len = 0; len < text.size(); ++len) {
            EXPECT_FALSE(bech32_decode(text.substr(0, len))) << text << " cut to " << len;
        }
    }
}

TEST(Bech32, EveryChangedCharacterOfAValidStringIsRejected) {
    const std::string replacements =
        "qpzry9x8gf2tvdw0s3jn54khce6mua7l1QPZRY9X8GF2TVDW0S3JN54KHCE6MUA7L?!~";
    for (const auto& text : all_valid_bech32_strings()) {
        for (std::size_t pos = 0; pos < text.size(); ++pos) {
            for (char r : replacements) {
                if (std::tolower(r) == std::tolower(text[pos])) continue;
                std::string changed = text;
                changed[pos] = r;
                EXPECT_FALSE(bech32_decode(changed)) << changed;
            }
        }
    }
}

TEST(Bech32, FlippedCaseOfOneCharacterIsRejected) {
    for (const auto& text : all_valid_bech32_strings()) {
        for (std::size_t pos = 0; pos < text.size(); ++pos) {
            if (!std::isalpha(static_cast<unsigned char>(text[pos]))) continue;
            std::string changed = text;
            changed[pos] = static_cast<char>(text[pos] ^ 0x20);
            auto decoded = bech32_decode(changed);
            ASSERT_FALSE(decoded) << changed;
            EXPECT_EQ(decoded.error(), "mixed case");
        }
    }
}

TEST(Bech32, Bip84AddressesEncodeFromTheirKeyHash) {
    const Json file = load_vectors("bech32.json");
    for (const auto& v : file.at("bip84").at("addresses")) {
        auto address = segwit_address_encode("bc", 0, unhex(v.at("hash160").get<std::string>()));
        ASSERT_TRUE(address) << address.error();
        EXPECT_EQ(address.value(), v.at("address").get<std::string>());
    }
}

TEST(Bech32, EncoderRefusesInvalidHumanReadableParts) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "empty human-readable part"},
        {" bc", "invalid human-readable part character at position 0"},
        {"b\x7f", "invalid human-readable part character at position 1"},
        {"b\x80", "invalid human-readable part character at position 1"},
        {"Bc", "mixed-case human-readable part"},
    };
    const std::vector<std::uint8_t> data5 = {0, 1, 2};
    for (const auto& [hrp, error] : cases) {
        auto encoded = bech32_encode(hrp, data5, Bech32Variant::Bech32);
        ASSERT_FALSE(encoded) << hrp;
        EXPECT_EQ(encoded.error(), error);
    }
}

TEST(Bech32, EncoderWritesAnUppercaseHrpInLowercase) {
    const std::vector<std::uint8_t> data5 = {0, 14, 20};
    auto upper = bech32_encode("BC", data5, Bech32Variant::Bech32m);
    auto lower = bech32_encode("bc", data5, Bech32Variant::Bech32m);
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(upper.value(), lower.value());
}

TEST(Bech32, EncoderRefusesValuesWiderThanFiveBits) {
    const std::vector<std::uint8_t> data5 = {0, 32};
    auto encoded = bech32_encode("bc", data5, Bech32Variant::Bech32);
    ASSERT_FALSE(encoded);
    EXPECT_EQ(encoded.error(), "data value 32 at position 1 does not fit in 5 bits");
}

TEST(Bech32, EncoderRefusesResultsOf1024CharactersOrMore) {
    const std::vector<std::uint8_t> longest(1015, 7);  // "a" + "1" + 1015 + 6 = 1023
    auto at_limit = bech32_encode("a", longest, Bech32Variant::Bech32);
    ASSERT_TRUE(at_limit) << at_limit.error();
    EXPECT_EQ(at_limit.value().size(), 1023u);

    const std::vector<std::uint8_t> too_long(1016, 7);
    auto over = bech32_encode("a", too_long, Bech32Variant::Bech32);
    ASSERT_FALSE(over);
    EXPECT_EQ(over.error(), "encoded string would be 1024 characters, the limit is 1023");
}

TEST(Bech32, SegwitEncoderRefusesBadVersionsAndLengths) {
    struct Case {
        int version;
        std::size_t program_bytes;
        std::string error;
    };
    const std::vector<Case> cases = {
        {-1, 20, "invalid witness version -1"},
        {17, 20, "invalid witness version 17"},
        {0, 21, "witness program of 21 bytes, version 0 takes 20 or 32"},
        {0, 40, "witness program of 40 bytes, version 0 takes 20 or 32"},
        {1, 1, "witness program of 1 bytes, it takes 2 to 40"},
        {16, 41, "witness program of 41 bytes, it takes 2 to 40"},
    };
    for (const auto& c : cases) {
        auto encoded =
            segwit_address_encode("bc", c.version, std::vector<std::uint8_t>(c.program_bytes, 1));
        ASSERT_FALSE(encoded) << c.error;
        EXPECT_EQ(encoded.error(), c.error);
    }
}

TEST(Bech32, SegwitEncoderRefusesOver90Characters) {
    const std::vector<std::uint8_t> program(40, 1);  // 1 + 64 characters of data
    EXPECT_TRUE(segwit_address_encode(std::string(18, 'a'), 1, program));
    auto over = segwit_address_encode(std::string(19, 'a'), 1, program);
    ASSERT_FALSE(over);
    EXPECT_EQ(over.error(), "address would be 91 characters, the limit is 90");
}

TEST(Bech32, SegwitDecoderNamesTheMismatch) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"tb1qrp33g0q5c5txsp9arysrx4k6zdkfs4nce4xj0gdcccefvpysxf3q0sl5k7",
         "human-readable part 'tb', expected 'bc'"},
        {"bc1pw508d6qejxtdg4y5r3zarvary0c5xw7kw508d6qejxtdg4y5r3zarvary0c5xw7k7grplx",
         "witness version 1 needs a Bech32m checksum"},
        {"bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kemeawh", "witness version 0 needs a Bech32 checksum"},
        {"bc1gmk9yu", "empty data section"},
    };
    for (const auto& [address, error] : cases) {
        auto decoded = segwit_address_decode("BC", address);
        ASSERT_FALSE(decoded) << address;
        EXPECT_EQ(decoded.error(), error);
    }
}

TEST(Bech32, ConvertBitsRefusesBadInputs) {
    struct Case {
        std::string name;
        std::vector<std::uint8_t> data;
        int from_bits;
        int to_bits;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"group_size_zero", {1}, 0, 5, "bit group sizes must be 1 to 8"},
        {"group_size_nine", {1}, 8, 9, "bit group sizes must be 1 to 8"},
        {"value_too_wide", {0, 32}, 5, 8, "value 32 at position 1 does not fit in 5 bits"},
        // 10 bits: one byte and two leftover bits, which must be zero
        {"non_zero_leftover", {0, 1}, 5, 8, "non-zero padding"},
        // 15 bits: one byte and seven leftover bits, a whole 5-bit group too many
        {"whole_leftover_group", {0, 0, 0}, 5, 8, "padding of a whole group or more"},
    };
    for (const auto& c : cases) {
        auto converted = convert_bits(c.data, c.from_bits, c.to_bits, false);
        ASSERT_FALSE(converted) << c.name;
        EXPECT_EQ(converted.error(), c.error) << c.name;
    }
    EXPECT_TRUE(convert_bits(std::vector<std::uint8_t>{0, 0}, 5, 8, false));
}

TEST(Bech32, BytesRoundTripThroughFiveBitGroups) {
    for (int i = 0; i < 200; ++i) {
        const auto bytes = random_bytes(test_rng()() % 70);
        auto groups = convert_bits(bytes, 8, 5, true);
        ASSERT_TRUE(groups);
        EXPECT_EQ(groups.value().size(), (bytes.size() * 8 + 4) / 5);
        auto back = convert_bits(groups.value(), 5, 8, false);
        ASSERT_TRUE(back) << back.error();
        EXPECT_EQ(back.value(), bytes);
    }
}

TEST(Base64, Rfc4648Vectors) {
    const Json file = load_vectors("base64-rfc4648.json");
    for (const auto& v : file.at("vectors")) {
        const std::string input = v.at("input_ascii");
        std::string expected = v.at("base64");
        EXPECT_EQ(base64_encode(bytes_of(input)), expected) << input;
        expected.erase(std::remove(expected.begin(), expected.end(), '='), expected.end());
        EXPECT_EQ(base64url_encode_unpadded(bytes_of(input)), expected) << input;
    }
}

TEST(Base64, StandardAlphabetUsesPlusAndSlash) {
    // Bitcoin signed-message signatures: header byte, r, s
    const Json file = load_vectors("bitcoin-signmessage.json");
    for (const auto& v : file.at("vectors")) {
        auto signature = unhex(v.at("r").get<std::string>() + v.at("s").get<std::string>());
        signature.insert(signature.begin(), v.at("header_byte").get<std::uint8_t>());
        EXPECT_EQ(base64_encode(signature), v.at("signature_base64").get<std::string>());
    }
}

TEST(Base64, UrlSafeAlphabetUsesDashAndUnderscore) {
    const Json file = load_vectors("crc16-xmodem.json");
    for (const auto& v : file.at("ton_address_checksums")) {
        EXPECT_EQ(base64url_encode_unpadded(unhex(v.at("decoded_36_bytes").get<std::string>())),
                  v.at("address").get<std::string>());
    }
}

TEST(Base64, UrlSafeDiffersOnlyInAlphabetAndPadding) {
    for (int i = 0; i < 200; ++i) {
        const auto bytes = random_bytes(test_rng()() % 50);
        std::string expected = base64_encode(bytes);
        expected.erase(std::remove(expected.begin(), expected.end(), '='), expected.end());
        std::replace(expected.begin(), expected.end(), '+', '-');
        std::replace(expected.begin(), expected.end(), '/', '_');
        EXPECT_EQ(base64url_encode_unpadded(bytes), expected);
    }
}

TEST(Base64, DecodesTheCanonicalFormOnly) {
    const Json file = load_vectors("base64-rfc4648.json");
    for (const auto& v : file.at("vectors")) {
        const std::string input = v.at("input_ascii");
        EXPECT_EQ(base64_decode(v.at("base64").get<std::string>()),
                  std::vector<std::uint8_t>(input.begin(), input.end()));
    }
    for (int i = 0; i < 200; ++i) {
        const auto bytes = random_bytes(test_rng()() % 50);
        EXPECT_EQ(base64_decode(base64_encode(bytes)), bytes);
    }
    // Missing padding, stray bits in the last digit, whitespace, the URL-safe
    // alphabet, text after the padding, bytes above 0x7F (which libsodium
    // 1.0.18 decodes as digits).
    for (const char* text : {"Zg", "Zh==", "Zm9v\n", " Zm9v", "-_==", "Zg==Zg==", "Z===", "=",
                             "QU\xb9\xa6", "\xc1\xc2\xc3\xc4", "QUJ\xff"}) {
        EXPECT_EQ(base64_decode(text), std::nullopt) << text;
    }
}

TEST(Crc16, CheckValueOfTheCatalogue) {
    const Json file = load_vectors("crc16-xmodem.json");
    for (const auto& v : file.at("vectors")) {
        EXPECT_EQ(crc16_xmodem(unhex(v.at("input_hex").get<std::string>())),
                  std::stoul(v.at("crc16").get<std::string>(), nullptr, 16));
    }
}

TEST(Crc16, MatchesTheChecksumsOfPublishedTonAddresses) {
    const Json file = load_vectors("crc16-xmodem.json");
    for (const auto& v : file.at("ton_address_checksums")) {
        EXPECT_EQ(crc16_xmodem(unhex(v.at("crc_input_first_34_bytes").get<std::string>())),
                  std::stoul(v.at("crc16_xmodem").get<std::string>(), nullptr, 16));
    }
}

TEST(Crc16, DataFollowedByItsBigEndianCrcLeavesZero) {
    EXPECT_EQ(crc16_xmodem({}), 0);
    for (int i = 0; i < 100; ++i) {
        auto data = random_bytes(1 + test_rng()() % 64);
        const std::uint16_t crc = crc16_xmodem(data);
        data.push_back(static_cast<std::uint8_t>(crc >> 8));
        data.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        EXPECT_EQ(crc16_xmodem(data), 0);
    }
}

}  // namespace
