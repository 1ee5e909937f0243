// How signing reads the sealed key pair of a private-key wallet: any JSON
// layout of the two members, the last of a repeated key, and the exact
// errors for everything else. Each case seals its own plaintext.

#include <gtest/gtest.h>

#include <string>

#include "oxa_lib/ops.hpp"
#include "oxa_lib/ops/seal.hpp"
#include "scratch_dir.hpp"
#include "test_support.hpp"

namespace {

using oxa_lib::OxaLibError;

constexpr std::string_view SECP =
    "70af7ec25374c2b06cbfffeaf9817a3d1bc61854abbf39e9e00de734b0c0c8c4";
constexpr std::string_view SECP_UPPER =
    "70AF7EC25374C2B06CBFFFEAF9817A3D1BC61854ABBF39E9E00DE734B0C0C8C4";
// The first six digits of SECP written as \u escapes.
constexpr std::string_view SECP_ESCAPED =
    "\\u0037\\u0030\\u0061\\u0066\\u0037\\u0065c25374c2b06cbfffeaf9817a3d1bc61854abbf39e9e00de734b0"
    "c0c8c4";
constexpr std::string_view ED = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60";

struct Case {
    std::string name;
    std::string plaintext;
    // Empty when both keys are read.
    std::string error;
    OxaLibError::Kind kind = OxaLibError::Kind::InvalidInput;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string pair(std::string_view secp, std::string_view ed) {
    return "{\"ed25519\":" + quoted(ed) + ",\"secp256k1\":" + quoted(secp) + "}";
}

const Case CASES[] = {
    {"Canonical", pair(SECP, ED), ""},
    {"AnyOrderBlanksUnknownMembersUpperCase",
     " {\n \"secp256k1\" : " + quoted(SECP_UPPER) +
         ", \"note\": [1, {\"a\": \"\\u00e9\"}],\t\"ed25519\": " + quoted(ED) + " } ",
     ""},
    {"LastOfARepeatedKeyWins",
     "{\"secp256k1\":\"00\",\"ed25519\":" + quoted(ED) + ",\"secp256k1\":" + quoted(SECP) + "}",
     ""},
    {"EscapedDigits", pair(SECP_ESCAPED, ED), ""},
    {"RepeatedKeyWhoseLastIsNotAString",
     "{\"secp256k1\":" + quoted(SECP) + ",\"secp256k1\":7,\"ed25519\":" + quoted(ED) + "}",
     "invalid input: missing secp256k1 key"},
    {"MemberNotAString",
     "{\"secp256k1\":{\"k\":" + quoted(SECP) + "},\"ed25519\":" + quoted(ED) + "}",
     "invalid input: missing secp256k1 key"},
    {"ArrayDocument", "[" + quoted(SECP) + "," + quoted(ED) + "]",
     "invalid input: missing secp256k1 key"},
    {"StringDocument", quoted(SECP), "invalid input: missing secp256k1 key"},
    {"EdMissing", "{\"secp256k1\":" + quoted(SECP) + "}", "invalid input: missing ed25519 key"},
    {"SecpCheckedBeforeEd", "{}", "invalid input: missing secp256k1 key"},
    {"Truncated", "{\"secp256k1\":" + quoted(SECP) + ",", "JSON error: key pair is not valid JSON",
     OxaLibError::Kind::Json},
    {"TrailingCharacters", pair(SECP, ED) + " x", "JSON error: key pair is not valid JSON",
     OxaLibError::Kind::Json},
    {"LoneSurrogateEscape", pair("\\ud800", ED), "JSON error: key pair is not valid JSON",
     OxaLibError::Kind::Json},
    {"NotHex", pair("zz", ED),
     "invalid input: invalid secp256k1 hex: Invalid character 'z' at position 0"},
    {"OddHex", pair(SECP, "abc"), "invalid input: invalid ed25519 hex: Odd number of digits"},
    {"NotUtf8", "{\"secp256k1\":\"\xff\"}", "invalid input: invalid key pair data"},
};

class KeyPairReading : public ::testing::TestWithParam<Case> {
protected:
    /// Seals `plaintext` as a private-key wallet and asks for the key of `family`.
    oxa_lib::LibResult<oxa_signer::SecretBytes> key_for(std::string_view plaintext,
                                                        oxa_core::ChainType family) {
        const oxa_lib::VaultPath vault = m_vault.path();
        if (!m_stored) {
            auto stored =
                oxa_lib::seal_and_store("w", {}, oxa_signer::SecretBytes::from_slice(plaintext), "",
                                        oxa_core::KeyType::PrivateKey, vault);
            if (!stored) throw std::runtime_error(stored.error().display());
            m_stored = true;
        }
        return oxa_lib::decrypt_signing_key("w", family, "", std::nullopt, vault);
    }

    oxa_test::ScratchDir m_vault;
    bool m_stored = false;
};

TEST_P(KeyPairReading, ReadsBothKeysOrExactError) {
    const Case& c = GetParam();
    auto secp = key_for(c.plaintext, oxa_core::ChainType::Evm);
    if (!c.error.empty()) {
        ASSERT_FALSE(secp);
        EXPECT_EQ(secp.error().kind(), c.kind);
        EXPECT_EQ(secp.error().display(), c.error);
        return;
    }
    ASSERT_TRUE(secp) << secp.error().display();
    EXPECT_EQ(oxa_test::hex(secp.value().bytes()), SECP);
    auto ed = key_for(c.plaintext, oxa_core::ChainType::Solana);
    ASSERT_TRUE(ed) << ed.error().display();
    EXPECT_EQ(oxa_test::hex(ed.value().bytes()), ED);
}

INSTANTIATE_TEST_SUITE_P(Layouts, KeyPairReading, ::testing::ValuesIn(CASES), oxa_test::by_index);

}  // namespace
