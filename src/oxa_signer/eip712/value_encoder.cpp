#include "value_encoder.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "integer_word.hpp"
#include "oxa_signer/chains/evm.hpp"
#include "oxa_signer/encoding/hex.hpp"
#include "oxa_signer/keccak.hpp"

namespace oxa_signer::eip712 {

using oxa_core::Err;
using oxa_core::JsonError;
using oxa_core::Status;

namespace {

ByteView bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string type_name(const BaseType& type) {
    return (type.kind == BaseType::Kind::Int ? "int" : "uint") + std::to_string(type.width);
}

// Steps into a member or an element for the life of one value; the path is
// written out only for an error.
class StepIn {
public:
    StepIn(std::vector<ValueEncoder::PathStep>& path, ValueEncoder::PathStep step) : m_path(path) {
        m_path.push_back(step);
    }
    StepIn(const StepIn&) = delete;
    StepIn& operator=(const StepIn&) = delete;
    ~StepIn() { m_path.pop_back(); }

private:
    std::vector<ValueEncoder::PathStep>& m_path;
};

}  // namespace

JsonError ValueEncoder::refusal(std::string_view problem) const {
    std::string text = m_root;
    for (const PathStep& step : m_path) {
        if (step.member.empty()) {
            text += '[';
            text += std::to_string(step.index);
            text += ']';
        } else {
            text += '.';
            text += step.member;
        }
    }
    text += ": ";
    text += problem;
    return JsonError{std::move(text)};
}

oxa_core::Result<Bytes32, JsonError> ValueEncoder::hash_struct(std::size_t index) {
    const StructType& type = m_types.at(index);
    if (m_reader.peek() != '{') return Err{refusal("expected an object of type " + type.name)};
    std::vector<std::optional<Bytes32>> words(type.members.size());
    auto read = m_reader.read_map([&](std::string key) -> Status<JsonError> {
        const std::optional<std::size_t> member = m_types.find_member(index, key);
        if (!member) return m_reader.skip();
        if (words[*member]) return Err{refusal("member " + in_backticks(key) + " is given twice")};
        const MemberType& member_type = type.members[*member].type;
        const StepIn step(m_path, {type.members[*member].name, 0});
        Bytes32 word{};
        if (auto encoded = encode(member_type, member_type.array_lengths.size(), word); !encoded) {
            return encoded;
        }
        words[*member] = word;
        return oxa_core::OK;
    });
    if (!read) return Err{std::move(read).error()};
    const auto missing = std::find(words.begin(), words.end(), std::nullopt);
    if (missing != words.end()) {
        const Member& member = type.members[static_cast<std::size_t>(missing - words.begin())];
        return Err{refusal("missing member " + in_backticks(member.name) + " of " + type.name)};
    }
    Keccak256 hasher;
    hasher.update(type.type_hash);
    for (const std::optional<Bytes32>& word : words) hasher.update(*word);
    return hasher.finish();
}

// `levels` of the type's array levels are left to take off, outermost last.
Status<JsonError> ValueEncoder::encode(const MemberType& type, std::size_t levels, Bytes32& word) {
    if (levels > 0) return encode_array(type, levels, word);
    if (type.base.kind != BaseType::Kind::Struct) return encode_atomic(type.base, word);
    auto hashed = hash_struct(type.base.struct_index);
    if (!hashed) return Err{std::move(hashed).error()};
    word = hashed.value();
    return oxa_core::OK;
}

Status<JsonError> ValueEncoder::encode_array(const MemberType& type, std::size_t levels,
                                             Bytes32& word) {
    const std::size_t length = type.array_lengths[levels - 1];
    const auto expected = [&] {
        return "expected " + (length == 0 ? "an array" : std::to_string(length) + " elements");
    };
    if (m_reader.peek() != '[') return Err{refusal(expected())};
    Keccak256 hasher;
    std::size_t count = 0;
    auto read = m_reader.read_seq([&]() -> Status<JsonError> {
        const StepIn step(m_path, {{}, count});
        Bytes32 element{};
        if (auto encoded = encode(type, levels - 1, element); !encoded) return encoded;
        hasher.update(element);
        ++count;
        return oxa_core::OK;
    });
    if (!read) return read;
    if (length != 0 && count != length) {
        return Err{refusal(expected() + ", got " + std::to_string(count))};
    }
    word = hasher.finish();
    return oxa_core::OK;
}

Status<JsonError> ValueEncoder::encode_atomic(const BaseType& type, Bytes32& word) {
    using Kind = BaseType::Kind;
    switch (type.kind) {
        case Kind::Bool: {
            if (m_reader.peek() != 't' && m_reader.peek() != 'f') {
                return Err{refusal("expected true or false")};
            }
            auto value = m_reader.read_bool();
            if (!value) return Err{std::move(value).error()};
            word = Bytes32{};
            word[31] = value.value() ? 1 : 0;
            return oxa_core::OK;
        }
        case Kind::Uint:
        case Kind::Int: return encode_integer(type, word);
        case Kind::Address:
        case Kind::String:
        case Kind::Bytes:
        case Kind::FixedBytes: break;
        case Kind::Struct: throw oxa_core::InternalAbort("struct encoded as an atomic type");
    }
    if (m_reader.peek() != '"') return Err{refusal("expected a string")};
    if (auto text = m_reader.read_string_into(m_text); !text) return text;
    if (type.kind == Kind::String) {
        word = keccak256(bytes_of(m_text));
        return oxa_core::OK;
    }
    if (type.kind != Kind::Address) return encode_bytes(type, word);
    auto address = parse_evm_address(m_text);
    if (!address) return Err{refusal(address.error())};
    word = Bytes32{};
    std::copy(address.value().begin(), address.value().end(), word.end() - 20);
    return oxa_core::OK;
}

// Bytes are hex after "0x": any other string would be taken as text by some
// signers and as hex by others, so it is refused rather than guessed.
Status<JsonError> ValueEncoder::encode_bytes(const BaseType& type, Bytes32& word) {
    const std::string_view text = m_text;
    const auto not_hex = [&] {
        return Err{refusal("expected 0x and an even number of hex digits")};
    };
    if (!text.starts_with("0x")) return not_hex();
    auto bytes = hex_decode(text.substr(2));
    if (!bytes) return not_hex();
    const std::vector<std::uint8_t>& value = bytes.value();
    if (type.kind == BaseType::Kind::Bytes) {
        word = keccak256(value);
        return oxa_core::OK;
    }
    if (value.size() != type.width) {
        return Err{refusal("expected " + std::to_string(type.width) + " bytes for bytes" +
                           std::to_string(type.width) + ", got " + std::to_string(value.size()))};
    }
    word = Bytes32{};
    std::copy(value.begin(), value.end(), word.begin());
    return oxa_core::OK;
}

Status<JsonError> ValueEncoder::encode_integer(const BaseType& type, Bytes32& word) {
    const std::optional<char> peek = m_reader.peek();
    std::string_view text;
    if (peek == '"') {
        if (auto read = m_reader.read_string_into(m_text); !read) return read;
        text = m_text;
    } else if (peek == '-' || (peek >= '0' && peek <= '9')) {
        auto literal = m_reader.read_number_literal();
        if (!literal) return Err{std::move(literal).error()};
        text = literal.value();
        if (text.find_first_of(".eE") != std::string_view::npos) {
            return Err{refusal("an integer cannot be given as a float")};
        }
    } else {
        return Err{refusal("expected an integer")};
    }
    auto encoded = integer_word(text, type.width, type.kind == BaseType::Kind::Int);
    if (encoded) {
        word = encoded.value();
        return oxa_core::OK;
    }
    if (encoded.error() == IntegerError::OutOfRange) {
        return Err{refusal("out of range for " + type_name(type))};
    }
    return Err{refusal("expected an integer: decimal digits, or 0x and hex digits")};
}

}  // namespace oxa_signer::eip712
