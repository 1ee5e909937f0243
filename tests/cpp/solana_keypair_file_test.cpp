#include <gtest/gtest.h>

#include <string>

#include "oxa_lib/solana_keypair_file.hpp"
#include "test_support.hpp"

using nlohmann::json;
using oxa_lib::read_solana_keypair;
using oxa_lib::write_solana_keypair;
using oxa_test::hex;

namespace {

const json& vectors() {
    static const json file = oxa_test::load_vectors("solana-keypair.json");
    return file;
}

std::string read_outcome(std::string_view text) {
    const auto read = read_solana_keypair(text);
    return read ? hex(read.value().bytes()) : read.error().display();
}

class SolanaKeypairVectors : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SolanaKeypairVectors, ReadAndWrite) {
    const json& entry = vectors().at("keypairs").at(GetParam());
    const std::string text = entry.at("keypair_file_text");
    const std::string seed = entry.at("secret_seed_hex");
    EXPECT_EQ(read_outcome(text), seed);
    // Blanks and line breaks, as hand-edited or pretty-printed files have them.
    EXPECT_EQ(read_outcome(entry.at("keypair_json").dump(1) + "\n"), seed);
    const auto written = write_solana_keypair(oxa_test::unhex(seed));
    ASSERT_TRUE(written);
    EXPECT_EQ(written.value().text(), text);
}

INSTANTIATE_TEST_SUITE_P(Published, SolanaKeypairVectors, ::testing::Values(0, 1, 2),
                         oxa_test::by_index);

// The published valid array, changed; no refusal quotes a key byte (the
// reader quotes the values it refuses in backquotes).
struct Refusal {
    const char* name;
    std::string (*text)(const json& numbers);
    const char* error_start;
};

class SolanaKeypairRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(SolanaKeypairRefuses, WithoutKeyBytes) {
    const json& numbers = vectors().at("keypairs").at(0).at("keypair_json");
    const std::string error = read_outcome(GetParam().text(numbers));
    EXPECT_TRUE(error.starts_with(GetParam().error_start)) << error;
    for (const json& number : numbers) {
        EXPECT_EQ(error.find('`' + std::to_string(number.get<int>()) + '`'), std::string::npos)
            << error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    T, SolanaKeypairRefuses,
    ::testing::Values(
        Refusal{"Mismatched",
                [](const json&) {
                    return vectors().at("invalid_keypairs").at(0).at("keypair_json").dump();
                },
                "invalid input: invalid keypair: the public key is not the secret key's"},
        Refusal{"Short",
                [](const json& n) {
                    json shorter = n;
                    shorter.erase(shorter.end() - 1);
                    return shorter.dump();
                },
                "invalid input: invalid keypair: 63 numbers, expected 64"},
        Refusal{"Long",
                [](const json& n) {
                    json longer = n;
                    longer.push_back(1);
                    return longer.dump();
                },
                "invalid input: invalid keypair: more than 64 numbers"},
        Refusal{"NotByte",
                [](const json& n) {
                    json changed = n;
                    changed[5] = 256;
                    return changed.dump();
                },
                "invalid input: invalid keypair: a number is not a byte (0 to 255)"},
        Refusal{"Negative",
                [](const json& n) {
                    json changed = n;
                    changed[5] = -1;
                    return changed.dump();
                },
                "invalid input: invalid keypair: expected a JSON array of 64 numbers from 0 to "
                "255 at line 1"},
        Refusal{"Fraction",
                [](const json& n) {
                    json changed = n;
                    changed[5] = 1.5;
                    return changed.dump();
                },
                "invalid input: invalid keypair: expected a JSON array of 64 numbers from 0 to "
                "255 at line 1"},
        Refusal{"Trailing", [](const json& n) { return n.dump() + ","; },
                "invalid input: invalid keypair: expected a JSON array of 64 numbers from 0 to "
                "255 at line 1"},
        Refusal{"Object", [](const json&) { return std::string("{}"); },
                "invalid input: invalid keypair: expected a JSON array of 64 numbers from 0 to "
                "255 at line 1 column 0"},
        Refusal{"Empty", [](const json&) { return std::string(); },
                "invalid input: invalid keypair: expected a JSON array of 64 numbers from 0 to "
                "255 at line 1 column 0"}),
    [](const auto& info) { return std::string(info.param.name); });

// Base58 (some wallets' export) and hex forms of the secret: the reader
// would quote them, and nothing of them may reach the error.
TEST(SolanaKeypair, OtherFormsOfTheSecretStayOutOfErrors) {
    const json& entry = vectors().at("keypairs").at(0);
    const std::string base58 = entry.at("keypair_base58");
    const std::string seed = entry.at("secret_seed_hex");
    for (const std::string& text : {base58, "\"" + base58 + "\"", "[\"" + seed + "\"]", seed,
                                    "[" + seed.substr(0, 8) + "]"}) {
        const std::string error = read_outcome(text);
        EXPECT_TRUE(error.starts_with("invalid input: invalid keypair: expected a JSON array"))
            << error;
        EXPECT_EQ(error.find(base58.substr(0, 4)), std::string::npos) << error;
        EXPECT_EQ(error.find(seed.substr(0, 4)), std::string::npos) << error;
    }
}

TEST(SolanaKeypair, RandomSeedsRoundTrip) {
    for (int i = 0; i < 50; ++i) {
        const auto seed = oxa_test::random_bytes(32);
        const auto text = write_solana_keypair(seed);
        ASSERT_TRUE(text);
        EXPECT_EQ(read_outcome(text.value().text()), hex(seed));
    }
}

TEST(SolanaKeypair, SeedOfAnotherLengthIsTheSignersError) {
    const auto written = write_solana_keypair(oxa_test::random_bytes(31));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().kind(), oxa_lib::OxaLibError::Kind::Signer);
}

}  // namespace
