#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oxa_core/json_reader.hpp"
#include "test_support.hpp"

using nlohmann::json;
using oxa_core::JsonReader;
using oxa_core::RawJson;

namespace {

struct TextCase {
    std::string name;
    std::string text;
    std::string expected;  // the error, or the kept text
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

std::vector<TextCase> cases(const char* section, const char* expected_key) {
    std::vector<TextCase> out;
    const json file = oxa_test::load_vectors("json-reader.json");
    for (const json& c : file.at(section)) {
        out.push_back({c.at("name"), c.at("text"), c.at(expected_key)});
    }
    return out;
}

// A random JSON tree of bounded depth, with text that exercises escaping.
json random_value(std::mt19937_64& rng, int depth) {
    static const std::vector<std::string> texts = {
        "", "a", "\"q\"", "back\\slash", "tab\tnl\n", "\x01\x1f", "Grüße", "😀", "/", "\u2028"};
    const int kind = static_cast<int>(rng() % (depth > 0 ? 8 : 6));
    switch (kind) {
        case 0: return nullptr;
        case 1: return rng() % 2 == 0;
        case 2: return static_cast<std::int64_t>(rng()) >> (rng() % 64);
        case 3: return static_cast<std::uint64_t>(rng());
        case 4:
            return static_cast<double>(static_cast<std::int64_t>(rng() % 2000000) - 1000000) / 64.0;
        case 5: return texts[rng() % texts.size()];
        case 6: {
            json array = json::array();
            for (std::size_t n = rng() % 4; n > 0; --n) {
                array.push_back(random_value(rng, depth - 1));
            }
            return array;
        }
        default: {
            json object = json::object();
            for (std::size_t n = rng() % 4; n > 0; --n) {
                object[texts[rng() % texts.size()] + std::to_string(rng() % 3)] =
                    random_value(rng, depth - 1);
            }
            return object;
        }
    }
}

}  // namespace

class JsonSyntaxError : public ::testing::TestWithParam<TextCase> {};

TEST_P(JsonSyntaxError, IsRefusedWithItsPlace) {
    auto value = RawJson::from_text(GetParam().text);
    ASSERT_FALSE(value) << value.value().text();
    EXPECT_EQ(value.error().display(), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(JsonReader, JsonSyntaxError, ::testing::ValuesIn(cases("errors", "error")),
                         oxa_test::by_index);

class JsonSyntaxValid : public ::testing::TestWithParam<TextCase> {};

TEST_P(JsonSyntaxValid, KeptWithoutOuterBlanks) {
    auto value = RawJson::from_text(GetParam().text);
    ASSERT_TRUE(value) << value.error().display();
    EXPECT_EQ(value.value().text(), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(JsonReader, JsonSyntaxValid, ::testing::ValuesIn(cases("valid", "kept")),
                         oxa_test::by_index);

class JsonInvalidUtf8 : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(JsonInvalidUtf8, IsRefusedAtTheBadByte) {
    auto value = RawJson::from_text(GetParam().first);
    ASSERT_FALSE(value);
    EXPECT_EQ(value.error().display(), GetParam().second);
}
INSTANTIATE_TEST_SUITE_P(
    JsonReader, JsonInvalidUtf8,
    ::testing::Values(
        std::pair{"\"\xff\"", "invalid unicode code point at line 1 column 2"},
        std::pair{"\"ab\xc0\xaf\"", "invalid unicode code point at line 1 column 4"},
        std::pair{"\"\xed\xa0\x80\"", "invalid unicode code point at line 1 column 2"},
        std::pair{"\"a\xe2\x82\"", "invalid unicode code point at line 1 column 3"},
        std::pair{"{\"k\xf4\x90\x80\x80\":1}", "invalid unicode code point at line 1 column 4"},
        std::pair{"[\"\\n\xc3\"]", "invalid unicode code point at line 1 column 5"}),
    oxa_test::by_index);

TEST(JsonReader, GenericValueSortsKeysLastRepeatWins) {
    auto value = RawJson::from_text(R"({"b":1,"a":{"y":2,"x":3},"b":4})");
    ASSERT_TRUE(value);
    EXPECT_EQ(value.value().parse().dump(), R"({"a":{"x":3,"y":2},"b":4})");
}

TEST(JsonReader, RawValuesCompareByMeaningNotByText) {
    auto spaced = RawJson::from_text(R"({ "b" : [1, 2], "a" : null })");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(spaced.value(), RawJson(json{{"a", nullptr}, {"b", {1, 2}}}));
    EXPECT_FALSE(spaced.value() == RawJson(json{{"a", nullptr}, {"b", {2, 1}}}));
    EXPECT_TRUE(RawJson().is_null());
    EXPECT_EQ(RawJson().text(), "null");
}

TEST(JsonReader, RawValueOfTreeWithBadUtf8StaysReadable) {
    const RawJson value(json{{"k", std::string("a\xff")}});
    EXPECT_EQ(value.text(), "{\"k\":\"a\xEF\xBF\xBD\"}");
    EXPECT_TRUE(RawJson::from_text(value.text()));
}

TEST(JsonReader, RandomTreesSurviveTextAndBack) {
    auto& rng = oxa_test::test_rng();
    for (int i = 0; i < 300; ++i) {
        const json tree = random_value(rng, 4);
        const RawJson from_tree(tree);
        auto read = RawJson::from_text(from_tree.text());
        ASSERT_TRUE(read) << from_tree.text() << "\n" << read.error().display();
        EXPECT_EQ(read.value().parse(), tree) << from_tree.text();
        auto pretty = RawJson::from_text(tree.dump(2));
        ASSERT_TRUE(pretty);
        EXPECT_EQ(pretty.value(), from_tree);
    }
}

// nlohmann's strict parser is the oracle for which texts are JSON; the two
// differ only where this reader is deliberately stricter (nesting, range).
TEST(JsonReader, AgreesWithAnIndependentParserOnMutations) {
    auto& rng = oxa_test::test_rng();
    static const std::string alphabet =
        "{}[]\",:\\/ 0123456789.-+eEtrufalsn\n\t\x01\x7f\xc3\xa9\xed\xa0";
    int accepted = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string text = random_value(rng, 3).dump();
        for (std::size_t edits = 1 + rng() % 3; edits > 0; --edits) {
            const std::size_t at = text.empty() ? 0 : rng() % (text.size() + 1);
            const char c = alphabet[rng() % alphabet.size()];
            switch (rng() % 3) {
                case 0: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c); break;
                case 1:
                    if (at < text.size()) text.erase(at, 1);
                    break;
                default:
                    if (at < text.size()) text[at] = c;
            }
        }
        auto ours = RawJson::from_text(text);
        if (!ours && ours.error().message == "number out of range") continue;
        EXPECT_EQ(static_cast<bool>(ours), json::accept(text)) << text;
        if (!ours) {
            EXPECT_GE(ours.error().line, 1u) << text;
        }
        accepted += ours ? 1 : 0;
    }
    EXPECT_GT(accepted, 0);
}

TEST(JsonReader, MapUnescapesKeysLastRepeatWins) {
    JsonReader reader(R"({"a":"1","\u0062":"2","a":"3"})");
    std::vector<std::pair<std::string, std::string>> entries;
    auto read = reader.read_map([&](std::string key) -> oxa_core::Status<oxa_core::JsonError> {
        auto value = reader.read_string();
        if (!value) return oxa_core::Err{value.error()};
        entries.emplace_back(std::move(key), value.value());
        return oxa_core::OK;
    });
    ASSERT_TRUE(read);
    EXPECT_TRUE(reader.finish());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"a", "1"}, {"b", "2"}, {"a", "3"}};
    EXPECT_EQ(entries, expected);
}

TEST(JsonReader, TypeErrorsNameTheExpectedType) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case table[] = {
        {"\"yes\"", "invalid type: string \"yes\", expected a boolean at line 1 column 5"},
        {"[true]", "invalid type: sequence, expected a boolean at line 1 column 0"},
        {"\"a\\u0000\\\"\\n\\u007f\\u0085\"",
         "invalid type: string \"a\\0\\\"\\n\\u{7f}\\u{85}\", expected a boolean at line 1 column "
         "25"},
        {"-5", "invalid type: integer `-5`, expected a boolean at line 1 column 2"},
        {"1e-7", "invalid type: floating point `0.0000001`, expected a boolean at line 1 column 4"},
        {"2.5e20",
         "invalid type: floating point `250000000000000000000.0`, expected a boolean at line 1 "
         "column 6"},
    };
    for (const Case& c : table) {
        JsonReader reader(c.text);
        auto value = reader.read_bool();
        ASSERT_FALSE(value) << c.text;
        EXPECT_EQ(value.error().display(), c.error);
    }
}

