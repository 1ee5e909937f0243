#include <gtest/gtest.h>

#include <string>

#include "oxa_signer/nfkd.hpp"

namespace {

struct NfkdCase {
    const char* name;
    const char* text;
    const char* nfkd;
};

class Nfkd : public ::testing::TestWithParam<NfkdCase> {};

TEST_P(Nfkd, GivesTheDecomposition) {
    const auto normalized = oxa_signer::nfkd(GetParam().text);
    ASSERT_TRUE(normalized) << normalized.error();
    EXPECT_EQ(normalized.value().text(), GetParam().nfkd);
}

// The examples of Unicode Standard Annex #15 (figures 3 to 6 and table 1),
// with ASCII, which is its own NFKD, and the empty text.
INSTANTIATE_TEST_SUITE_P(
    Uax15, Nfkd,
    ::testing::Values(
        NfkdCase{"Ascii", "correct horse battery staple", "correct horse battery staple"},
        NfkdCase{"Empty", "", ""}, NfkdCase{"Precomposed", "\u00e9", "e\u0301"},
        NfkdCase{"Ligature", "\ufb01", "fi"}, NfkdCase{"Angstrom", "\u212b", "A\u030a"},
        NfkdCase{"Ohm", "\u2126", "\u03a9"}, NfkdCase{"LongS", "\u1e9b\u0323", "s\u0323\u0307"},
        NfkdCase{"Circled", "\u2460", "1"}, NfkdCase{"Superscript", "x\u00b2", "x2"},
        NfkdCase{"Hangul", "\uac00", "\u1100\u1161"},
        NfkdCase{"CanonicalOrder", "a\u0307\u0323", "a\u0323\u0307"},
        NfkdCase{"Halfwidth", "\uff76", "\u30ab"},
        NfkdCase{"ArabicLigature", "\ufdfa",
                 "\u0635\u0644\u0649 \u0627\u0644\u0644\u0647 \u0639\u0644\u064a\u0647 "
                 "\u0648\u0633\u0644\u0645"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Nfkd, InvalidUtf8IsRefused) {
    for (std::string_view text : {"\xff", "abc\xc3", "\xed\xa0\x80"}) {
        const auto normalized = oxa_signer::nfkd(text);
        ASSERT_FALSE(normalized);
        EXPECT_EQ(normalized.error(), "text is not valid UTF-8");
    }
}

}  // namespace
