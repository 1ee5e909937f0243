#include "typed_data.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "oxa_core/json_reader.hpp"
#include "oxa_signer/keccak.hpp"
#include "type_table.hpp"
#include "value_encoder.hpp"

namespace oxa_signer::eip712 {

using oxa_core::Err;
using oxa_core::JsonError;
using oxa_core::JsonReader;
using oxa_core::Result;
using oxa_core::Status;

namespace {

enum Field : std::size_t { TYPES, PRIMARY_TYPE, DOMAIN, MESSAGE };
constexpr std::array<oxa_core::JsonField, 4> DOCUMENT_FIELDS = {
    {{"types", true}, {"primaryType", true}, {"domain", true}, {"message", true}}};

struct DomainField {
    std::string_view name;
    std::string_view type;
};
constexpr std::array<DomainField, 5> DOMAIN_FIELDS = {{{"name", "string"},
                                                       {"version", "string"},
                                                       {"chainId", "uint256"},
                                                       {"verifyingContract", "address"},
                                                       {"salt", "bytes32"}}};
constexpr std::string_view DOMAIN_FIELD_LIST = "name, version, chainId, verifyingContract, salt";

// What the first reading learns; the values are hashed in a second one,
// since the types may come after them.
struct Outline {
    std::optional<TypeTable> types;
    std::string primary_type;
    std::vector<std::string> domain_keys;
};

JsonError error(std::string message) { return JsonError{std::move(message)}; }

// A name from the document, quoted in an error only if it is short, plain
// text: an error is one line.
std::string quoted_name(std::string_view name) {
    const bool plain = name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
                           return c >= ' ' && c <= '~' && c != '`';
                       });
    return plain ? in_backticks(name) : "a name that is not plain text";
}

Status<JsonError> require_object(JsonReader& reader, std::string_view member) {
    if (reader.peek() == '{') return oxa_core::OK;
    return Err{error(in_backticks(member) + " must be an object")};
}

Result<Outline, JsonError> read_outline(std::string_view text) {
    JsonReader reader(text);
    if (reader.peek() != '{') return Err{error("expected a JSON object")};
    Outline outline;
    const auto read_field = [&](std::size_t field) -> Status<JsonError> {
        switch (field) {
            case TYPES: {
                auto types = TypeTable::read(reader);
                if (!types) return Err{std::move(types).error()};
                outline.types = std::move(types).value();
                return oxa_core::OK;
            }
            case PRIMARY_TYPE: return reader.read_string_into(outline.primary_type);
            case DOMAIN: {
                if (auto object = require_object(reader, "domain"); !object) return object;
                return reader.read_map([&](std::string key) {
                    outline.domain_keys.push_back(std::move(key));
                    return reader.skip();
                });
            }
            default: {
                if (auto object = require_object(reader, "message"); !object) return object;
                return reader.skip();
            }
        }
    };
    auto read = reader.read_struct("typed data", DOCUMENT_FIELDS, read_field);
    if (!read) return Err{std::move(read).error()};
    if (auto end = reader.finish(); !end) return Err{std::move(end).error()};
    return outline;
}

// A declared domain type must be the one that every signer hashes alike:
// where they differ (field order, a chainId of another width), refused.
Status<JsonError> check_declared_domain(const std::vector<Member>& members) {
    auto next = DOMAIN_FIELDS.begin();
    for (const Member& member : members) {
        const auto is_named = [&](const DomainField& field) { return field.name == member.name; };
        const auto field = std::find_if(next, DOMAIN_FIELDS.end(), is_named);
        if (field == DOMAIN_FIELDS.end()) {
            const bool known = std::any_of(DOMAIN_FIELDS.begin(), DOMAIN_FIELDS.end(), is_named);
            return Err{error(known ? "EIP712Domain: fields must come in the order " +
                                         std::string(DOMAIN_FIELD_LIST)
                                   : "EIP712Domain: " + in_backticks(member.name) +
                                         " is not a domain field (" +
                                         std::string(DOMAIN_FIELD_LIST) + ")")};
        }
        if (member.type.text != field->type) {
            return Err{error("EIP712Domain: " + in_backticks(member.name) + " must be of type " +
                             std::string(field->type))};
        }
        next = field + 1;
    }
    return oxa_core::OK;
}

