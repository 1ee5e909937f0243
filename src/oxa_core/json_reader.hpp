#pragma once
// A strict RFC 8259 reader that fills typed records straight from the text,
// without building a document tree first.
//
// An error text is a message and its place, "expected `:` at line 3 column
// 9": lines are 1-based, columns count bytes, and column 0 means "before the
// first byte of the line". A syntax error is placed at the byte that broke the
// grammar (or just past the last byte read); an error of a record's rules at
// the end of the value that broke them. Users see these texts in warnings, so
// the wording is part of the interface.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "internal_abort.hpp"
#include "result.hpp"

namespace oxa_core {

/// A reading failure. An error raised by a record rule (missing field, wrong
/// value) starts without a place (line 0); the reader places it where the
/// enclosing value ends.
struct JsonError {
    std::string message;
    std::size_t line = 0;
    std::size_t column = 0;

    /// "<message> at line L column C", or the bare message while unplaced.
    std::string display() const;
};

/// The exact text of one validated JSON value, without surrounding blanks.
/// Generic members are kept this way: checked once while reading, turned
/// into a tree only when someone asks.
class RawJson {
public:
    /// The JSON null.
    RawJson() : m_text("null") {}
    /// The compact text of `value`; invalid UTF-8 in its strings becomes U+FFFD.
    explicit RawJson(const nlohmann::json& value);
    /// Validates one whole document; blanks around the value are allowed and dropped.
    static Result<RawJson, JsonError> from_text(std::string_view text);

    const std::string& text() const noexcept { return m_text; }
    bool is_null() const noexcept { return m_text == "null"; }
    /// The value as a tree: object members sorted by key, and of a key given
    /// twice the last one wins. Cannot fail, since the text was validated.
    nlohmann::json parse() const;

    /// Same JSON value, not necessarily the same text.
    friend bool operator==(const RawJson& a, const RawJson& b);

private:
    friend class JsonReader;
    struct Validated {};
    RawJson(std::string text, Validated) : m_text(std::move(text)) {}

    std::string m_text;
};

/// One member of a record: its key, and whether an object must carry it.
/// (A record written as an array must carry every member, in order.)
struct JsonField {
    std::string_view name;
    bool required;
};

/// Reads one JSON document from its first byte. Every read skips the blanks
/// before its value. Strings must be valid UTF-8 with checked escapes (no lone
/// surrogates), numbers must be RFC 8259 numbers within double range, and
/// containers nest at most 127 deep. The first error ends the reading; the
/// reader is not used after it.
class JsonReader {
public:
    /// Where the text comes from, which decides two error rules. A document is
    /// text as a person or a program wrote it: errors carry their line and
    /// column. A generic value is the compact text of a value already parsed
    /// (members sorted by key, the last of a repeated key kept), the form in
    /// which the records nested in a wallet file's generic members are read:
    /// errors carry no place, and a record given as an array with more
    /// elements than members is refused by its length.
    enum class Source { Document, GenericValue };

    explicit JsonReader(std::string_view text, Source source = Source::Document) noexcept
        : m_text(text), m_source(source) {}
    JsonReader(const JsonReader&) = delete;
    JsonReader& operator=(const JsonReader&) = delete;
    /// Zeroes the unescaping buffer: the text read may be a secret.
    ~JsonReader();

    /// The first byte of the next value, after blanks; nullopt at the end.
    std::optional<char> peek() noexcept { return skip_blanks(); }
    /// Validates the next value, of any kind, and passes over it.
    Status<JsonError> skip() { return skip_value(); }

    Result<std::uint32_t, JsonError> read_u32();
    /// A number as the literal it was written in, for integers wider than 64
    /// bits and to tell 1 from 1.0. The view lasts as long as the text.
    Result<std::string_view, JsonError> read_number_literal();
    Result<bool, JsonError> read_bool();
    /// `expecting` names the wanted type in a type error.
    Result<std::string, JsonError> read_string(std::string_view expecting = "a string");
    /// What read_string checks, with nothing kept.
    Status<JsonError> skip_string(std::string_view expecting = "a string");
    /// read_string into `target`, whose buffer is reused.
    Status<JsonError> read_string_into(std::string& target);
    /// Any value, validated and kept as its text.
    Result<RawJson, JsonError> read_raw();
    /// Consumes a `null` and answers true; before any other value answers
    /// false and consumes nothing but blanks.
    Result<bool, JsonError> read_null();
    /// A unit variant: one of `names` as a string (case-sensitive), or an
    /// object holding one member `"<name>": null`. Returns the index in `names`.
    Result<std::size_t, JsonError> read_variant(std::span<const std::string_view> names);

