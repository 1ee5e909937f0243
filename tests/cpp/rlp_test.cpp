#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "oxa_signer/rlp.hpp"
#include "test_support.hpp"

namespace {

using oxa_signer::encode_bytes;
using oxa_signer::encode_length;
using oxa_signer::encode_signed_typed_tx;
using oxa_test::hex;
using oxa_test::unhex;

using Bytes32 = std::array<std::uint8_t, 32>;

Bytes32 number32(std::string_view tail_hex) {
    Bytes32 out{};
    const auto tail = unhex(tail_hex);
    std::copy(tail.begin(), tail.end(), out.end() - static_cast<std::ptrdiff_t>(tail.size()));
    return out;
}

const Bytes32 HIGH_R = number32("ff00000000000000000000000000000000000000000000000000000000000001");

struct LengthCase {
    std::size_t length;
    std::uint8_t offset;
    const char* header;
};

void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << "length " << c.length << " at offset " << +c.offset;
}

class RlpEncodeLength : public testing::TestWithParam<LengthCase> {};

TEST_P(RlpEncodeLength, WritesShortOrLongHeader) {
    EXPECT_EQ(hex(encode_length(GetParam().length, GetParam().offset)), GetParam().header);
}

INSTANTIATE_TEST_SUITE_P(Headers, RlpEncodeLength,
                         testing::Values(LengthCase{0, 0x80, "80"}, LengthCase{55, 0x80, "b7"},
                                         LengthCase{56, 0x80, "b838"},
                                         LengthCase{255, 0x80, "b8ff"},
                                         LengthCase{256, 0x80, "b90100"}, LengthCase{0, 0xC0, "c0"},
                                         LengthCase{55, 0xC0, "f7"}, LengthCase{56, 0xC0, "f838"},
                                         LengthCase{256, 0xC0, "f90100"},
                                         LengthCase{65536, 0xC0, "fa010000"},
                                         LengthCase{std::numeric_limits<std::size_t>::max(), 0xC0,
                                                    "ffffffffffffffffff"}),
                         oxa_test::by_index);

struct BytesCase {
    const char* input;
    const char* encoded;
};

void PrintTo(const BytesCase& c, std::ostream* os) { *os << '"' << c.input << '"'; }

class RlpEncodeBytes : public testing::TestWithParam<BytesCase> {};

