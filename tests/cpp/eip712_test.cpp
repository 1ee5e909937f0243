// EIP-712: the published vectors at every step their sources print, integer
// words at the bounds of their widths, the equivalent forms a value may take,
// and each refusal with its text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oxa_core/json_reader.hpp"
#include "oxa_signer/chains/evm.hpp"
#include "oxa_signer/eip712/integer_word.hpp"
#include "oxa_signer/eip712/type_table.hpp"
#include "oxa_signer/eip712/typed_data.hpp"
#include "test_support.hpp"

namespace {

using nlohmann::json;
using oxa_test::hex;
using oxa_test::unhex;
namespace eip712 = oxa_signer::eip712;

std::vector<json> vectors() {
    return oxa_test::load_vectors("eip712.json")["vectors"].get<std::vector<json>>();
}

eip712::TypeTable read_types(const json& typed_data) {
    const std::string text = typed_data["types"].dump();
    oxa_core::JsonReader reader(text);
    auto table = eip712::TypeTable::read(reader);
    if (!table) throw std::runtime_error(table.error().display());
    return std::move(table).value();
}

std::string digest_or_error(const std::string& document) {
    auto hashes = eip712::hash_typed_data(document);
    return hashes ? hex(hashes.value().digest) : "error: " + hashes.error();
}

// The error without its place, " at line L column C".
std::string refusal_of(const std::string& document) {
    auto hashes = eip712::hash_typed_data(document);
    if (hashes) return "accepted";
    const std::string& error = hashes.error();
    return error.substr(0, error.find(" at line "));
}

std::string document(const std::string& types, const std::string& primary,
                     const std::string& domain, const std::string& message) {
    return R"({"types":)" + types + R"(,"primaryType":")" + primary + R"(","domain":)" + domain +
           R"(,"message":)" + message + "}";
}

// Struct T with one member v of `type`, whose JSON value is `value`.
std::string single_member(const std::string& type, const std::string& value) {
    return document(R"({"T":[{"name":"v","type":")" + type + R"("}]})", "T", R"({"chainId":1})",
                    R"({"v":)" + value + "}");
}

class Eip712Vector : public testing::TestWithParam<json> {};

TEST_P(Eip712Vector, HashesMatchEachStep) {
    const json& v = GetParam();
    // Written with sorted keys the values come before the types, and in the
    // pretty form with blanks; neither changes a hash.
    for (const std::string& text : {v["typed_data"].dump(), v["typed_data"].dump(2)}) {
        auto hashes = eip712::hash_typed_data(text);
        ASSERT_TRUE(hashes) << hashes.error();
        EXPECT_EQ(hex(hashes.value().domain_separator), v["domain_separator"]);
        EXPECT_EQ(hex(hashes.value().message_hash), v["struct_hash"]);
        EXPECT_EQ(hex(hashes.value().digest), v["digest"]);
    }
}

TEST_P(Eip712Vector, TypesEncodeAsPublished) {
    const json& v = GetParam();
    const auto table = read_types(v["typed_data"]);
    for (const auto& [key, text] : v.items()) {
        // "encode_type" is the primary type's, "encode_type_<Name>" another's.
        if (!key.starts_with("encode_type")) continue;
        const std::string name = key == "encode_type"
                                     ? v["typed_data"]["primaryType"].get<std::string>()
                                     : key.substr(std::string("encode_type_").size());
        const auto index = table.find(name);
        ASSERT_TRUE(index) << name;
        EXPECT_EQ(table.encode_type(*index), text);
        const std::string hash_key = key == "encode_type" ? "type_hash" : "type_hash_" + name;
        EXPECT_EQ(hex(table.at(*index).type_hash), v[hash_key]);
    }
}

TEST_P(Eip712Vector, SignaturesMatch) {
    const json& v = GetParam();
    const auto digest = eip712::hash_typed_data(v["typed_data"].dump()).value().digest;
    for (const json& s : v.value("signatures", json::array())) {
        const auto output =
            oxa_signer::sign_prefixed_digest(unhex(s["private_key"].get<std::string>()), digest);
        ASSERT_TRUE(output);
        EXPECT_EQ("0x" + hex(output.value().signature), s["signature_rsv"]);
        EXPECT_EQ(output.value().recovery_id, s["v"].get<int>());
    }
}

INSTANTIATE_TEST_SUITE_P(Published, Eip712Vector, testing::ValuesIn(vectors()), oxa_test::by_index);

struct WordCase {
    std::string text;
    unsigned bits;
    bool is_signed;
    std::string word;  // hex, or "out of range", or "not an integer"
};

void PrintTo(const WordCase& c, std::ostream* os) {
    *os << (c.is_signed ? "int" : "uint") << c.bits << " " << c.text;
}

std::string padded(const std::string& low, char fill = '0') {
    return std::string(64 - low.size(), fill) + low;
}

std::vector<WordCase> word_cases() {
    const std::string out = "out of range";
    const std::string nan = "not an integer";
    const std::string uint256_max =
        "115792089237316195423570985008687907853269984665640564039457584007913129639935";
    const std::string two_to_256 =
        "115792089237316195423570985008687907853269984665640564039457584007913129639936";
    const std::string int256_min =
        "-57896044618658097711785492504343953926634992332820282019728792003956564819968";
    const std::string int256_below_min =
        "-57896044618658097711785492504343953926634992332820282019728792003956564819969";
    return {
        {"0", 8, false, padded("")},
        {"255", 8, false, padded("ff")},
        {"256", 8, false, out},
        {"0xff", 8, false, padded("ff")},
        {"0xFF", 8, false, padded("ff")},
        {"0x100", 8, false, out},
        {"-1", 8, false, out},
        {"-0", 8, false, padded("")},
        {"000255", 8, false, padded("ff")},
        {"0x" + std::string(100, '0') + "1", 8, false, padded("01")},
        {"127", 8, true, padded("7f")},
        {"128", 8, true, out},
        {"-128", 8, true, padded("80", 'f')},
        {"-129", 8, true, out},
        {"0x80", 8, true, out},
        {"-32768", 16, true, padded("8000", 'f')},
        {"16777215", 24, false, padded("ffffff")},
        {"16777216", 24, false, out},
        {"-1", 256, true, padded("", 'f')},
        {uint256_max, 256, false, padded("", 'f')},
        {two_to_256, 256, false, out},
        {"0x" + std::string(64, 'f'), 256, false, padded("", 'f')},
        {"0x1" + std::string(64, '0'), 256, false, out},
        {int256_min, 256, true, "8" + std::string(63, '0')},
        {int256_below_min, 256, true, out},
        {int256_min.substr(1), 256, true, out},
        {"57896044618658097711785492504343953926634992332820282019728792003956564819967", 256, true,
         "7" + std::string(63, 'f')},
        {"", 8, false, nan},
        {"-", 8, true, nan},
        {"0x", 8, false, nan},
        {"+1", 8, false, nan},
        {" 1", 8, false, nan},
        {"1.0", 8, false, nan},
        {"1e3", 16, false, nan},
        {"0X1", 8, false, nan},
        {"-0x1", 8, true, nan},
        {"0xg", 8, false, nan},
        {"\xd9\xa3", 8, false, nan},  // an Arabic-Indic digit
    };
}

class Eip712IntegerWord : public testing::TestWithParam<WordCase> {};

TEST_P(Eip712IntegerWord, IsExactAtTheBounds) {
    const WordCase& c = GetParam();
    const auto word = eip712::integer_word(c.text, c.bits, c.is_signed);
    if (word) {
        EXPECT_EQ(hex(word.value()), c.word);
    } else {
        EXPECT_EQ(
            word.error() == eip712::IntegerError::OutOfRange ? "out of range" : "not an integer",
            c.word);
    }
}

INSTANTIATE_TEST_SUITE_P(Eip712, Eip712IntegerWord, testing::ValuesIn(word_cases()),
                         oxa_test::by_index);

struct EquivalentForms {
    std::string type;
    std::vector<std::string> values;  // JSON texts, all of one value
};

void PrintTo(const EquivalentForms& c, std::ostream* os) { *os << c.type; }

class Eip712ValueForms : public testing::TestWithParam<EquivalentForms> {};

TEST_P(Eip712ValueForms, HashAlike) {
    const EquivalentForms& c = GetParam();
    const std::string expected = digest_or_error(single_member(c.type, c.values.front()));
    ASSERT_EQ(expected.find("error"), std::string::npos) << expected;
    for (const std::string& value : c.values) {
        EXPECT_EQ(digest_or_error(single_member(c.type, value)), expected) << value;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Eip712, Eip712ValueForms,
    testing::Values(
        EquivalentForms{"uint256", {"255", "\"255\"", "\"0xff\"", "\"0xFF\"", "\"000255\""}},
        EquivalentForms{"uint256",
                        {"115792089237316195423570985008687907853269984665640564039457584007913129"
                         "639935",
                         "\"0x" + std::string(64, 'f') + "\""}},
        EquivalentForms{"int8", {"-128", "\"-128\""}},
        EquivalentForms{"int64", {"0", "-0", "\"-0\"", "\"0x0\""}},
        EquivalentForms{"address",
                        {"\"0xcd2a3d9f938e13cd947ec05abc7fe734df8dd826\"",
                         "\"0xCD2a3d9F938E13CD947Ec05AbC7FE734Df8DD826\"",
                         "\"0xCD2A3D9F938E13CD947EC05ABC7FE734DF8DD826\""}},
        EquivalentForms{"bytes", {"\"0xabcdef\"", "\"0xABCDEF\""}},
        EquivalentForms{"bytes4", {"\"0xdeadbeef\"", "\"0xDEADBEEF\""}},
        EquivalentForms{"string", {"\"\\u00e9\"", "\"\xc3\xa9\""}},
        EquivalentForms{"bool[2]", {"[true,false]", "[ true , false ]"}}),
    oxa_test::by_index);

TEST(Eip712Document, KeysThatNameNoMemberArePassedOver) {
    const std::string plain = single_member("uint8", "1");
    const std::string extra = document(R"({"T":[{"name":"v","type":"uint8"}]})", "T",
                                       R"({"chainId":1})", R"({"w":{"x":[null]},"v":1})");
    EXPECT_EQ(digest_or_error(extra), digest_or_error(plain));
    const std::string outer = R"({"jsonrpc":"2.0",)" + plain.substr(1);
    EXPECT_EQ(digest_or_error(outer), digest_or_error(plain));
}

TEST(Eip712Document, SelfThroughDynamicArraysIsFinite) {
    const std::string types =
        R"({"Node":[{"name":"value","type":"uint256"},{"name":"children","type":"Node[]"},)"
        R"({"name":"pairs","type":"Node[][2]"}]})";
    const std::string leaf = R"({"value":4,"children":[],"pairs":[[],[]]})";
    const std::string tree =
        R"({"value":1,"children":[)" + leaf + R"(],"pairs":[[)" + leaf + "," + leaf + "],[]]}";
    EXPECT_EQ(refusal_of(document(types, "Node", "{}", tree)), "accepted");
    oxa_core::JsonReader reader(types);
    auto table = eip712::TypeTable::read(reader);
    ASSERT_TRUE(table);
    EXPECT_EQ(table.value().encode_type(0), "Node(uint256 value,Node[] children,Node[][2] pairs)");
}

// As every record error of the reader: at the end of the object holding it.
TEST(Eip712Document, AValueErrorIsPlacedAtItsObjectEnd) {
    const std::string text = single_member("uint8", "300");
    EXPECT_EQ(eip712::hash_typed_data(text).error(),
              "message.v: out of range for uint8 at line 1 column " +
                  std::to_string(text.find("300}") + 4));
}

struct Refusal {
    std::string name;
    std::string document;
    std::string error;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

const std::string MAIL_TYPES =
    R"({"Person":[{"name":"name","type":"string"},{"name":"wallet","type":"address"}],)"
    R"("Mail":[{"name":"from","type":"Person"},{"name":"to","type":"Person[]"}]})";
const std::string COW = R"({"name":"Cow","wallet":"0xCD2a3d9F938E13CD947Ec05AbC7FE734Df8DD826"})";
const std::string BAD_CHECKSUM =
    R"({"name":"Bob","wallet":"0xCD2a3d9F938E13CD947Ec05AbC7FE734Df8DD827"})";
const std::string DOMAIN_FIELDS_TEXT = "name, version, chainId, verifyingContract, salt";

std::string with_domain_type(const std::string& fields, const std::string& domain) {
    return document(R"({"EIP712Domain":)" + fields + R"(,"T":[{"name":"v","type":"bool"}]})", "T",
                    domain, R"({"v":true})");
}

std::vector<Refusal> refusals() {
    const std::string members_of_t = R"({"T":[{"name":"v","type":"bool"}]})";
    const auto types_with = [](const std::string& member_type) {
        return R"({"T":[{"name":"v","type":")" + member_type + R"("}]})";
    };
    std::string many_types = "{";
    for (std::size_t i = 0; i <= eip712::MAX_STRUCT_TYPES; ++i) {
        many_types += (i > 0 ? ",\"T" : "\"T") + std::to_string(i) + R"(":[])";
    }
    many_types += "}";
    std::string deep_dims;
    for (int level = 0; level < 200; ++level) deep_dims += "[]";
    return {
        {"not an object", "[]", "expected a JSON object"},
        {"no primaryType", R"({"types":{},"domain":{},"message":{}})",
         "missing field `primaryType`"},
        {"no domain", R"({"types":{"T":[]},"primaryType":"T","message":{}})",
         "missing field `domain`"},
        {"no message", R"({"types":{"T":[]},"primaryType":"T","domain":{}})",
         "missing field `message`"},
        {"no types", R"({"primaryType":"T","domain":{},"message":{}})", "missing field `types`"},
        {"types not object", document("[]", "T", "{}", "{}"), "`types` must be an object"},
        {"members not array", document(R"({"T":{}})", "T", "{}", "{}"),
         "type `T` must be an array of members"},
        {"member not object", document(R"({"T":["bool v"]})", "T", "{}", "{}"),
         "each member of `T` must be an object"},
        {"member without type", document(R"({"T":[{"name":"v"}]})", "T", "{}", "{}"),
         "missing field `type`"},
        {"type name", document(R"({"T x":[]})", "T x", "{}", "{}"),
         "type names must be identifiers"},
        {"member name", document(R"({"T":[{"name":"a,b","type":"bool"}]})", "T", "{}", "{}"),
         "member names of `T` must be identifiers"},
        {"atomic name", document(R"({"uint256":[]})", "uint256", "{}", "{}"),
         "`uint256` is an atomic type and cannot name a struct"},
        {"bare uint name", document(R"({"uint":[]})", "uint", "{}", "{}"),
         "`uint` is an atomic type and cannot name a struct"},
        {"twice defined", document(R"({"T":[],"T":[]})", "T", "{}", "{}"),
         "type `T` is defined twice"},
        {"twin members",
         document(R"({"T":[{"name":"a","type":"bool"},{"name":"a","type":"bool"}]})", "T", "{}",
                  "{}"),
         "type `T` has two members named `a`"},
        {"undefined", document(types_with("Persn"), "T", "{}", "{}"),
         "undefined type `Persn` (in `T.v`)"},
        {"bare uint", document(types_with("uint"), "T", "{}", "{}"),
         "undefined type `uint` (in `T.v`)"},
        {"uint7", document(types_with("uint7[]"), "T", "{}", "{}"),
         "undefined type `uint7` (in `T.v`)"},
        {"array of 0", document(types_with("bool[0]"), "T", "{}", "{}"),
         "the type of `T.v` is not an EIP-712 type"},
        {"array of 01", document(types_with("bool[01]"), "T", "{}", "{}"),
         "the type of `T.v` is not an EIP-712 type"},
        {"open bracket", document(types_with("bool[2"), "T", "{}", "{}"),
         "the type of `T.v` is not an EIP-712 type"},
        {"blank in type", document(types_with("bool []"), "T", "{}", "{}"),
         "the type of `T.v` is not an EIP-712 type"},
        {"domain as member", document(types_with("EIP712Domain"), "T", "{}", "{}"),
         "EIP712Domain is only the domain's type (in `T.v`)"},
        {"self by value",
         document(R"({"T":[{"name":"next","type":"T"}]})", "T", "{}", R"({"next":{}})"),
         "type `T` holds itself, not through a dynamic array, so no value of it is finite"},
        {"self by fixed array",
         document(R"({"T":[{"name":"pair","type":"T[2]"}]})", "T", "{}", R"({"pair":[]})"),
         "type `T` holds itself, not through a dynamic array, so no value of it is finite"},
        {"cycle of two",
         document(R"({"A":[{"name":"b","type":"B"}],"B":[{"name":"a","type":"A[]"},)"
                  R"({"name":"c","type":"C"}],"C":[{"name":"b","type":"B"}]})",
                  "A", "{}", "{}"),
         "type `B` holds itself, not through a dynamic array, so no value of it is finite"},
        {"too many types", document(many_types, "T0", "{}", "{}"), "more than 64 struct types"},
        {"primary undefined", document(members_of_t, "U", "{}", R"({"v":true})"),
         "primaryType `U` is not defined in types"},
        {"primary domain", document(members_of_t, "EIP712Domain", "{}", "{}"),
         "primaryType EIP712Domain (a signature of the domain alone) is not supported"},
        {"domain order",
         with_domain_type(
             R"([{"name":"chainId","type":"uint256"},{"name":"name","type":"string"}])",
             R"({"chainId":1,"name":"x"})"),
         "EIP712Domain: fields must come in the order " + DOMAIN_FIELDS_TEXT},
        {"domain width",
         with_domain_type(R"([{"name":"chainId","type":"uint64"}])", R"({"chainId":1})"),
         "EIP712Domain: `chainId` must be of type uint256"},
        {"domain field", with_domain_type(R"([{"name":"owner","type":"address"}])", "{}"),
         "EIP712Domain: `owner` is not a domain field (" + DOMAIN_FIELDS_TEXT + ")"},
        {"undeclared key",
         with_domain_type(R"([{"name":"chainId","type":"uint256"}])",
                          R"({"chainId":1,"salt":"0x00"})"),
         "domain: `salt` is not a field of the declared EIP712Domain"},
        {"unknown key", document(members_of_t, "T", R"({"chainID":1})", R"({"v":true})"),
         "domain: `chainID` is not a domain field (" + DOMAIN_FIELDS_TEXT + ")"},
        {"odd key", document(members_of_t, "T", R"({"a\nb":1})", R"({"v":true})"),
         "domain: a name that is not plain text is not a domain field (" + DOMAIN_FIELDS_TEXT +
             ")"},
        {"domain missing",
         with_domain_type(
             R"([{"name":"name","type":"string"},{"name":"chainId","type":"uint256"}])",
             R"({"name":"x"})"),
         "domain: missing member `chainId` of EIP712Domain"},
        {"domain value", document(members_of_t, "T", R"({"chainId":"one"})", R"({"v":true})"),
         "domain.chainId: expected an integer: decimal digits, or 0x and hex digits"},
        {"domain not object", document(members_of_t, "T", "[]", R"({"v":true})"),
         "`domain` must be an object"},
        {"message not object", document(members_of_t, "T", "{}", "null"),
         "`message` must be an object"},
        {"uint8 300", single_member("uint8", "300"), "message.v: out of range for uint8"},
        {"uint negative", single_member("uint256", "-1"), "message.v: out of range for uint256"},
        {"int8 128", single_member("int8", "\"128\""), "message.v: out of range for int8"},
        {"float", single_member("uint256", "1.0"),
         "message.v: an integer cannot be given as a float"},
        {"exponent", single_member("uint256", "1e3"),
         "message.v: an integer cannot be given as a float"},
        {"decimal text", single_member("uint256", "\"1.5\""),
         "message.v: expected an integer: decimal digits, or 0x and hex digits"},
        {"integer as bool", single_member("uint256", "true"), "message.v: expected an integer"},
        {"bool as text", single_member("bool", "\"true\""), "message.v: expected true or false"},
        {"bool as number", single_member("bool", "1"), "message.v: expected true or false"},
        {"string as number", single_member("string", "5"), "message.v: expected a string"},
        {"null", single_member("string", "null"), "message.v: expected a string"},
        {"address short", single_member("address", "\"0x1234\""),
         "message.v: expected 0x and 40 hex digits"},
        {"address checksum",
         single_member("address", "\"0xCD2a3d9F938E13CD947Ec05AbC7FE734Df8DD827\""),
         "message.v: EIP-55 checksum mismatch"},
        {"bytes as text", single_member("bytes", "\"hello\""),
         "message.v: expected 0x and an even number of hex digits"},
        {"bytes odd", single_member("bytes", "\"0x123\""),
         "message.v: expected 0x and an even number of hex digits"},
        {"bytes4 short", single_member("bytes4", "\"0x112233\""),
         "message.v: expected 4 bytes for bytes4, got 3"},
        {"bytes32 long", single_member("bytes32", "\"0x" + std::string(66, '0') + "\""),
         "message.v: expected 32 bytes for bytes32, got 33"},
        {"fixed array", single_member("bool[2]", "[true,false,true]"),
         "message.v: expected 2 elements, got 3"},
        {"array as object", single_member("bool[]", "{}"), "message.v: expected an array"},
        {"inner fixed", single_member("bool[2][]", "[[true,true],[true]]"),
         "message.v[1]: expected 2 elements, got 1"},
        {"nested path",
         document(MAIL_TYPES, "Mail", "{}",
                  R"({"from":)" + COW + R"(,"to":[)" + COW + "," + BAD_CHECKSUM + "]}"),
         "message.to[1].wallet: EIP-55 checksum mismatch"},
        {"struct as text", document(MAIL_TYPES, "Mail", "{}", R"({"from":"Cow","to":[]})"),
         "message.from: expected an object of type Person"},
        {"missing member", document(MAIL_TYPES, "Mail", "{}", R"({"from":)" + COW + "}"),
         "message: missing member `to` of Mail"},
        {"member twice",
         document(MAIL_TYPES, "Mail", "{}",
                  R"({"from":)" + COW + R"(,"to":[],"from":)" + COW + "}"),
         "message: member `from` is given twice"},
        {"too deep",
         single_member("uint8" + deep_dims, std::string(200, '[') + std::string(200, ']')),
         "recursion limit exceeded"},
        {"too large",
         single_member("bool", "true" + std::string(eip712::MAX_TYPED_DATA_BYTES, ' ')),
         "more than 1048576 bytes"},
    };
}

class Eip712Refusal : public testing::TestWithParam<Refusal> {};

TEST_P(Eip712Refusal, NamesWhatIsWrong) {
    EXPECT_EQ(refusal_of(GetParam().document), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Eip712, Eip712Refusal, testing::ValuesIn(refusals()), oxa_test::by_index);

}  // namespace
