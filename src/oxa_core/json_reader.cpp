#include "json_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

#include "internal_abort.hpp"
#include "utf8.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace oxa_core {

namespace {

constexpr std::string_view EOF_LIST = "EOF while parsing a list";
constexpr std::string_view EOF_OBJECT = "EOF while parsing an object";
constexpr std::string_view EOF_STRING = "EOF while parsing a string";
constexpr std::string_view EOF_VALUE = "EOF while parsing a value";
constexpr std::string_view EXPECTED_COLON = "expected `:`";
constexpr std::string_view EXPECTED_LIST_COMMA_OR_END = "expected `,` or `]`";
constexpr std::string_view EXPECTED_OBJECT_COMMA_OR_END = "expected `,` or `}`";
constexpr std::string_view EXPECTED_IDENT = "expected ident";
constexpr std::string_view EXPECTED_VALUE = "expected value";
constexpr std::string_view INVALID_ESCAPE = "invalid escape";
constexpr std::string_view INVALID_NUMBER = "invalid number";
constexpr std::string_view NUMBER_OUT_OF_RANGE = "number out of range";
constexpr std::string_view INVALID_CODE_POINT = "invalid unicode code point";
constexpr std::string_view CONTROL_CHARACTER =
    "control character (\\u0000-\\u001F) found while parsing a string";
constexpr std::string_view KEY_MUST_BE_STRING = "key must be a string";
constexpr std::string_view LONE_SURROGATE = "lone leading surrogate in hex escape";
constexpr std::string_view TRAILING_COMMA = "trailing comma";
constexpr std::string_view TRAILING_CHARACTERS = "trailing characters";
constexpr std::string_view UNEXPECTED_END_OF_HEX_ESCAPE = "unexpected end of hex escape";
constexpr std::string_view RECURSION_LIMIT = "recursion limit exceeded";

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

int hex_value(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void append_utf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::size_t valid_utf8_prefix(std::string_view text) noexcept {
    return utf8_valid_prefix(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// The end of the run of bytes from `at` that need no look inside a string:
// no quote, backslash, control or non-ASCII. String bodies (hex, addresses)
// are mostly such runs, taken sixteen bytes at a time where the CPU has SSE2
// and eight otherwise; the run may end a little early, never late.
std::size_t plain_ascii_end(std::string_view text, std::size_t at) noexcept {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i space = _mm_set1_epi8(' ');
    while (text.size() - at >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        // Compared as signed, non-ASCII bytes are negative: below the space too.
        const __m128i special = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
            _mm_cmplt_epi8(bytes, space));
        if (const int mask = _mm_movemask_epi8(special); mask != 0) {
            return at + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
        at += 16;
    }
#endif
    constexpr std::uint64_t ONES = 0x0101010101010101ULL;
    constexpr std::uint64_t HIGHS = 0x8080808080808080ULL;
    const auto has_zero_byte = [](std::uint64_t v) { return (v - ONES) & ~v & HIGHS; };
    while (text.size() - at >= 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, sizeof word);
        const std::uint64_t special = has_zero_byte(word ^ (ONES * '"')) |
                                      has_zero_byte(word ^ (ONES * '\\')) |
                                      ((word - ONES * 0x20) & ~word) | word;
        if ((special & HIGHS) != 0) break;
        at += 8;
    }
    return at;
}

bool is_blank(char c) noexcept { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// The end of the run of blanks from `at`: a newline and an indentation in
// pretty text, taken sixteen bytes at a time where the CPU has SSE2.
std::size_t blank_run_end(std::string_view text, std::size_t at) noexcept {
#if defined(__SSE2__)
    while (text.size() - at >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        const __m128i blanks =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
                         _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')),
                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r'))));
        const auto others = static_cast<unsigned>(_mm_movemask_epi8(blanks)) ^ 0xFFFFu;
        if (others != 0) return at + static_cast<std::size_t>(__builtin_ctz(others));
        at += 16;
    }
#endif
    while (at < text.size() && is_blank(text[at])) ++at;
    return at;
}

// The power of ten of the literal's leading digit. Only its sign matters: it
// tells an overflow from an underflow, which from_chars reports alike.
long long decimal_magnitude(std::string_view literal) {
    std::size_t i = literal.front() == '-' ? 1 : 0;
    long long magnitude = 0;
    bool found = false;
    for (; i < literal.size() && is_digit(literal[i]); ++i) {
        if (found) ++magnitude;
        found = found || literal[i] != '0';
    }
    if (i < literal.size() && literal[i] == '.') {
        for (++i; i < literal.size() && is_digit(literal[i]); ++i) {
            if (!found) --magnitude;
            found = found || literal[i] != '0';
        }
    }
    if (i < literal.size() && (literal[i] == 'e' || literal[i] == 'E')) {
        ++i;
        const bool negative = literal[i] == '-';
        if (literal[i] == '-' || literal[i] == '+') ++i;
        long long exponent = 0;
        for (; i < literal.size(); ++i) {
            exponent = std::min(exponent * 10 + (literal[i] - '0'), 1LL << 40);
        }
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
}

// How a number read as a float is shown in an error: the shortest digits
// that read back to the same double, written out in full without an exponent,
// and ".0" after a whole number ("1e3" shows as "1000.0").
std::string float_text(double value) {
    char buffer[64];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view scientific(buffer, static_cast<std::size_t>(written.ptr - buffer));
    const std::size_t e = scientific.find('e');
    std::string digits;
    for (char c : scientific.substr(0, e)) {
        if (is_digit(c)) digits += c;
    }
    std::string_view exponent_text = scientific.substr(e + 1);
    if (exponent_text.front() == '+') exponent_text.remove_prefix(1);
    int exponent = 0;
    std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);

    std::string out = std::signbit(value) ? "-" : "";
    const long point = exponent + 1L;  // digits before the decimal point
    const auto count = static_cast<long>(digits.size());
    if (point <= 0) {
        out += "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    } else if (point >= count) {
        out += digits + std::string(static_cast<std::size_t>(point - count), '0') + ".0";
    } else {
        out += digits.substr(0, static_cast<std::size_t>(point)) + "." +
               digits.substr(static_cast<std::size_t>(point));
    }
    return out;
}

// How a string value is quoted in an error: in double quotes, with the
// quote, backslash, tab, carriage return, newline and NUL escaped by a
// backslash, and other control characters (C0, DEL and C1) as \u{hex}.
std::string debug_quoted(std::string_view text) {
    static constexpr char HEX[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        switch (byte) {
            case '\t': out += "\\t"; continue;
            case '\r': out += "\\r"; continue;
            case '\n': out += "\\n"; continue;
            case '\\': out += "\\\\"; continue;
            case '"': out += "\\\""; continue;
            case '\0': out += "\\0"; continue;
            default: break;
        }
        std::uint32_t code = byte;
        // C1 controls are two bytes, C2 80 to C2 9F.
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            code = static_cast<unsigned char>(text[++i]);
        } else if (byte >= 0x20 && byte != 0x7F) {
            out += text[i];
            continue;
        }
        out += "\\u{";
        if (code >= 0x10) out += HEX[code >> 4];
        out += HEX[code & 0xF];
        out += '}';
    }
    return out + "\"";
}

std::string invalid_type(std::string_view unexpected, std::string_view expecting) {
    return "invalid type: " + std::string(unexpected) + ", expected " + std::string(expecting);
}

std::string unknown_variant(std::string_view variant, std::span<const std::string_view> names) {
    const auto quoted = [](std::string_view name) {
        std::string out = "`";
        out.append(name);
        out += '`';
        return out;
    };
    std::string out = "unknown variant ";
    out += quoted(variant);
    out += ", expected ";
    if (names.size() == 2) return out + quoted(names[0]) + " or " + quoted(names[1]);
    if (names.size() > 2) out += "one of ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        out += quoted(names[i]);
    }
    return out;
}

}  // namespace

// A number is a non-negative integer below 2^64, a negative integer from
// -2^63, or else a double (so "-0" is a double): the kind decides whether a
// wrong value is an "invalid value" or an "invalid type".
struct JsonReader::Number {
    enum class Kind { Unsigned, Signed, Float };
    Kind kind;
    std::uint64_t unsigned_value = 0;
    std::int64_t signed_value = 0;
    double float_value = 0;

