// Checking message signatures: published signatures of other software, every
// family's own signatures made and checked again, and the malformed inputs
// each must name.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "oxa_core/chain.hpp"
#include "oxa_signer/chains/bitcoin.hpp"
#include "oxa_signer/chains/evm.hpp"
#include "oxa_signer/ed25519_signing.hpp"
#include "oxa_signer/hashes.hpp"
#include "oxa_signer/message_verification.hpp"
#include "oxa_signer/secp256k1_signing.hpp"
#include "oxa_signer/traits.hpp"
#include "signature_checks.hpp"
#include "test_support.hpp"

namespace {

using nlohmann::json;
using oxa_core::ChainType;
using oxa_signer::recover_message_signer;
using oxa_signer::verify_message_signature;
using oxa_test::bytes_of;
using oxa_test::hex;
using oxa_test::unhex;

constexpr int ROUNDS = 16;
const std::vector<std::uint8_t> KEY = unhex(std::string(64, '1'));

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return text;
}

json first_vector(const char* file, const char* key) {
    return oxa_test::load_vectors(file)[key][0];
}

/// What the family's verification takes as the address of a key.
std::string address_for(ChainType family, std::span<const std::uint8_t> key) {
    if (family == ChainType::Ton) return hex(oxa_signer::ed25519_public_key(key).value());
    return oxa_signer::signer_for_chain(family)->derive_address(key).value();
}

std::string signed_message(ChainType family, std::span<const std::uint8_t> key,
                           std::span<const std::uint8_t> message) {
    return hex(oxa_signer::signer_for_chain(family)->sign_message(key, message).value().signature);
}

std::vector<std::uint8_t> random_key(ChainType family) {
    for (;;) {
        auto key = oxa_test::random_bytes(32);
        if (oxa_signer::signer_for_chain(family)->derive_address(key)) return key;
    }
}

bool is_secp256k1(ChainType family) {
    return oxa_signer::signer_for_chain(family)->curve() == oxa_signer::Curve::Secp256k1;
}

// Published signatures ---------------------------------------------------------

TEST(VerifyMessage, PersonalSignVectorsVerifyAndRecover) {
    const auto vectors = oxa_test::load_vectors("eip1559.json");
    for (const auto& v : vectors["eip191_personal_sign"]) {
        const auto message = v["message_utf8"].get<std::string>();
        const auto signature = v["signature"].get<std::string>();  // 0x..., v 27 or 28
        const auto address = v["address"].get<std::string>();
        EXPECT_TRUE(verify_message_signature(ChainType::Evm, bytes_of(message), signature, address)
                        .value());
        // The same signature with v as a bare recovery id, and in capitals.
        auto bare = signature.substr(2);
        bare.replace(
            128, 2,
            hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(v["v"].get<int>() - 27)}));
        EXPECT_TRUE(
            verify_message_signature(ChainType::Evm, bytes_of(message), upper(bare), lower(address))
                .value());
        EXPECT_FALSE(
            verify_message_signature(ChainType::Evm, bytes_of(message + " "), signature, address)
                .value());
        EXPECT_EQ(recover_message_signer(ChainType::Evm, bytes_of(message), signature).value(),
                  address);
    }
    const auto only = first_vector("eip1559.json", "eip191_recover_only");
    const std::string signature = only["r"].get<std::string>() +
                                  only["s"].get<std::string>().substr(2) +
                                  hex(std::vector<std::uint8_t>{28});
    EXPECT_EQ(recover_message_signer(ChainType::Evm,
                                     bytes_of(only["message_utf8"].get<std::string>()), signature)
                  .value(),
              only["recovered_address"]);
}

TEST(VerifyMessage, BitcoinCoreVectorsAsP2wpkh) {
    const auto vectors = oxa_test::load_vectors("bitcoin-signmessage.json");
    // The vector of a message never signed names only the legacy address;
    // another vector carries that address's key.
    std::map<std::string, std::string> key_of_address;
    for (const auto& v : vectors["vectors"]) {
        for (const char* field : {"public_key", "recovered_public_key"}) {
            if (v.contains(field)) {
                key_of_address[v["address"].get<std::string>()] = v[field].get<std::string>();
            }
        }
    }
    for (const auto& v : vectors["vectors"]) {
        // Bitcoin Core carries the recovery id in a leading header byte; ours
        // follows r || s.
        const std::string signature =
            v["r"].get<std::string>() + v["s"].get<std::string>() +
            hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(v["recovery_id"].get<int>())});
        const auto message = v["message"].get<std::string>();
        const auto public_key = unhex(key_of_address.at(v["address"].get<std::string>()));
        const std::string address =
            oxa_signer::p2wpkh_address("bc", oxa_signer::hash160(public_key)).value();
        EXPECT_EQ(
            verify_message_signature(ChainType::Bitcoin, bytes_of(message), signature, address)
                .value(),
            v["expected_result"] == "OK")
            << message;
        if (v["expected_result"] == "OK") {
            EXPECT_EQ(
                recover_message_signer(ChainType::Bitcoin, bytes_of(message), signature).value(),
                address);
        }
    }
}