    /// A record named `struct_name` (at most 32 members). As an object: any
    /// member order, unknown keys skipped whatever their value, a key given
    /// twice refused, and the first missing required member in declaration
    /// order named. As an array: the members' values in declaration order.
    /// read_field(i) reads the value of fields[i] and returns Status<JsonError>.
    template <class ReadField>
    Status<JsonError> read_struct(std::string_view struct_name, std::span<const JsonField> fields,
                                  ReadField&& read_field);

    /// An array; read_element() reads one element.
    template <class ReadElement>
    Status<JsonError> read_seq(ReadElement&& read_element);

    /// An object with free keys; read_entry(std::string key) reads one value.
    template <class ReadEntry>
    Status<JsonError> read_map(ReadEntry&& read_entry);

    /// Only blanks may follow the document.
    Status<JsonError> finish();

private:
    struct Number;

    /// Mostly the cursor already stands on a value or a separator (every byte
    /// above the space is one), so that case is decided here, inline.
    std::optional<char> skip_blanks() noexcept {
        if (m_index < m_text.size() && static_cast<unsigned char>(m_text[m_index]) > ' ') {
            return m_text[m_index];
        }
        return skip_blank_run();
    }
    std::optional<char> skip_blank_run() noexcept;
    JsonError error_at(std::size_t index, std::string_view message) const;
    JsonError error_here(std::string_view message) const;
    JsonError error_at_peek(std::string_view message) const;
    JsonError eof_value_at_peek() const;
    JsonError place(JsonError error) const;
    JsonError invalid_type_at_peek(std::string_view expecting);
    static JsonError duplicate_field(std::string_view name);
    static JsonError missing_field(std::string_view name);
    static JsonError invalid_length(std::size_t length, std::string_view struct_name,
                                    std::size_t field_count);
    static std::string struct_expecting(std::string_view struct_name);

    Status<JsonError> enter_nested();
    void leave_nested() noexcept { ++m_remaining_depth; }
    Result<std::optional<char>, JsonError> next_item(bool& first, char close,
                                                     std::string_view eof_text,
                                                     std::string_view comma_or_end_text);
    Result<std::optional<std::string_view>, JsonError> next_key(bool& first);
    Result<bool, JsonError> next_element(bool& first);
    Status<JsonError> object_colon();
    Status<JsonError> end_map();
    Status<JsonError> end_seq();
    Status<JsonError> refuse_surplus_elements(bool& first, std::size_t members);
    static std::size_t field_index(std::span<const JsonField> fields, std::string_view key,
                                   std::size_t expected) noexcept;

    Status<JsonError> skip_value();
    Status<JsonError> parse_ident(std::string_view rest);
    Result<Number, JsonError> parse_number(bool positive, std::size_t start);
    Result<Number, JsonError> parse_number_tail(bool positive, std::uint64_t significand,
                                                std::size_t start, bool is_float);
    Result<std::string_view, JsonError> parse_str();
    Result<std::string_view, JsonError> parse_str_with_escapes_or_unicode();
    Result<std::string_view, JsonError> read_string_view(std::string_view expecting);
    Status<JsonError> parse_escape();
    Status<JsonError> parse_unicode_escape();
    Result<std::uint32_t, JsonError> decode_hex_escape();
    Result<std::size_t, JsonError> read_variant_name(std::span<const std::string_view> names);
    Result<std::size_t, JsonError> read_variant_entry(std::span<const std::string_view> names);

    template <class Visit>
    Status<JsonError> visit_nested(char open, Visit&& visit);
    template <class ReadElement>
    Status<JsonError> visit_elements(ReadElement&& read_element);
    template <class ReadMember>
    Status<JsonError> visit_members(ReadMember&& read_member);
    template <class ReadField>
    Status<JsonError> visit_struct_map(std::span<const JsonField> fields, ReadField& read_field);
    template <class ReadField>
    Status<JsonError> visit_struct_seq(std::string_view struct_name,
                                       std::span<const JsonField> fields, ReadField& read_field);