// The domain's members: as declared, or inferred from the keys it gives.
// Either way every key must name one of them, as no signer would sign it.
Result<std::vector<Member>, JsonError> domain_members(const TypeTable& types,
                                                      const std::vector<std::string>& keys) {
    const std::optional<std::vector<Member>>& declared = types.declared_domain();
    std::vector<Member> members;
    if (declared) {
        if (auto checked = check_declared_domain(*declared); !checked) {
            return Err{std::move(checked).error()};
        }
        members = *declared;
    } else {
        for (const DomainField& field : DOMAIN_FIELDS) {
            if (std::find(keys.begin(), keys.end(), field.name) == keys.end()) continue;
            const std::string type(field.type);
            members.push_back({std::string(field.name), {type, *atomic_type(type), {}}});
        }
    }
    for (const std::string& key : keys) {
        const auto named = [&](const Member& member) { return member.name == key; };
        if (std::any_of(members.begin(), members.end(), named)) continue;
        return Err{
            error("domain: " + quoted_name(key) +
                  (declared ? " is not a field of the declared EIP712Domain"
                            : " is not a domain field (" + std::string(DOMAIN_FIELD_LIST) + ")"))};
    }
    return members;
}

Result<std::size_t, JsonError> primary_type_index(const TypeTable& types, std::string_view name) {
    if (name == DOMAIN_TYPE_NAME) {
        return Err{
            error("primaryType EIP712Domain (a signature of the domain alone) is not "
                  "supported")};
    }
    const std::optional<std::size_t> index = types.find(name);
    if (!index) return Err{error("primaryType " + quoted_name(name) + " is not defined in types")};
    return *index;
}

Result<TypedDataHashes, JsonError> hash_values(std::string_view text, const TypeTable& types,
                                               std::size_t domain, std::size_t primary) {
    JsonReader reader(text);
    TypedDataHashes hashes{};
    auto read = reader.read_struct(
        "typed data", DOCUMENT_FIELDS, [&](std::size_t field) -> Status<JsonError> {
            if (field != DOMAIN && field != MESSAGE) return reader.skip();
            const bool is_domain = field == DOMAIN;
            ValueEncoder encoder(reader, types, is_domain ? "domain" : "message");
            auto hash = encoder.hash_struct(is_domain ? domain : primary);
            if (!hash) return Err{std::move(hash).error()};
            (is_domain ? hashes.domain_separator : hashes.message_hash) = hash.value();
            return oxa_core::OK;
        });
    if (!read) return Err{std::move(read).error()};
    constexpr std::array<std::uint8_t, 2> PREFIX = {0x19, 0x01};
    Keccak256 hasher;
    hasher.update(PREFIX);
    hasher.update(hashes.domain_separator);
    hasher.update(hashes.message_hash);
    hashes.digest = hasher.finish();
    return hashes;
}

Result<TypedDataHashes, JsonError> read_and_hash(std::string_view text) {
    auto outline = read_outline(text);
    if (!outline) return Err{std::move(outline).error()};
    TypeTable& types = *outline.value().types;
    auto primary = primary_type_index(types, outline.value().primary_type);
    if (!primary) return Err{std::move(primary).error()};
    auto members = domain_members(types, outline.value().domain_keys);
    if (!members) return Err{std::move(members).error()};
    const std::size_t domain = types.add_domain(std::move(members).value());
    return hash_values(text, types, domain, primary.value());
}

}  // namespace

Result<TypedDataHashes, std::string> hash_typed_data(std::string_view text) {
    if (text.size() > MAX_TYPED_DATA_BYTES) {
        return Err{"more than " + std::to_string(MAX_TYPED_DATA_BYTES) + " bytes"};
    }
    auto hashes = read_and_hash(text);
    if (!hashes) return Err{hashes.error().display()};
    return hashes.value();
}

}  // namespace oxa_signer::eip712