// Every family's own signatures --------------------------------------------------

class OwnSignatures : public testing::TestWithParam<ChainType> {};

TEST_P(OwnSignatures, RoundTripAndNoFlipPasses) {
    const ChainType family = GetParam();
    for (int round = 0; round < ROUNDS; ++round) {
        const auto key = random_key(family);
        const auto message = oxa_test::random_bytes(round * 7);
        const std::string address = address_for(family, key);
        const std::string signature = signed_message(family, key, message);
        ASSERT_TRUE(verify_message_signature(family, message, signature, address).value());
        if (is_secp256k1(family)) {
            EXPECT_EQ(recover_message_signer(family, message, signature).value(), address);
        }

        auto bytes = unhex(signature);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] ^= 0x01;
            const auto result = verify_message_signature(family, message, hex(bytes), address);
            EXPECT_FALSE(result.ok() && result.value()) << "byte " << i;
            bytes[i] ^= 0x01;
        }
        auto other = std::vector<std::uint8_t>(message.begin(), message.end());
        other.push_back(0);
        EXPECT_FALSE(verify_message_signature(family, other, signature, address).value());
        EXPECT_FALSE(verify_message_signature(family, message, signature,
                                              address_for(family, random_key(family)))
                         .value());
    }
}

TEST_P(OwnSignatures, PrefixAndCaseAreTheSame) {
    const ChainType family = GetParam();
    const auto message = bytes_of("hello");
    const std::string signature = signed_message(family, KEY, message);
    const std::string address = address_for(family, KEY);
    EXPECT_TRUE(verify_message_signature(family, message, "0x" + signature, address).value());
    EXPECT_TRUE(verify_message_signature(family, message, upper(signature), address).value());
}

INSTANTIATE_TEST_SUITE_P(Family, OwnSignatures,
                         testing::ValuesIn(oxa_core::ALL_CHAIN_TYPES.begin(),
                                           oxa_core::ALL_CHAIN_TYPES.end()),
                         [](const auto& info) {
                             return std::string(oxa_core::chain_type_name(info.param));
                         });

TEST(VerifyMessage, HighSTwinCountsAsTheSameSignature) {
    for (ChainType family :
         {ChainType::Evm, ChainType::Bitcoin, ChainType::Cosmos, ChainType::Tron}) {
        const auto message = bytes_of("twin");
        auto signature = unhex(signed_message(family, KEY, message));
        signature[64] %= 27;  // EVM's v, back to the recovery id
        const auto twin = oxa_test::malleate(signature);
        EXPECT_FALSE(oxa_test::has_low_s(twin));
        EXPECT_TRUE(
            verify_message_signature(family, message, hex(twin), address_for(family, KEY)).value());
        EXPECT_EQ(recover_message_signer(family, message, hex(twin)).value(),
                  address_for(family, KEY));
    }
}

TEST(VerifyMessage, EvmAndTronTakeTheRecoveryIdPlus27) {
    for (ChainType family : {ChainType::Evm, ChainType::Tron}) {
        const auto message = bytes_of("v");
        auto signature = unhex(signed_message(family, KEY, message));
        signature[64] = static_cast<std::uint8_t>(signature[64] % 27 + 27);
        EXPECT_TRUE(
            verify_message_signature(family, message, hex(signature), address_for(family, KEY))
                .value());
        signature[64] = static_cast<std::uint8_t>(signature[64] - 27);
        EXPECT_TRUE(
            verify_message_signature(family, message, hex(signature), address_for(family, KEY))
                .value());
    }
}

TEST(VerifyMessage, MixedCaseEvmAddressMustCarryItsChecksum) {
    const auto message = bytes_of("case");
    const std::string signature = signed_message(ChainType::Evm, KEY, message);
    const std::string address = address_for(ChainType::Evm, KEY);  // EIP-55 case
    const std::string digits = address.substr(2);
    for (const std::string& same : {address, "0x" + lower(digits), "0x" + upper(digits)}) {
        EXPECT_TRUE(verify_message_signature(ChainType::Evm, message, signature, same).value())
            << same;
    }
    // One letter in the other case: a typo the checksum is there to catch.
    std::string typo = address;
    const auto letter = typo.find_first_of("abcdefABCDEF", 2);
    typo[letter] = static_cast<char>(typo[letter] ^ 0x20);
    const auto result = verify_message_signature(ChainType::Evm, message, signature, typo);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), "invalid address: EIP-55 checksum mismatch");
    const auto vectors = oxa_test::load_vectors("eip55.json");
    for (const auto& v : vectors["vectors"]) {
        EXPECT_TRUE(oxa_signer::parse_evm_address(v["checksummed"].get<std::string>()).ok());
    }
}

// Malformed input --------------------------------------------------------------

struct Malformed {
    const char* name;
    ChainType family;
    std::string signature;  // "" stands for the key's own signature of "m"
    std::string address;  // "" stands for the key's own address
    std::string error;
};

void PrintTo(const Malformed& c, std::ostream* os) { *os << c.name; }