    std::string_view m_text;
    Source m_source;
    std::size_t m_index = 0;
    // Shared by every level, so the limit counts absolute nesting.
    int m_remaining_depth = 128;
    // Holds a string that needed unescaping until the next string is read.
    // Sized once for the whole text, so no copy is left behind by regrowth.
    std::string m_scratch;
};

// Every container read shares this frame: the nesting limit, the closing
// bracket (checked even after a failed visit, which moves the place an
// unplaced error gets), and the placing itself.
template <class Visit>
Status<JsonError> JsonReader::visit_nested(char open, Visit&& visit) {
    if (auto nested = enter_nested(); !nested) return nested;
    ++m_index;
    Status<JsonError> visited = visit();
    leave_nested();
    Status<JsonError> closed = open == '[' ? end_seq() : end_map();
    if (!visited) return Err{place(std::move(visited).error())};
    return closed;
}

template <class ReadField>
Status<JsonError> JsonReader::read_struct(std::string_view struct_name,
                                          std::span<const JsonField> fields,
                                          ReadField&& read_field) {
    // Members seen are tracked in one 32-bit mask.
    if (fields.size() > 32) throw InternalAbort("record with more than 32 members");
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    if (*peek == '{') {
        return visit_nested('{', [&] { return visit_struct_map(fields, read_field); });
    }
    if (*peek == '[') {
        return visit_nested('[', [&] { return visit_struct_seq(struct_name, fields, read_field); });
    }
    return Err{invalid_type_at_peek(struct_expecting(struct_name))};
}

template <class ReadField>
Status<JsonError> JsonReader::visit_struct_map(std::span<const JsonField> fields,
                                               ReadField& read_field) {
    std::uint32_t seen = 0;
    bool first = true;
    std::size_t expected = 0;  // members mostly come in declaration order
    for (;;) {
        auto key = next_key(first);
        if (!key) return Err{std::move(key).error()};
        if (!key.value()) break;
        const std::size_t field = field_index(fields, *key.value(), expected);
        const bool known = field < fields.size();
        expected = field + 1;
        // A repeated key is refused as soon as it is read, before its value.
        if (known && (seen & (1u << field)) != 0) return Err{duplicate_field(fields[field].name)};
        if (auto colon = object_colon(); !colon) return colon;
        if (!known) {
            if (auto skipped = skip_value(); !skipped) return skipped;
            continue;
        }
        seen |= 1u << field;
        if (Status<JsonError> read = read_field(field); !read) return read;
    }
    for (std::size_t field = 0; field < fields.size(); ++field) {
        if (fields[field].required && (seen & (1u << field)) == 0) {
            return Err{missing_field(fields[field].name)};
        }
    }
    return OK;
}

template <class ReadField>
Status<JsonError> JsonReader::visit_struct_seq(std::string_view struct_name,
                                               std::span<const JsonField> fields,
                                               ReadField& read_field) {
    bool first = true;
    for (std::size_t field = 0; field < fields.size(); ++field) {
        auto more = next_element(first);
        if (!more) return Err{std::move(more).error()};
        if (!more.value()) return Err{invalid_length(field, struct_name, fields.size())};
        if (Status<JsonError> read = read_field(field); !read) return read;
    }
    if (m_source == Source::GenericValue) return refuse_surplus_elements(first, fields.size());
    return OK;
}

// The elements of the array whose '[' is at the cursor, one read_element()
// call each.
template <class ReadElement>
Status<JsonError> JsonReader::visit_elements(ReadElement&& read_element) {
    return visit_nested('[', [&]() -> Status<JsonError> {
        bool first = true;
        for (;;) {
            auto more = next_element(first);
            if (!more) return Err{std::move(more).error()};
            if (!more.value()) return OK;
            if (Status<JsonError> read = read_element(); !read) return read;
        }
    });
}

// The members of the object whose '{' is at the cursor, one
// read_member(key) call each, after the colon. The key's view lasts until
// the next string is read.
template <class ReadMember>
Status<JsonError> JsonReader::visit_members(ReadMember&& read_member) {
    return visit_nested('{', [&]() -> Status<JsonError> {
        bool first = true;
        for (;;) {
            auto key = next_key(first);
            if (!key) return Err{std::move(key).error()};
            if (!key.value()) return OK;
            if (auto colon = object_colon(); !colon) return colon;
            if (Status<JsonError> read = read_member(*key.value()); !read) return read;
        }
    });
}

template <class ReadElement>
Status<JsonError> JsonReader::read_seq(ReadElement&& read_element) {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    if (*peek != '[') return Err{invalid_type_at_peek("a sequence")};
    return visit_elements(read_element);
}

template <class ReadEntry>
Status<JsonError> JsonReader::read_map(ReadEntry&& read_entry) {
    const std::optional<char> peek = skip_blanks();
    if (!peek) return Err{eof_value_at_peek()};
    if (*peek != '{') return Err{invalid_type_at_peek("a map")};
    // The key's text may live in the scratch buffer the value reuses.
    return visit_members([&](std::string_view key) { return read_entry(std::string(key)); });
}

}  // namespace oxa_core
