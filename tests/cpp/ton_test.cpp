#include <gtest/gtest.h>

#include <openssl/sha.h>
#include <sodium.h>

#include <cstring>
#include <string>

#include "oxa_signer/chains/solana.hpp"
#include "oxa_signer/chains/ton.hpp"
#include "oxa_signer/encoding/crc16.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

using oxa_signer::TonSigner;
using oxa_test::hex;
using oxa_test::unhex;

const TonSigner SIGNER;

constexpr const char* CODE_HASH =
    "20834b7b72b112147e1b2fb457b84e74d1a30f04f737d4f62a668e9552d2b72f";

// Independent helpers: the cell layout written out as a string of bits, hashes
// from OpenSSL, CRC bit by bit, Base64 from libsodium.

std::string bits_of(std::span<const std::uint8_t> bytes) {
    std::string bits;
    for (std::uint8_t b : bytes) {
        for (int i = 7; i >= 0; --i) bits += ((b >> i) & 1) ? '1' : '0';
    }
    return bits;
}

std::vector<std::uint8_t> pack_bits(const std::string& bits) {
    std::vector<std::uint8_t> out((bits.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (bits[i] == '1') out[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    }
    return out;
}

std::vector<std::uint8_t> sha256_of(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out(SHA256_DIGEST_LENGTH);
    SHA256(data.data(), data.size(), out.data());
    return out;
}

std::uint16_t crc16_bitwise(std::span<const std::uint8_t> data) {
    std::uint16_t crc = 0;
    for (std::uint8_t b : data) {
        crc ^= static_cast<std::uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

std::string base64url(const std::vector<std::uint8_t>& bytes) {
    const int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
    std::string out(sodium_base64_ENCODED_LEN(bytes.size(), variant), '\0');
    sodium_bin2base64(out.data(), out.size(), bytes.data(), bytes.size(), variant);
    out.resize(std::strlen(out.c_str()));
    return out;
}

std::vector<std::uint8_t> base64url_decode(const std::string& text) {
    std::vector<std::uint8_t> out(text.size());
    std::size_t len = 0;
    if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &len, nullptr,
                          sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0) {
        return {};
    }
    out.resize(len);
    return out;
}

std::vector<std::uint8_t> expected_data_cell(const std::vector<std::uint8_t>& public_key) {
    const std::string data_bits =
        "1" + std::string(32, '0') + bits_of(unhex("7fffff11")) + bits_of(public_key) + "0";
    std::string tagged = data_bits + "1";
    tagged.resize(41 * 8, '0');
    auto cell = unhex("0051");
    const auto packed = pack_bits(tagged);
    cell.insert(cell.end(), packed.begin(), packed.end());
    return cell;
}

std::string expected_address(const std::vector<std::uint8_t>& public_key) {
    const auto data_hash = sha256_of(expected_data_cell(public_key));
    const auto state_init = unhex(std::string("02013400060000") + CODE_HASH + hex(data_hash));
    auto address = unhex("5100");
    const auto account = sha256_of(state_init);
    address.insert(address.end(), account.begin(), account.end());
    const std::uint16_t crc = crc16_bitwise(address);
    address.push_back(static_cast<std::uint8_t>(crc >> 8));
    address.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return base64url(address);
}

struct TonCase {
    std::string name;
    std::string seed;
    std::string public_key;
    std::string address;
};

std::vector<TonCase> ton_cases() {
    const auto ton = oxa_test::load_vectors("addresses-abandon.json")["ton_wallet_v5r1"];
    std::vector<TonCase> out;
    int i = 0;
    for (const auto& v : ton["published"]) {
        out.push_back({"Tonutils" + std::to_string(i++), v["private_key_seed"], v["public_key"],
                       v["address_non_bounceable"]});
    }
    const auto& abandon = ton["abandon_computed"];
    out.push_back({"Abandon", abandon["private_key_seed"], abandon["public_key"],
                   abandon["address_non_bounceable"]});
    return out;
}

class TonAddress : public testing::TestWithParam<TonCase> {};

TEST_P(TonAddress, MatchesThePublishedAddress) {
    const auto address = SIGNER.derive_address(unhex(GetParam().seed));
    ASSERT_TRUE(address) << address.error().display();
    EXPECT_EQ(address.value(), GetParam().address);
}

TEST_P(TonAddress, EqualsTheCellLayoutBitByBit) {
    const auto public_key = unhex(GetParam().public_key);
    EXPECT_EQ(expected_address(public_key), GetParam().address);
    oxa_signer::Ed25519PublicKey key{};
    std::copy(public_key.begin(), public_key.end(), key.begin());
    EXPECT_EQ(hex(oxa_signer::ton_data_cell(key)), hex(expected_data_cell(public_key)));
    EXPECT_EQ(oxa_signer::ton_wallet_address(key), GetParam().address);
}

TEST_P(TonAddress, DecodesTo36BytesWithTheCrc) {
    const auto decoded = base64url_decode(GetParam().address);
    ASSERT_EQ(decoded.size(), 36u);
    EXPECT_EQ(decoded[0], 0x51);
    EXPECT_EQ(decoded[1], 0x00);
    const std::uint16_t crc = oxa_signer::crc16_xmodem(std::span(decoded).first(34));
    EXPECT_EQ(crc, crc16_bitwise(std::span(decoded).first(34)));
    EXPECT_EQ(decoded[34], crc >> 8);
    EXPECT_EQ(decoded[35], crc & 0xFF);
}

INSTANTIATE_TEST_SUITE_P(V5R1, TonAddress, testing::ValuesIn(ton_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(TonAddress, Is48UrlSafeCharactersStartingWithUQ) {
    for (int i = 0; i < 8; ++i) {
        const auto seed = oxa_test::random_bytes(32);
        const auto address = SIGNER.derive_address(seed);
        ASSERT_TRUE(address);
        const auto& text = address.value();
        EXPECT_EQ(text.size(), 48u);
        EXPECT_EQ(text.rfind("UQ", 0), 0u);
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
        }));
        const auto public_key = oxa_signer::ed25519_public_key(seed).value();
        EXPECT_EQ(text, expected_address({public_key.begin(), public_key.end()}));
        EXPECT_EQ(SIGNER.derive_address(seed).value(), text);
    }
}

TEST(TonCells, DataCellIs43BytesStarting005180) {
    const auto cell = oxa_signer::ton_data_cell(oxa_signer::Ed25519PublicKey{});
    ASSERT_EQ(cell.size(), 43u);
    EXPECT_EQ(hex(std::span(cell).first(3)), "005180");
    EXPECT_EQ(cell[42], 0x20);  // last key bit 0, no extensions, completion tag
}

TEST(TonCells, StateInitHoldsCodeHashThenDataHash) {
    oxa_signer::Bytes32 data_hash{};
    data_hash.fill(0xAB);
    const auto cell = oxa_signer::ton_state_init_cell(data_hash);
    std::string data_hash_hex;
    for (int i = 0; i < 32; ++i) data_hash_hex += "ab";
    EXPECT_EQ(hex(cell), std::string("02013400060000") + CODE_HASH + data_hash_hex);
}

TEST(TonSign, MatchesSolanaAndVerifiesOverTheUnchangedBytes) {
    const auto seed = oxa_test::random_bytes(32);
    const auto bytes = oxa_test::random_bytes(oxa_test::test_rng()() % 200);
    const auto message = SIGNER.sign_message(seed, bytes);
    const auto transaction = SIGNER.sign_transaction(seed, bytes);
    ASSERT_TRUE(message);
    ASSERT_TRUE(transaction);
    EXPECT_EQ(message.value().signature, transaction.value().signature);
    EXPECT_EQ(message.value().signature,
              oxa_signer::SolanaSigner().sign_message(seed, bytes).value().signature);
    EXPECT_FALSE(message.value().recovery_id.has_value());
    EXPECT_TRUE(oxa_test::ed25519_verifies(oxa_signer::ed25519_public_key(seed).value(), bytes,
                                           message.value().signature));
}

}  // namespace