    std::string describe() const {
        switch (kind) {
            case Kind::Unsigned: return "integer `" + std::to_string(unsigned_value) + "`";
            case Kind::Signed: return "integer `" + std::to_string(signed_value) + "`";
            case Kind::Float: return "floating point `" + float_text(float_value) + "`";
        }
        return "";
    }
};

std::string JsonError::display() const {
    if (line == 0) return message;
    return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

RawJson::RawJson(const nlohmann::json& value)
    : m_text(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)) {}

Result<RawJson, JsonError> RawJson::from_text(std::string_view text) {
    JsonReader reader(text);
    auto value = reader.read_raw();
    if (!value) return value;
    if (auto end = reader.finish(); !end) return Err{std::move(end).error()};
    return value;
}

nlohmann::json RawJson::parse() const {
    nlohmann::json value = nlohmann::json::parse(m_text, nullptr, false);
    if (value.is_discarded()) throw InternalAbort("validated JSON text failed to parse");
    return value;
}

bool operator==(const RawJson& a, const RawJson& b) {
    return a.m_text == b.m_text || a.parse() == b.parse();
}

JsonReader::~JsonReader() { ::explicit_bzero(m_scratch.data(), m_scratch.capacity()); }

std::optional<char> JsonReader::skip_blank_run() noexcept {
    m_index = blank_run_end(m_text, m_index);
    if (m_index == m_text.size()) return std::nullopt;
    return m_text[m_index];
}

// The position of `key` among `fields`, looked for first where it is
// expected; fields.size() when it is none of them.
std::size_t JsonReader::field_index(std::span<const JsonField> fields, std::string_view key,
                                    std::size_t expected) noexcept {
    if (expected < fields.size() && fields[expected].name == key) return expected;
    std::size_t field = 0;
    while (field < fields.size() && fields[field].name != key) ++field;
    return field;
}

JsonError JsonReader::error_at(std::size_t index, std::string_view message) const {
    if (m_source == Source::GenericValue) return JsonError{std::string(message)};
    const std::string_view before = m_text.substr(0, index);
    const std::size_t newline = before.rfind('\n');
    const std::size_t line_start = newline == std::string_view::npos ? 0 : newline + 1;
    const auto lines = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    return JsonError{std::string(message), lines + 1, index - line_start};
}

// At the last byte consumed.
JsonError JsonReader::error_here(std::string_view message) const {
    return error_at(m_index, message);
}

// At the byte looked at but not consumed.
JsonError JsonReader::error_at_peek(std::string_view message) const {
    return error_at(std::min(m_text.size(), m_index + 1), message);
}

JsonError JsonReader::eof_value_at_peek() const { return error_at_peek(EOF_VALUE); }

JsonError JsonReader::place(JsonError error) const {
    if (error.line != 0 || m_source == Source::GenericValue) return error;
    const JsonError here = error_here("");
    error.line = here.line;
    error.column = here.column;
    return error;
}

JsonError JsonReader::duplicate_field(std::string_view name) {
    return JsonError{"duplicate field `" + std::string(name) + "`"};
}

JsonError JsonReader::missing_field(std::string_view name) {
    return JsonError{"missing field `" + std::string(name) + "`"};
}

JsonError JsonReader::invalid_length(std::size_t length, std::string_view struct_name,
                                     std::size_t field_count) {
    return JsonError{"invalid length " + std::to_string(length) + ", expected " +
                     struct_expecting(struct_name) + " with " + std::to_string(field_count) +
                     (field_count == 1 ? " element" : " elements")};
}

std::string JsonReader::struct_expecting(std::string_view struct_name) {
    return "struct " + std::string(struct_name);
}

// Describes the value at the cursor (reading a scalar whole, so a broken one
// reports its own syntax error instead) as the wrong type for `expecting`.
JsonError JsonReader::invalid_type_at_peek(std::string_view expecting) {
    const char c = m_index < m_text.size() ? m_text[m_index] : '\0';
    std::string unexpected;
    switch (c) {
        case 'n':
        case 't':
        case 'f': {
            ++m_index;
            const std::string_view rest = c == 'n' ? "ull" : c == 't' ? "rue" : "alse";
            if (auto ident = parse_ident(rest); !ident) return std::move(ident).error();
            unexpected = c == 'n' ? "null" : c == 't' ? "boolean `true`" : "boolean `false`";
            break;
        }
        case '"': {
            ++m_index;
            auto text = parse_str();
            if (!text) return std::move(text).error();
            unexpected = "string " + debug_quoted(text.value());
            break;
        }
        case '[': unexpected = "sequence"; break;
        case '{': unexpected = "map"; break;
        default: {
            if (c != '-' && !is_digit(c)) return error_at_peek(EXPECTED_VALUE);
            const std::size_t start = m_index;
            if (c == '-') ++m_index;
            auto number = parse_number(c != '-', start);
            if (!number) return std::move(number).error();
            unexpected = number.value().describe();
        }
    }
    return place(JsonError{invalid_type(unexpected, expecting)});
}

Status<JsonError> JsonReader::enter_nested() {
    if (--m_remaining_depth == 0) return Err{error_at_peek(RECURSION_LIMIT)};
    return OK;
}

// Moves past the comma before the next item of a container; the item's first
// byte, or nullopt at the closing `close`.
Result<std::optional<char>, JsonError> JsonReader::next_item(bool& first, char close,
                                                             std::string_view eof_text,
                                                             std::string_view comma_or_end_text) {
    std::optional<char> peek = skip_blanks();
    if (!peek) return Err{error_at_peek(eof_text)};
    if (*peek == close) return std::optional<char>{};
    if (*peek == ',' && !first) {
        ++m_index;
        peek = skip_blanks();
    } else if (first) {
        first = false;
    } else {
        return Err{error_at_peek(comma_or_end_text)};
    }
    if (!peek) return Err{error_at_peek(EOF_VALUE)};
    if (*peek == close) return Err{error_at_peek(TRAILING_COMMA)};
    return peek;
}

// Moves to the next key of an object and reads it; nullopt at the closing brace.
Result<std::optional<std::string_view>, JsonError> JsonReader::next_key(bool& first) {
    auto item = next_item(first, '}', EOF_OBJECT, EXPECTED_OBJECT_COMMA_OR_END);
    if (!item) return Err{std::move(item).error()};
    if (!item.value()) return std::optional<std::string_view>{};
    if (*item.value() != '"') return Err{error_at_peek(KEY_MUST_BE_STRING)};
    ++m_index;
    auto key = parse_str();
    if (!key) return Err{std::move(key).error()};
    return std::optional<std::string_view>(key.value());
}

// Moves to the next element of an array; false at the closing bracket.
Result<bool, JsonError> JsonReader::next_element(bool& first) {
    auto item = next_item(first, ']', EOF_LIST, EXPECTED_LIST_COMMA_OR_END);
    if (!item) return Err{std::move(item).error()};
    return item.value().has_value();
}

Status<JsonError> JsonReader::object_colon() {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{error_at_peek(EOF_OBJECT)};
    if (*peek != ':') return Err{error_at_peek(EXPECTED_COLON)};
    ++m_index;
    // The one space pretty text puts after a colon, passed here at no cost.
    if (m_index < m_text.size() && m_text[m_index] == ' ') ++m_index;
    return OK;
}

Status<JsonError> JsonReader::end_map() {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{error_at_peek(EOF_OBJECT)};
    if (*peek == '}') {
        ++m_index;
        return OK;
    }
    return Err{error_at_peek(*peek == ',' ? TRAILING_COMMA : TRAILING_CHARACTERS)};
}

// A record read as an array stops after its last member, so surplus elements
// land here as trailing characters.
Status<JsonError> JsonReader::end_seq() {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{error_at_peek(EOF_LIST)};
    if (*peek == ']') {
        ++m_index;
        return OK;
    }
    if (*peek == ',') {
        ++m_index;
        const std::optional<char> next = skip_blanks();
        return Err{error_at_peek(next == ']' ? TRAILING_COMMA : TRAILING_CHARACTERS)};
    }
    return Err{error_at_peek(TRAILING_CHARACTERS)};
}

// The surplus elements are counted, so that the length names the whole array.
Status<JsonError> JsonReader::refuse_surplus_elements(bool& first, std::size_t members) {
    std::size_t length = members;
    for (;;) {
        auto more = next_element(first);
        if (!more) return Err{std::move(more).error()};
        if (!more.value()) break;
        ++length;
        if (auto skipped = skip_value(); !skipped) return skipped;
    }
    if (length == members) return OK;
    return Err{JsonError{"invalid length " + std::to_string(length) +
                         ", expected fewer elements in array"}};
}

Status<JsonError> JsonReader::finish() {
    if (skip_blanks()) return Err{error_at_peek(TRAILING_CHARACTERS)};
    return OK;
}

Status<JsonError> JsonReader::skip_value() {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    switch (*peek) {
        case 'n': ++m_index; return parse_ident("ull");
        case 't': ++m_index; return parse_ident("rue");
        case 'f': ++m_index; return parse_ident("alse");
        case '"': {
            ++m_index;
            auto text = parse_str();
            if (!text) return Err{std::move(text).error()};
            return OK;
        }
        case '[': return visit_elements([&] { return skip_value(); });
        case '{': return visit_members([&](std::string_view) { return skip_value(); });
        default: {
            if (*peek != '-' && !is_digit(*peek)) return Err{error_at_peek(EXPECTED_VALUE)};
            const std::size_t start = m_index;
            if (*peek == '-') ++m_index;
            auto number = parse_number(*peek != '-', start);
            if (!number) return Err{std::move(number).error()};
            return OK;
        }
    }
}

Status<JsonError> JsonReader::parse_ident(std::string_view rest) {
    for (char expected : rest) {
        if (m_index == m_text.size()) return Err{error_here(EOF_VALUE)};
        if (m_text[m_index++] != expected) return Err{error_here(EXPECTED_IDENT)};
    }
    return OK;
}

// The cursor stands after the sign; `start` is where the literal begins.
Result<JsonReader::Number, JsonError> JsonReader::parse_number(bool positive, std::size_t start) {
    if (m_index == m_text.size()) return Err{error_here(EOF_VALUE)};
    const char lead = m_text[m_index++];
    if (lead == '0') {
        if (m_index < m_text.size() && is_digit(m_text[m_index])) {
            return Err{error_at_peek(INVALID_NUMBER)};
        }
        return parse_number_tail(positive, 0, start, false);
    }
    if (!is_digit(lead)) return Err{error_here(INVALID_NUMBER)};
    constexpr std::uint64_t MAX = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t significand = static_cast<std::uint64_t>(lead - '0');
    bool too_long = false;  // beyond 64 bits the integer is read as a double
    while (m_index < m_text.size() && is_digit(m_text[m_index])) {
        const auto digit = static_cast<std::uint64_t>(m_text[m_index++] - '0');
        too_long =
            too_long || significand > MAX / 10 || (significand == MAX / 10 && digit > MAX % 10);
        if (!too_long) significand = significand * 10 + digit;
    }
    return parse_number_tail(positive, significand, start, too_long);
}

Result<JsonReader::Number, JsonError> JsonReader::parse_number_tail(bool positive,
                                                                    std::uint64_t significand,
                                                                    std::size_t start,
                                                                    bool is_float) {
    const auto digits_follow = [&] { return m_index < m_text.size() && is_digit(m_text[m_index]); };
    if (m_index < m_text.size() && m_text[m_index] == '.') {
        ++m_index;
        if (m_index == m_text.size()) return Err{error_at_peek(EOF_VALUE)};
        if (!digits_follow()) return Err{error_at_peek(INVALID_NUMBER)};
        while (digits_follow()) ++m_index;
        is_float = true;
    }
    if (m_index < m_text.size() && (m_text[m_index] == 'e' || m_text[m_index] == 'E')) {
        ++m_index;
        if (m_index < m_text.size() && (m_text[m_index] == '+' || m_text[m_index] == '-')) {
            ++m_index;
        }
        if (m_index == m_text.size()) return Err{error_here(EOF_VALUE)};
        if (!is_digit(m_text[m_index++])) return Err{error_here(INVALID_NUMBER)};
        while (digits_follow()) ++m_index;
        is_float = true;
    }
    constexpr std::uint64_t MIN_MAGNITUDE = std::uint64_t{1} << 63;
    if (!is_float && positive) return Number{Number::Kind::Unsigned, significand};
    if (!is_float && significand != 0 && significand <= MIN_MAGNITUDE) {
        // Negating in unsigned arithmetic reaches -2^63 without overflow.
        return Number{Number::Kind::Signed, 0, static_cast<std::int64_t>(0 - significand)};
    }
    const std::string_view literal = m_text.substr(start, m_index - start);
    double value = 0;
    const auto parsed = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    if (parsed.ec == std::errc::result_out_of_range) {
        if (decimal_magnitude(literal) >= 0) return Err{error_here(NUMBER_OUT_OF_RANGE)};
        value = positive ? 0.0 : -0.0;
    }
    return Number{Number::Kind::Float, 0, 0, value};
}

// The cursor stands after the opening quote. The view points into the text
// or, for a string with escapes, into the scratch buffer.
Result<std::string_view, JsonError> JsonReader::parse_str() {
    const std::size_t start = m_index;
    // Most strings are plain ASCII up to their closing quote: done at once.
    if (const std::size_t end = plain_ascii_end(m_text, m_index);
        end < m_text.size() && m_text[end] == '"') {
        m_index = end + 1;
        return m_text.substr(start, end - start);
    }
    return parse_str_with_escapes_or_unicode();
}

// The rest: non-ASCII text (checked as UTF-8), escapes (unescaped into the
// scratch buffer) and every error.
Result<std::string_view, JsonError> JsonReader::parse_str_with_escapes_or_unicode() {
    std::size_t start = m_index;
    bool unescaped = false;
    for (;;) {
        m_index = plain_ascii_end(m_text, m_index);
        unsigned char high_bits = 0;
        while (m_index < m_text.size()) {
            const auto byte = static_cast<unsigned char>(m_text[m_index]);
            if (byte == '"' || byte == '\\' || byte < 0x20) break;
            high_bits |= byte;
            ++m_index;
        }
        const std::string_view run = m_text.substr(start, m_index - start);
        if ((high_bits & 0x80) != 0) {
            const std::size_t valid = valid_utf8_prefix(run);
            if (valid < run.size()) {
                m_index = start + valid + 1;
                return Err{error_here(INVALID_CODE_POINT)};
            }
        }
        if (m_index == m_text.size()) return Err{error_here(EOF_STRING)};
        const char c = m_text[m_index++];
        if (c == '"') {
            if (!unescaped) return run;
            m_scratch.append(run);
            return std::string_view(m_scratch);
        }
        if (c != '\\') return Err{error_here(CONTROL_CHARACTER)};
        if (!unescaped) {
            m_scratch.clear();
            m_scratch.reserve(m_text.size());
        }
        unescaped = true;
        m_scratch.append(run);
        if (auto escape = parse_escape(); !escape) return Err{std::move(escape).error()};
        start = m_index;
    }
}

Status<JsonError> JsonReader::parse_escape() {
    if (m_index == m_text.size()) return Err{error_here(EOF_STRING)};
    switch (m_text[m_index++]) {
        case '"': m_scratch += '"'; return OK;
        case '\\': m_scratch += '\\'; return OK;
        case '/': m_scratch += '/'; return OK;
        case 'b': m_scratch += '\b'; return OK;
        case 'f': m_scratch += '\f'; return OK;
        case 'n': m_scratch += '\n'; return OK;
        case 'r': m_scratch += '\r'; return OK;
        case 't': m_scratch += '\t'; return OK;
        case 'u': return parse_unicode_escape();
        default: return Err{error_here(INVALID_ESCAPE)};
    }
}

// Characters beyond the BMP come as a surrogate pair of escapes; either half
// alone would not be a character, so it is refused.
Status<JsonError> JsonReader::parse_unicode_escape() {
    auto unit = decode_hex_escape();
    if (!unit) return Err{std::move(unit).error()};
    std::uint32_t code = unit.value();
    if (code >= 0xDC00 && code <= 0xDFFF) return Err{error_here(LONE_SURROGATE)};
    if (code >= 0xD800 && code <= 0xDBFF) {
        for (char expected : {'\\', 'u'}) {
            if (m_index == m_text.size()) return Err{error_here(EOF_STRING)};
            if (m_text[m_index] != expected) return Err{error_here(UNEXPECTED_END_OF_HEX_ESCAPE)};
            ++m_index;
        }
        auto low = decode_hex_escape();
        if (!low) return Err{std::move(low).error()};
        if (low.value() < 0xDC00 || low.value() > 0xDFFF) return Err{error_here(LONE_SURROGATE)};
        code = 0x10000 + ((code - 0xD800) << 10) + (low.value() - 0xDC00);
    }
    append_utf8(m_scratch, code);
    return OK;
}

Result<std::uint32_t, JsonError> JsonReader::decode_hex_escape() {
    if (m_text.size() - m_index < 4) {
        m_index = m_text.size();
        return Err{error_here(EOF_STRING)};
    }
    std::uint32_t unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hex_value(m_text[m_index++]);
        if (digit < 0) return Err{error_here(INVALID_ESCAPE)};
        unit = unit << 4 | static_cast<std::uint32_t>(digit);
    }
    return unit;
}

