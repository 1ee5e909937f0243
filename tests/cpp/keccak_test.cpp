#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "oxa_signer/keccak.hpp"
#include "test_support.hpp"

namespace {

using oxa_signer::Keccak256;
using oxa_signer::keccak256;
using oxa_test::hex;
using oxa_test::unhex;

struct KeccakCase {
    std::string name;
    std::vector<std::uint8_t> input;
    std::string digest_hex;
};

void PrintTo(const KeccakCase& c, std::ostream* os) { *os << c.name; }

std::vector<KeccakCase> keccak_cases() {
    std::vector<KeccakCase> cases;
    const nlohmann::json file = oxa_test::load_vectors("keccak256.json");
    for (const auto& v : file.at("vectors")) {
        cases.push_back(
            {v.at("name"), unhex(v.at("input_hex").get<std::string>()), v.at("keccak256")});
    }
    return cases;
}

class KeccakVector : public ::testing::TestWithParam<KeccakCase> {};

TEST_P(KeccakVector, OneShotDigestMatches) {
    EXPECT_EQ(hex(keccak256(GetParam().input)), GetParam().digest_hex);
}

TEST_P(KeccakVector, ByteByByteDigestMatches) {
    Keccak256 hasher;
    for (std::uint8_t byte : GetParam().input) hasher.update(std::span(&byte, 1));
    EXPECT_EQ(hex(hasher.finish()), GetParam().digest_hex);
}

INSTANTIATE_TEST_SUITE_P(Published, KeccakVector, ::testing::ValuesIn(keccak_cases()),
                         oxa_test::by_index);

TEST(Keccak, UsesKeccakPaddingNotSha3) {
    const nlohmann::json file = oxa_test::load_vectors("keccak256.json");
    const auto& not_keccak = file.at("not_keccak").at(0);
    const auto digest = keccak256(unhex(not_keccak.at("input_hex").get<std::string>()));
    EXPECT_NE(hex(digest), not_keccak.at("sha3_256").get<std::string>());
}

TEST(Keccak, HashingInRandomChunksEqualsOneShot) {
    constexpr std::size_t RATE_BYTES = 136;
    // every length around the first block boundaries, where padding changes shape
    std::vector<std::size_t> lengths;
    for (std::size_t len = 0; len <= 2 * RATE_BYTES + 2; ++len) lengths.push_back(len);
    for (int i = 0; i < 20; ++i) lengths.push_back(oxa_test::test_rng()() % 2000);

    for (std::size_t len : lengths) {
        const auto data = oxa_test::random_bytes(len);
        Keccak256 hasher;
        std::size_t pos = 0;
        while (pos < len) {
            const std::size_t chunk =
                std::min<std::size_t>(len - pos, oxa_test::test_rng()() % 300);
            hasher.update(std::span(data).subspan(pos, chunk));
            pos += chunk;
        }
        EXPECT_EQ(hex(hasher.finish()), hex(keccak256(data))) << "length " << len;
    }
}

}  // namespace
