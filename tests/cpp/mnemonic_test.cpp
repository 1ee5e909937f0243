#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "oxa_signer/encoding/base58.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/hd.hpp"
#include "oxa_signer/mnemonic.hpp"
#include "test_support.hpp"

namespace {

using namespace oxa_signer;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::unhex;

constexpr std::string_view LAYOUT_TEXT =
    "phrase must be lowercase words separated by single spaces";
const std::string ABANDON_ABOUT =
    "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about";

std::string repeat_word(std::string_view word, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i != 0) out += ' ';
        out += word;
    }
    return out;
}

// The raw private key inside a Base58Check xprv: bytes 46..78 of the payload.
std::string xprv_private_key_hex(const std::string& xprv) {
    const auto decoded = base58_decode(xprv);
    if (!decoded || decoded->size() != 82) throw std::invalid_argument("bad xprv " + xprv);
    return hex(std::span(*decoded).subspan(46, 32));
}

Mnemonic parse(std::string_view phrase) {
    auto parsed = Mnemonic::from_phrase(phrase);
    if (!parsed) throw std::invalid_argument(parsed.error().display());
    return std::move(parsed).value();
}

std::vector<nlohmann::json> bip39_vectors() {
    const auto file = oxa_test::load_vectors("bip39.json");
    std::vector<nlohmann::json> out;
    for (const char* group : {"vectors_passphrase_TREZOR", "vectors_empty_passphrase"}) {
        for (const auto& v : file.at(group)) out.push_back(v);
    }
    return out;
}

class Bip39Vector : public testing::TestWithParam<nlohmann::json> {};

TEST_P(Bip39Vector, EntropyRendersPublishedPhrase) {
    const auto& v = GetParam();
    auto mnemonic = Mnemonic::from_entropy(unhex(v.at("entropy").get<std::string>()));
    ASSERT_TRUE(mnemonic);
    EXPECT_EQ(mnemonic.value().phrase().text(), v.at("mnemonic"));
}

TEST_P(Bip39Vector, PhraseRoundTripsUnchanged) {
    const std::string phrase = GetParam().at("mnemonic");
    const Mnemonic mnemonic = parse(phrase);
    EXPECT_EQ(mnemonic.phrase().text(), phrase);
    EXPECT_EQ(mnemonic.word_count(),
              static_cast<std::size_t>(std::count(phrase.begin(), phrase.end(), ' ') + 1));
}

TEST_P(Bip39Vector, SeedAndMasterKeyMatch) {
    const auto& v = GetParam();
    const SecretBytes seed =
        parse(v.at("mnemonic").get<std::string>()).to_seed(v.at("passphrase").get<std::string>());
    EXPECT_EQ(seed.size(), 64u);
    EXPECT_EQ(seed.capacity(), 64u);
    EXPECT_EQ(hex(seed.bytes()), v.at("seed"));

    auto master = HdDeriver::derive(seed.bytes(), "m", Curve::Secp256k1);
    ASSERT_TRUE(master);
    EXPECT_EQ(hex(master.value().bytes()), xprv_private_key_hex(v.at("bip32_xprv")));
}

INSTANTIATE_TEST_SUITE_P(Mnemonic, Bip39Vector, testing::ValuesIn(bip39_vectors()),
                         oxa_test::by_index);

struct BadPhrase {
    std::string name;
    std::string phrase;
    std::string text;
};

void PrintTo(const BadPhrase& c, std::ostream* os) { *os << testing::PrintToString(c.phrase); }