Result<std::uint32_t, JsonError> JsonReader::read_u32() {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    if (*peek != '-' && !is_digit(*peek)) return Err{invalid_type_at_peek("u32")};
    const std::size_t start = m_index;
    if (*peek == '-') ++m_index;
    auto parsed = parse_number(*peek != '-', start);
    if (!parsed) return Err{std::move(parsed).error()};
    const Number& number = parsed.value();
    if (number.kind == Number::Kind::Unsigned &&
        number.unsigned_value <= std::numeric_limits<std::uint32_t>::max()) {
        return static_cast<std::uint32_t>(number.unsigned_value);
    }
    const std::string_view verdict =
        number.kind == Number::Kind::Float ? "invalid type: " : "invalid value: ";
    return Err{place(JsonError{std::string(verdict) + number.describe() + ", expected u32"})};
}

Result<std::string_view, JsonError> JsonReader::read_number_literal() {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    if (*peek != '-' && !is_digit(*peek)) return Err{invalid_type_at_peek("a number")};
    const std::size_t start = m_index;
    if (*peek == '-') ++m_index;
    if (auto number = parse_number(*peek != '-', start); !number) {
        return Err{std::move(number).error()};
    }
    return m_text.substr(start, m_index - start);
}

Result<bool, JsonError> JsonReader::read_bool() {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    if (*peek != 't' && *peek != 'f') return Err{invalid_type_at_peek("a boolean")};
    ++m_index;
    if (auto ident = parse_ident(*peek == 't' ? "rue" : "alse"); !ident) {
        return Err{std::move(ident).error()};
    }
    return *peek == 't';
}

