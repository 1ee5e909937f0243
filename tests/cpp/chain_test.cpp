#include <gtest/gtest.h>

#include "oxa_core/chain.hpp"
#include "test_support.hpp"

using oxa_core::ChainType;
using oxa_core::parse_chain;

namespace {

struct Accepted {
    const char* input;
    const char* chain_id;
};

void PrintTo(const Accepted& c, std::ostream* os) { *os << c.input << " -> " << c.chain_id; }

class ParseChainAccepts : public ::testing::TestWithParam<Accepted> {};

const Accepted ACCEPTED[] = {
    {"ethereum", "eip155:1"},
    {"Ethereum", "eip155:1"},
    {"EVM", "eip155:1"},
    {"evm", "eip155:1"},
    {"eip155:1", "eip155:1"},
    {"eip155:10", "eip155:10"},
    {"eip155:56", "eip155:56"},
    {"eip155:137", "eip155:137"},
    {"eip155:8453", "eip155:8453"},
    {"eip155:42161", "eip155:42161"},
    {"eip155:43114", "eip155:43114"},
    {"POLYGON", "eip155:137"},
    {"Base", "eip155:8453"},
    {"bsc", "eip155:56"},
    {"Avalanche", "eip155:43114"},
    {"arbitrum", "eip155:42161"},
    {"optimism", "eip155:10"},
    {"SOLANA", "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp"},
    {"solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp", "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp"},
    {"Bitcoin", "bip122:000000000019d6689c085ae165831e93"},
    {"cosmos", "cosmos:cosmoshub-4"},
    {"cosmos:cosmoshub-4", "cosmos:cosmoshub-4"},
    {"tron:mainnet", "tron:mainnet"},
    {"TRON", "tron:mainnet"},
    {"ton:mainnet", "ton:mainnet"},
    {"Ton", "ton:mainnet"},
};

}  // namespace

TEST_P(ParseChainAccepts, ResolvesToTheKnownChain) {
    auto chain = parse_chain(GetParam().input);
    ASSERT_TRUE(chain) << chain.error();
    EXPECT_EQ(chain.value().chain_id, GetParam().chain_id);
}
INSTANTIATE_TEST_SUITE_P(Chain, ParseChainAccepts, ::testing::ValuesIn(ACCEPTED),
                         oxa_test::by_index);

class ParseChainRefuses : public ::testing::TestWithParam<const char*> {};

TEST_P(ParseChainRefuses, QuotesTheInputUnchanged) {
    const std::string input = GetParam();
    auto chain = parse_chain(input);
    ASSERT_FALSE(chain);
    EXPECT_EQ(chain.error(), "unknown chain: '" + input +
                                 "'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 "
                                 "ID (eip155:1, ...)");
}
INSTANTIATE_TEST_SUITE_P(Chain, ParseChainRefuses,
                         ::testing::Values("", " ethereum", "ethereum ", "eip155:5", "eip155:01",
                                           "EIP155:1", "solana:5eykt4usfv8p8njdtrepy1vzqkqzkvdp",
                                           "TRON:MAINNET", "Ton:mainnet", "bitcoin-testnet", "eth",
                                           "\xE2\x84\xAA"),
                         oxa_test::by_index);

TEST(Chain, DefaultChainOfEachFamilyHasThatFamily) {
    for (ChainType type : oxa_core::ALL_CHAIN_TYPES) {
        EXPECT_EQ(oxa_core::default_chain_for_type(type).chain_type, type);
    }
    EXPECT_EQ(oxa_core::default_chain_for_type(ChainType::Evm).name, "ethereum");
    EXPECT_EQ(oxa_core::default_chain_for_type(ChainType::Bitcoin).chain_id,
              "bip122:000000000019d6689c085ae165831e93");
}

TEST(Chain, TypeNamesRoundTripAndAreCaseSensitive) {
    for (ChainType type : oxa_core::ALL_CHAIN_TYPES) {
        EXPECT_EQ(oxa_core::chain_type_from_name(oxa_core::chain_type_name(type)), type);
    }
    EXPECT_FALSE(oxa_core::chain_type_from_name("Evm"));
    EXPECT_FALSE(oxa_core::chain_type_from_name(""));
}

TEST(Chain, DerivedListsFollowTheFamilyTable) {
    for (std::size_t i = 0; i < oxa_core::FAMILIES.size(); ++i) {
        const oxa_core::Family& row = oxa_core::FAMILIES[i];
        EXPECT_EQ(oxa_core::ACCOUNT_ORDER[i], row.type);
        EXPECT_EQ(oxa_core::ALL_CHAIN_TYPES[static_cast<std::size_t>(row.type)], row.type);
        EXPECT_EQ(&oxa_core::family(row.type), &row);
        EXPECT_EQ(oxa_core::chain_namespace(row.type), row.caip2_namespace);
    }
}

TEST(Chain, EveryKnownChainResolvesByNameAndById) {
    for (const oxa_core::Chain& chain : oxa_core::KNOWN_CHAINS) {
        for (std::string_view input : {chain.name, chain.chain_id}) {
            auto parsed = parse_chain(input);
            ASSERT_TRUE(parsed) << input;
            EXPECT_EQ(parsed.value().chain_id, chain.chain_id);
            EXPECT_EQ(parsed.value().default_rpc, chain.default_rpc);
        }
    }
}

TEST(Chain, AccountOrderPutsBitcoinBeforeCosmos) {
    const auto& order = oxa_core::ACCOUNT_ORDER;
    EXPECT_EQ(order[2], ChainType::Bitcoin);
    EXPECT_EQ(order[3], ChainType::Cosmos);
}

TEST(Chain, EmbeddedNulIsPartOfTheName) {
    const std::string input("ethereum\0x", 10);
    EXPECT_FALSE(parse_chain(input));
}