std::vector<BadPhrase> bad_phrases() {
    const std::string words_11 = repeat_word("abandon", 11);
    return {
        {"TrailingNewline", ABANDON_ABOUT + "\n", std::string(LAYOUT_TEXT)},
        {"TrailingSpace", ABANDON_ABOUT + " ", std::string(LAYOUT_TEXT)},
        {"LeadingSpace", " " + ABANDON_ABOUT, std::string(LAYOUT_TEXT)},
        {"DoubledSpace", "abandon  " + ABANDON_ABOUT.substr(8), std::string(LAYOUT_TEXT)},
        {"TabSeparator", "abandon\t" + ABANDON_ABOUT.substr(8), std::string(LAYOUT_TEXT)},
        {"CapitalisedWord", "Abandon " + ABANDON_ABOUT.substr(8), std::string(LAYOUT_TEXT)},
        {"AllCaps",
         "ABANDON ABANDON ABANDON ABANDON ABANDON ABANDON ABANDON ABANDON ABANDON ABANDON ABANDON "
         "ABOUT",
         std::string(LAYOUT_TEXT)},
        {"AccentedLetter", "abandón " + ABANDON_ABOUT.substr(8), std::string(LAYOUT_TEXT)},
        {"NulByte", ABANDON_ABOUT + std::string(1, '\0'), std::string(LAYOUT_TEXT)},
        {"Empty", "", std::string(LAYOUT_TEXT)},
        {"OneWord", "abandon", "invalid word count 1 (expected 12, 15, 18, 21 or 24)"},
        {"ElevenWords", words_11, "invalid word count 11 (expected 12, 15, 18, 21 or 24)"},
        {"ThirteenWords", ABANDON_ABOUT + " abandon",
         "invalid word count 13 (expected 12, 15, 18, 21 or 24)"},
        {"TwentySevenWords", repeat_word("abandon", 26) + " about",
         "invalid word count 27 (expected 12, 15, 18, 21 or 24)"},
        {"UnknownWord", "abandon xyz " + repeat_word("abandon", 9) + " about",
         "unknown word at position 2"},
        {"WordPrefix", repeat_word("abandon", 11) + " abou", "unknown word at position 12"},
        {"WordPastListEnd", repeat_word("abandon", 11) + " zzz", "unknown word at position 12"},
        {"WrongChecksum12", repeat_word("abandon", 12), "invalid checksum"},
        {"WrongChecksum24", repeat_word("abandon", 24), "invalid checksum"},
        {"WrongChecksumZoo", repeat_word("abandon", 11) + " zoo", "invalid checksum"},
    };
}

class MnemonicRefuses : public testing::TestWithParam<BadPhrase> {};

TEST_P(MnemonicRefuses, WithTheReason) {
    const BadPhrase& c = GetParam();
    auto parsed = Mnemonic::from_phrase(c.phrase);
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.error().kind, MnemonicError::Kind::InvalidPhrase);
    EXPECT_EQ(parsed.error().text, c.text);
    EXPECT_EQ(parsed.error().display(), "invalid mnemonic phrase: " + c.text);
}

INSTANTIATE_TEST_SUITE_P(Phrase, MnemonicRefuses, testing::ValuesIn(bad_phrases()),
                         [](const testing::TestParamInfo<BadPhrase>& info) {
                             return info.param.name;
                         });

// The checksum keeps ENT/32 bits, so exactly 2^(11 - CS) final words fit.
TEST(Mnemonic, ChecksumAdmitsTheExpectedCountOfLastWords) {
    for (const auto& [words, expected] : {std::pair{12, 128}, std::pair{24, 8}}) {
        const std::string head = repeat_word("abandon", words - 1) + " ";
        int valid = 0;
        for (std::string_view last : bip39_english_words()) {
            if (Mnemonic::from_phrase(head + std::string(last))) ++valid;
        }
        EXPECT_EQ(valid, expected) << words << " words";
    }
}

TEST(Mnemonic, EveryEntropyLengthRoundTrips) {
    for (std::size_t len : {16u, 20u, 24u, 28u, 32u}) {
        const auto entropy = oxa_test::random_bytes(len);
        auto mnemonic = Mnemonic::from_entropy(entropy);
        ASSERT_TRUE(mnemonic) << len;
        EXPECT_EQ(mnemonic.value().word_count(), len * 3 / 4);
        const SecretBytes phrase = mnemonic.value().phrase();
        const Mnemonic reparsed = parse(phrase.text());
        EXPECT_EQ(reparsed.phrase().text(), phrase.text());
        EXPECT_EQ(hex(reparsed.to_seed("").bytes()), hex(mnemonic.value().to_seed("").bytes()));
    }
}