Result<std::string_view, JsonError> JsonReader::read_string_view(std::string_view expecting) {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    if (*peek != '"') return Err{invalid_type_at_peek(expecting)};
    ++m_index;
    return parse_str();
}

Result<std::string, JsonError> JsonReader::read_string(std::string_view expecting) {
    auto text = read_string_view(expecting);
    if (!text) return Err{std::move(text).error()};
    return std::string(text.value());
}

Status<JsonError> JsonReader::read_string_into(std::string& target) {
    auto text = read_string_view("a string");
    if (!text) return Err{std::move(text).error()};
    target.assign(text.value());
    return OK;
}

Status<JsonError> JsonReader::skip_string(std::string_view expecting) {
    auto text = read_string_view(expecting);
    if (!text) return Err{std::move(text).error()};
    return OK;
}

Result<RawJson, JsonError> JsonReader::read_raw() {
    skip_blanks();
    const std::size_t start = m_index;
    if (auto value = skip_value(); !value) return Err{std::move(value).error()};
    return RawJson(std::string(m_text.substr(start, m_index - start)), RawJson::Validated{});
}

Result<bool, JsonError> JsonReader::read_null() {
    const std::optional<char> peek = skip_blanks();
    if (peek != 'n') return false;
    ++m_index;
    if (auto ident = parse_ident("ull"); !ident) return Err{std::move(ident).error()};
    return true;
}