TEST(JsonReader, NumberLiteralsKeepTheirTextBeyond64Bits) {
    const std::string wide =
        "115792089237316195423570985008687907853269984665640564039457584007913129639936";
    for (const auto& [text, literal] :
         std::vector<std::pair<std::string, std::string>>{{" 12 ", "12"},
                                                          {"-0", "-0"},
                                                          {"1.50e+3", "1.50e+3"},
                                                          {wide, wide},
                                                          {"-" + wide, "-" + wide}}) {
        JsonReader reader(text);
        auto read = reader.read_number_literal();
        ASSERT_TRUE(read) << text << ": " << read.error().display();
        EXPECT_EQ(read.value(), literal);
        EXPECT_TRUE(reader.finish());
    }
}

TEST(JsonReader, NumberLiteralRefusalsArePlaced) {
    const std::pair<const char*, const char*> table[] = {
        {"\"12\"", "invalid type: string \"12\", expected a number at line 1 column 4"},
        {"01", "invalid number at line 1 column 2"},
        {"1e400", "number out of range at line 1 column 5"},
        {"-", "EOF while parsing a value at line 1 column 1"},
        {"[1]", "invalid type: sequence, expected a number at line 1 column 0"},
    };
    for (const auto& [text, error] : table) {
        JsonReader reader(text);
        auto read = reader.read_number_literal();
        ASSERT_FALSE(read) << text;
        EXPECT_EQ(read.error().display(), error);
    }
}
