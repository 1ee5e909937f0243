#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "oxa_signer/hashes.hpp"
#include "oxa_signer/random.hpp"
#include "test_support.hpp"

namespace {

using namespace oxa_signer;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::unhex;

struct DigestCase {
    std::string algorithm;
    std::string input;
    std::string digest;
};

void PrintTo(const DigestCase& c, std::ostream* os) {
    *os << c.algorithm << "(\"" << c.input << "\")";
}

std::vector<DigestCase> digest_cases() {
    const auto vectors = oxa_test::load_vectors("hashes.json");
    std::vector<DigestCase> out;
    for (const char* algorithm : {"sha256", "sha256d", "sha512", "ripemd160", "hash160"}) {
        for (const auto& c : vectors.at(algorithm)) {
            out.push_back({algorithm, c.at("input"), c.at("digest")});
        }
    }
    return out;
}

std::string digest_hex(const std::string& algorithm, ByteView input) {
    if (algorithm == "sha256") return hex(sha256(input));
    if (algorithm == "sha256d") return hex(sha256d(input));
    if (algorithm == "sha512") return hex(sha512(input));
    if (algorithm == "ripemd160") return hex(ripemd160(input));
    if (algorithm == "hash160") return hex(hash160(input));
    throw std::invalid_argument("unknown algorithm " + algorithm);
}

class HashKnownAnswer : public testing::TestWithParam<DigestCase> {};

TEST_P(HashKnownAnswer, MatchesDigest) {
    const DigestCase& c = GetParam();
    EXPECT_EQ(digest_hex(c.algorithm, bytes_of(c.input)), c.digest);
}

INSTANTIATE_TEST_SUITE_P(Hashes, HashKnownAnswer, testing::ValuesIn(digest_cases()),
                         [](const testing::TestParamInfo<DigestCase>& info) {
                             return info.param.algorithm + "_" + std::to_string(info.index);
                         });

class HmacKnownAnswer : public testing::TestWithParam<nlohmann::json> {};

TEST_P(HmacKnownAnswer, MatchesRfc4231) {
    const auto& c = GetParam();
    Bytes64 mac{};
    hmac_sha512(unhex(c.at("key_hex").get<std::string>()),
                bytes_of(c.at("data").get_ref<const std::string&>()), mac);
    EXPECT_EQ(hex(mac), c.at("mac"));
}

INSTANTIATE_TEST_SUITE_P(Hashes, HmacKnownAnswer,
                         testing::ValuesIn(oxa_test::load_vectors("hashes.json").at("hmac_sha512")),
                         oxa_test::by_index);

class Pbkdf2KnownAnswer : public testing::TestWithParam<nlohmann::json> {};

TEST_P(Pbkdf2KnownAnswer, MatchesPublishedOutput) {
    const auto& c = GetParam();
    std::vector<std::uint8_t> out(64);
    pbkdf2_hmac_sha512(bytes_of(c.at("password").get_ref<const std::string&>()),
                       bytes_of(c.at("salt").get_ref<const std::string&>()), c.at("iterations"),
                       out);
    EXPECT_EQ(hex(out), c.at("output"));
}

TEST_P(Pbkdf2KnownAnswer, ShortOutputIsPrefixOfLong) {
    const auto& c = GetParam();
    std::vector<std::uint8_t> out(20);
    pbkdf2_hmac_sha512(bytes_of(c.at("password").get_ref<const std::string&>()),
                       bytes_of(c.at("salt").get_ref<const std::string&>()), c.at("iterations"),
                       out);
    EXPECT_EQ(hex(out), c.at("output").get<std::string>().substr(0, 40));
}

INSTANTIATE_TEST_SUITE_P(
    Hashes, Pbkdf2KnownAnswer,
    testing::ValuesIn(oxa_test::load_vectors("hashes.json").at("pbkdf2_hmac_sha512")),
    oxa_test::by_index);

// BIP-32 fingerprints are the first 4 bytes of HASH160 of the parent public
// key, so the published vectors check hash160 on real key material.
TEST(Hashes, Hash160GivesPublishedBip32Fingerprints) {
    const auto vectors = oxa_test::load_vectors("bip32.json");
    int checked = 0;
    for (const auto& vector : vectors.at("vectors")) {
        const auto& chains = vector.at("chains");
        for (std::size_t i = 1; i < chains.size(); ++i) {
            const Bytes20 id = hash160(unhex(chains[i - 1].at("public_key").get<std::string>()));
            EXPECT_EQ(hex(std::span(id).first(4)), chains[i].at("parent_fingerprint"))
                << chains[i].at("path");
            ++checked;
        }
    }
    EXPECT_GT(checked, 10);
}

// An empty std::span carries a null pointer; the wrappers must not pass it
// on to OpenSSL calls that refuse it.
TEST(Hashes, EmptySpansWithNullDataAreHashed) {
    const ByteView none;
    EXPECT_EQ(hex(sha256(none)), hex(sha256(bytes_of(""))));
    EXPECT_EQ(hex(ripemd160(none)), hex(ripemd160(bytes_of(""))));

    // HMAC pads the key with zeros, so an empty key equals a one-zero-byte key.
    const std::uint8_t zero[1] = {0};
    Bytes64 empty_key{};
    Bytes64 zero_key{};
    hmac_sha512(none, none, empty_key);
    hmac_sha512(zero, bytes_of(""), zero_key);
    EXPECT_EQ(empty_key, zero_key);

    std::array<std::uint8_t, 16> empty_password{};
    std::array<std::uint8_t, 16> zero_password{};
    pbkdf2_hmac_sha512(none, none, 2, empty_password);
    pbkdf2_hmac_sha512(zero, bytes_of(""), 2, zero_password);
    EXPECT_EQ(empty_password, zero_password);
    pbkdf2_hmac_sha512(none, none, 2, std::span<std::uint8_t>());
}

TEST(Random, FillsEveryPartOfTheBuffer) {
    std::vector<std::uint8_t> buffer(4096, 0);
    random_fill(buffer);
    for (std::size_t start = 0; start < buffer.size(); start += 64) {
        const auto chunk = std::span(buffer).subspan(start, 64);
        EXPECT_TRUE(std::any_of(chunk.begin(), chunk.end(), [](std::uint8_t b) { return b != 0; }))
            << "64 zero bytes at offset " << start;
    }
}

TEST(Random, SuccessiveFillsDiffer) {
    std::array<std::uint8_t, 32> a{};
    std::array<std::uint8_t, 32> b{};
    random_fill(a);
    random_fill(b);
    EXPECT_NE(a, b);
}

TEST(Random, EmptyFillIsHarmless) { random_fill(std::span<std::uint8_t>()); }

TEST(Random, UuidIsVersion4WithRfc4122Variant) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string uuid = random_uuid_v4();
        ASSERT_EQ(uuid.size(), 36u);
        for (std::size_t pos = 0; pos < uuid.size(); ++pos) {
            if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
                EXPECT_EQ(uuid[pos], '-') << uuid;
            } else {
                EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(uuid[pos])) &&
                            !std::isupper(static_cast<unsigned char>(uuid[pos])))
                    << uuid;
            }
        }
        EXPECT_EQ(uuid[14], '4') << uuid;
        EXPECT_NE(std::string("89ab").find(uuid[19]), std::string::npos) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