Result<std::size_t, JsonError> JsonReader::read_variant(std::span<const std::string_view> names) {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    if (*peek == '"') return read_variant_name(names);
    if (*peek != '{') return Err{error_at_peek(EXPECTED_VALUE)};
    if (auto nested = enter_nested(); !nested) return Err{std::move(nested).error()};
    ++m_index;
    auto variant = read_variant_entry(names);
    leave_nested();
    if (!variant) return variant;
    const std::optional<char> close = skip_blanks();
    if (!close) return Err{error_here(EOF_OBJECT)};
    if (*close != '}') return Err{error_here(EXPECTED_VALUE)};
    ++m_index;
    return variant;
}

Result<std::size_t, JsonError> JsonReader::read_variant_name(
    std::span<const std::string_view> names) {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    if (*peek != '"') return Err{invalid_type_at_peek("variant identifier")};
    ++m_index;
    auto name = parse_str();
    if (!name) return Err{std::move(name).error()};
    const auto found = std::find(names.begin(), names.end(), name.value());
    if (found == names.end()) return Err{place(JsonError{unknown_variant(name.value(), names)})};
    return static_cast<std::size_t>(found - names.begin());
}

// The inside of {"name": null}.
Result<std::size_t, JsonError> JsonReader::read_variant_entry(
    std::span<const std::string_view> names) {
    auto variant = read_variant_name(names);
    if (!variant) return variant;
    if (auto colon = object_colon(); !colon) return Err{std::move(colon).error()};
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    if (*peek != 'n') return Err{invalid_type_at_peek("unit")};
    ++m_index;
    if (auto ident = parse_ident("ull"); !ident) return Err{std::move(ident).error()};
    return variant;
}

}  // namespace oxa_core