TEST_P(RlpEncodeBytes, KeepsALowByteElsePrefixes) {
    EXPECT_EQ(hex(encode_bytes(unhex(GetParam().input))), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(Strings, RlpEncodeBytes,
                         testing::Values(BytesCase{"", "80"}, BytesCase{"00", "00"},
                                         BytesCase{"7f", "7f"}, BytesCase{"80", "8180"},
                                         BytesCase{"ff", "81ff"}, BytesCase{"0000", "820000"}),
                         oxa_test::by_index);

TEST(RlpEncodeBytes, FiftySixBytesGetALongHeader) {
    const std::vector<std::uint8_t> input(56, 0xAB);
    const auto encoded = encode_bytes(input);
    ASSERT_EQ(encoded.size(), 58u);
    EXPECT_EQ(hex(std::span(encoded).first(2)), "b838");
    EXPECT_EQ(encoded.back(), 0xAB);
}

struct RefusedCase {
    const char* name;
    const char* tx;
    const char* error;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RlpRefusesTransaction : public testing::TestWithParam<RefusedCase> {};

TEST_P(RlpRefusesTransaction, WithTheExactText) {
    const auto result = encode_signed_typed_tx(unhex(GetParam().tx), 1, HIGH_R, HIGH_R);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, RlpRefusesTransaction,
    testing::Values(
        RefusedCase{"Empty", "", "empty transaction"},
        RefusedCase{"TypeZero", "00c0", "unsupported transaction type (expected 0x01 or 0x02)"},
        RefusedCase{"TypeThree", "03c0", "unsupported transaction type (expected 0x01 or 0x02)"},
        RefusedCase{"LegacyList",
                    "ec098504a817c800825208943535353535353535353535353535353535353535880de0b6b3a7"
                    "64000080018080",
                    "unsupported transaction type (expected 0x01 or 0x02)"},
        RefusedCase{"OnlyTheTypeByte", "02", "empty input"},
        RefusedCase{"LongListWithoutLengthByte", "02f8", "truncated length"},
        RefusedCase{"LongStringWithoutLengthByte", "02b8", "truncated length"},
        RefusedCase{"TwoLengthBytesOneGiven", "02f901", "truncated length"},
        RefusedCase{"EightLengthBytesSevenGiven", "02ffffffffffffffff", "truncated length"},
        RefusedCase{"ShortListPastTheEnd", "02c30102", "truncated RLP payload"},
        RefusedCase{"ShortStringPastTheEnd", "02820a", "truncated RLP payload"},
        RefusedCase{"LongListPastTheEnd", "02f83801", "truncated RLP payload"},
        RefusedCase{"LengthNearSizeMaxDoesNotWrap", "02ffffffffffffffffff00",
                    "truncated RLP payload"},
        RefusedCase{"LengthSizeMaxMinusOne", "02fffffffffffffffffe00", "truncated RLP payload"}),
    oxa_test::by_index);

TEST(RlpSignedTypedTx, AppendsParityAndMinimalRAndS) {
    const auto r = number32("0123");
    const auto s = number32("7f");
    const auto signed_tx = encode_signed_typed_tx(unhex("02c105"), 1, r, s);
    ASSERT_TRUE(signed_tx);
    EXPECT_EQ(hex(signed_tx.value()),
              "02c6"
              "05"
              "01"
              "820123"
              "7f");
}

TEST(RlpSignedTypedTx, ZeroParityAndZeroRBecomeEmptyStrings) {
    const auto signed_tx = encode_signed_typed_tx(unhex("01c0"), 0, Bytes32{}, number32("01"));
    ASSERT_TRUE(signed_tx);
    EXPECT_EQ(hex(signed_tx.value()),
              "01c3"
              "80"
              "80"
              "01");
}

TEST(RlpSignedTypedTx, FullWidthRAndSKeepAll32Bytes) {
    const auto signed_tx = encode_signed_typed_tx(unhex("02c0"), 1, HIGH_R, HIGH_R);
    ASSERT_TRUE(signed_tx);
    const std::string field = "a0" + hex(HIGH_R);
    EXPECT_EQ(hex(signed_tx.value()),
              "02f843"
              "01" +
                  field + field);
}

TEST(RlpSignedTypedTx, LongHeaderOnceTheBodyReaches56Bytes) {
    // 10 payload bytes + 1 (v) + 33 (r) + 33 (s) = 77 = 0x4d
    const auto tx = unhex(
        "02ca"
        "00112233445566778899");
    const auto signed_tx = encode_signed_typed_tx(tx, 1, HIGH_R, HIGH_R);
    ASSERT_TRUE(signed_tx);
    EXPECT_EQ(hex(std::span(signed_tx.value()).first(4)), "02f84d00");
    EXPECT_EQ(signed_tx.value().size(), 1 + 2 + 77u);
}

TEST(RlpSignedTypedTx, BytesAfterTheUnsignedListAreDropped) {
    const auto r = number32("05");
    const auto with_trailer = encode_signed_typed_tx(unhex("02c105aabbcc"), 0, r, r);
    const auto without = encode_signed_typed_tx(unhex("02c105"), 0, r, r);
    ASSERT_TRUE(with_trailer);
    ASSERT_TRUE(without);
    EXPECT_EQ(hex(with_trailer.value()), hex(without.value()));
}

struct HeaderFormCase {
    const char* name;
    const char* tx;
    const char* payload;
};

void PrintTo(const HeaderFormCase& c, std::ostream* os) { *os << c.name; }

class RlpReadsAnyHeaderForm : public testing::TestWithParam<HeaderFormCase> {};

TEST_P(RlpReadsAnyHeaderForm, AndCarriesThePayload) {
    const auto zero = Bytes32{};
    const auto signed_tx = encode_signed_typed_tx(unhex(GetParam().tx), 0, zero, zero);
    ASSERT_TRUE(signed_tx);
    const std::string payload = GetParam().payload;
    const std::size_t body_bytes = payload.size() / 2 + 3;
    EXPECT_EQ(hex(signed_tx.value()),
              "02" + hex(encode_length(body_bytes, 0xC0)) + payload + "808080");
}

INSTANTIATE_TEST_SUITE_P(Forms, RlpReadsAnyHeaderForm,
                         testing::Values(HeaderFormCase{"SingleByteItem", "0205", "05"},
                                         HeaderFormCase{"ShortString", "0282aabb", "aabb"},
                                         HeaderFormCase{"LongString", "02b802aabb", "aabb"},
                                         HeaderFormCase{"LongListTwoLengthBytes", "02f90002aabb",
                                                        "aabb"},
                                         HeaderFormCase{"EmptyList", "02c0", ""}),
                         oxa_test::by_index);

TEST(RlpSignedTypedTx, EveryCutOfARealPayloadIsRefused) {
    const auto tx = unhex(oxa_test::load_vectors("eip1559.json")["eip1559"][1]["unsigned_payload"]
                              .get<std::string>()
                              .substr(2));
    for (std::size_t len = 0; len < tx.size(); ++len) {
        const auto result = encode_signed_typed_tx(std::span(tx).first(len), 1, HIGH_R, HIGH_R);
        ASSERT_FALSE(result) << "length " << len;
        const char* expected = len == 0   ? "empty transaction"
                               : len == 1 ? "empty input"
                               : len == 2 ? "truncated length"
                                          : "truncated RLP payload";
        EXPECT_EQ(result.error(), expected) << "length " << len;
    }
}

TEST(RlpSignedTypedTx, RandomInputsNeverReadPastTheEnd) {
    for (int i = 0; i < 2000; ++i) {
        auto tx = oxa_test::random_bytes(oxa_test::test_rng()() % 24);
        if (!tx.empty()) tx[0] = static_cast<std::uint8_t>(1 + tx[0] % 2);
        const auto result = encode_signed_typed_tx(tx, 1, HIGH_R, HIGH_R);
        if (result) {
            EXPECT_LE(result.value().size(), tx.size() + 3 + 9 + 66);
        }
    }
}

}  // namespace