std::vector<Malformed> malformed_cases() {
    const std::string evm_65 = std::string(128, '1') + "1b";
    return {
        {"odd", ChainType::Evm, "abc", "", "invalid signature: Odd number of digits"},
        {"char", ChainType::Cosmos, "zz", "",
         "invalid signature: Invalid character 'z' at position 0"},
        {"prefix_twice", ChainType::Evm, "0x0x" + evm_65, "",
         "invalid signature: Invalid character 'x' at position 1"},
        {"short", ChainType::Evm, std::string(128, '1'), "",
         "invalid signature: expected 65 bytes (r || s || recovery id), got 64"},
        {"ed_long", ChainType::Solana, std::string(130, '1'), "",
         "invalid signature: expected 64 bytes (R || S), got 65"},
        {"v31", ChainType::Evm, std::string(128, '1') + "1f", "",
         "invalid signature: recovery id 31, expected 0 to 3 or 27 to 30"},
        {"v27_btc", ChainType::Bitcoin, evm_65, "",
         "invalid signature: recovery id 27, expected 0 to 3"},
        {"evm_short", ChainType::Evm, "", "0x1234",
         "invalid address: expected 0x and 40 hex digits"},
        {"evm_no_0x", ChainType::Evm, "", "19e7e376e7c213b7e7e7e46cc70a5dd086daff2a00",
         "invalid address: expected 0x and 40 hex digits"},
        {"btc_testnet", ChainType::Bitcoin, "", "tb1qw508d6qejxtdg4y5r3zarvary0c5xw7kxpjzsx",
         "invalid address: expected a P2WPKH address (bc1q...)"},
        {"btc_taproot", ChainType::Bitcoin, "",
         "bc1p5cyxnuxmeuwuvkwfem96lqzszd02n6xdcjrs20cac6yqjjwudpxqkedrcr",
         "invalid address: not a P2WPKH address (witness version 1, 32-byte program)"},
        {"btc_legacy", ChainType::Bitcoin, "", "15CRxFdyRpGZLW9w8HnHvVduizdL5jKNbs",
         "invalid address: expected a P2WPKH address (bc1q...)"},
        {"btc_typo", ChainType::Bitcoin, "", "bc1q9vza2e8x573nczrlzms0wvx3gsqjx7vavgkx0m",
         "invalid address: invalid checksum"},
        {"cosmos_osmo", ChainType::Cosmos, "", "osmo1l3e9pgs3mmwuwrh95fecme0s0qtn2880p3ptlt",
         "invalid address: prefix 'osmo', expected 'cosmos'"},
        {"tron_checksum", ChainType::Tron, "", "TCLBgkbfVkJroVBJVqBEsxtPNQEQMTQCLR",
         "invalid address: checksum mismatch"},
        {"tron_evm", ChainType::Tron, "", "0x19E7E376E7C213B7E7e7e46cc70A5dD086DAff2A",
         "invalid address: not Base58"},
        {"solana_0", ChainType::Solana, "", "0OIl", "invalid address: not Base58"},
        {"solana_short", ChainType::Solana, "", "1111",
         "invalid address: 4 bytes, expected a 32-byte public key"},
        {"ton_address", ChainType::Ton, "", "UQBHyuDvYjsBBOqxKj3xSe4o8C2PdrYL1a3obT3IWNW_LtaT",
         "invalid address: expected the account's Ed25519 public key as 64 hex digits (a TON "
         "address cannot check a signature)"},
    };
}

class MalformedInput : public testing::TestWithParam<Malformed> {};

TEST_P(MalformedInput, IsAnErrorNamingIt) {
    const Malformed& c = GetParam();
    const auto message = bytes_of("m");
    const std::string signature =
        c.signature.empty() ? signed_message(c.family, KEY, message) : c.signature;
    const std::string address = c.address.empty() ? address_for(c.family, KEY) : c.address;
    const auto result = verify_message_signature(c.family, message, signature, address);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), c.error);
}

INSTANTIATE_TEST_SUITE_P(Cases, MalformedInput, testing::ValuesIn(malformed_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RecoverMessageSigner, Ed25519FamiliesRefuse) {
    for (ChainType family : {ChainType::Solana, ChainType::Ton}) {
        const auto result = recover_message_signer(family, bytes_of("m"),
                                                   signed_message(family, KEY, bytes_of("m")));
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error(), std::string(oxa_core::chain_type_name(family)) +
                                      " signs with Ed25519, whose signatures do not reveal the "
                                      "key: check one with verify_message and the account's "
                                      "address");
    }
}

TEST(RecoverMessageSigner, NoKeyRecoveredIsAnError) {
    // r = 0 is no point: nothing recovers, so there is no address to give.
    const std::string signature = std::string(64, '0') + std::string(64, '1') + "00";
    const auto result = recover_message_signer(ChainType::Cosmos, bytes_of("m"), signature);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), "invalid signature: no public key recovers from it");
    EXPECT_FALSE(verify_message_signature(ChainType::Cosmos, bytes_of("m"), signature,
                                          address_for(ChainType::Cosmos, KEY))
                     .value());
}

}  // namespace