TEST(Mnemonic, EntropyOfWrongLengthIsRefused) {
    for (std::size_t len : {0u, 4u, 15u, 17u, 33u, 64u}) {
        auto mnemonic = Mnemonic::from_entropy(std::vector<std::uint8_t>(len, 1));
        ASSERT_FALSE(mnemonic) << len;
        EXPECT_EQ(mnemonic.error().kind, MnemonicError::Kind::InvalidPhrase);
        EXPECT_EQ(mnemonic.error().text, "invalid entropy length " + std::to_string(len) +
                                             " (expected 16, 20, 24, 28 or 32 bytes)");
    }
}

TEST(Mnemonic, SeedWithEmptyPassphraseIsStable) {
    const Mnemonic mnemonic = parse(ABANDON_ABOUT);
    EXPECT_EQ(hex(mnemonic.to_seed("").bytes()), hex(mnemonic.to_seed("").bytes()));
    EXPECT_NE(hex(mnemonic.to_seed("").bytes()), hex(mnemonic.to_seed("x").bytes()));
}

TEST(Mnemonic, GenerateGivesDistinctValidPhrases) {
    for (const auto& [count, words] :
         {std::pair{WordCount::Twelve, 12u}, std::pair{WordCount::TwentyFour, 24u}}) {
        std::set<std::string> seen;
        for (int i = 0; i < 20; ++i) {
            auto generated = Mnemonic::generate(count);
            ASSERT_TRUE(generated);
            EXPECT_EQ(generated.value().word_count(), words);
            const SecretBytes phrase = generated.value().phrase();
            EXPECT_EQ(parse(phrase.text()).phrase().text(), phrase.text());
            seen.emplace(phrase.text());
        }
        EXPECT_EQ(seen.size(), 20u);
    }
}

TEST(Mnemonic, GenerateRefusesACountOutsideTheEnumeration) {
    auto generated = Mnemonic::generate(static_cast<WordCount>(100));
    ASSERT_FALSE(generated);
    EXPECT_EQ(generated.error().display(),
              "mnemonic generation failed: unsupported word count 100");
}

TEST(Mnemonic, PhraseBufferIsExactlySized) {
    const SecretBytes phrase = parse(ABANDON_ABOUT).phrase();
    EXPECT_EQ(phrase.size(), ABANDON_ABOUT.size());
    EXPECT_EQ(phrase.capacity(), ABANDON_ABOUT.size());
}

TEST(Mnemonic, MovedFromValueRendersNothing) {
    Mnemonic source = parse(ABANDON_ABOUT);
    const Mnemonic target(std::move(source));
    EXPECT_EQ(target.phrase().text(), ABANDON_ABOUT);
    EXPECT_TRUE(source.phrase().empty());  // NOLINT(bugprone-use-after-move)
}

TEST(Mnemonic, WordListFileMatchesPublishedHash) {
    std::ifstream in(std::string(OXA_TEST_DATA_DIR) + "/bip39-english.txt", std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(hex(sha256(bytes_of(file))),
              "2f5eed53a4727b4bf8880d8f3f199efc90e58503646d9ff8eff3a2ed3b24dbda");
}

TEST(Mnemonic, CompiledWordListMatchesPublishedHash) {
    std::string joined;
    for (std::string_view word : bip39_english_words()) {
        joined += word;
        joined += '\n';
    }
    EXPECT_EQ(hex(sha256(bytes_of(joined))),
              "2f5eed53a4727b4bf8880d8f3f199efc90e58503646d9ff8eff3a2ed3b24dbda");
}

// Word lookup is a binary search.
TEST(Mnemonic, CompiledWordListIsStrictlySorted) {
    const auto& words = bip39_english_words();
    EXPECT_TRUE(std::adjacent_find(words.begin(), words.end(), std::greater_equal<>()) ==
                words.end());
}

}  // namespace
