#include "type_table.hpp"

#include <algorithm>
#include <array>
#include <charconv>

#include "oxa_signer/keccak.hpp"

namespace oxa_signer::eip712 {

using oxa_core::Err;
using oxa_core::JsonError;
using oxa_core::JsonReader;
using oxa_core::Status;

namespace {

// Solidity's identifiers: the names of encodeType must not carry its own
// punctuation, or two different type sets could share one encoding.
bool is_identifier(std::string_view text) {
    const auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
    };
    if (text.empty() || !letter(text.front())) return false;
    return std::all_of(text.begin(), text.end(),
                       [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

// Digits without a leading zero, as sizes are written in type names.
std::optional<std::size_t> positive_decimal(std::string_view digits) {
    if (digits.empty() || digits.front() == '0') return std::nullopt;
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// The base name and the array levels of a member type as written; the base
// stays unresolved (a struct without an index) unless it is atomic.
std::optional<MemberType> parse_member_type(std::string text) {
    const std::size_t bracket = std::min(text.find('['), text.size());
    const std::string_view base_name = std::string_view(text).substr(0, bracket);
    if (!is_identifier(base_name)) return std::nullopt;
    MemberType type{text, atomic_type(base_name).value_or(BaseType{}), {}};
    std::string_view rest = std::string_view(text).substr(bracket);
    while (!rest.empty()) {
        const std::size_t close = rest.find(']');
        if (rest.front() != '[' || close == std::string_view::npos) return std::nullopt;
        const std::string_view length = rest.substr(1, close - 1);
        if (length.empty()) {
            type.array_lengths.push_back(0);
        } else if (auto fixed = positive_decimal(length)) {
            type.array_lengths.push_back(*fixed);
        } else {
            return std::nullopt;
        }
        rest.remove_prefix(close + 1);
    }
    return type;
}

std::string_view base_name(const MemberType& type) {
    return std::string_view(type.text).substr(0, type.text.find('['));
}

JsonError error(std::string message) { return JsonError{std::move(message)}; }

}  // namespace

std::string in_backticks(std::string_view name) {
    std::string out = "`";
    out.append(name);
    out += '`';
    return out;
}

std::optional<BaseType> atomic_type(std::string_view text) {
    using Kind = BaseType::Kind;
    if (text == "address") return BaseType{Kind::Address};
    if (text == "bool") return BaseType{Kind::Bool};
    if (text == "string") return BaseType{Kind::String};
    if (text == "bytes") return BaseType{Kind::Bytes};
    const auto sized = [&](std::string_view prefix, Kind kind, std::size_t step,
                           std::size_t max) -> std::optional<BaseType> {
        if (!text.starts_with(prefix)) return std::nullopt;
        const auto size = positive_decimal(text.substr(prefix.size()));
        if (!size || *size % step != 0 || *size > max) return std::nullopt;
        return BaseType{kind, static_cast<std::uint16_t>(*size)};
    };
    if (auto fixed = sized("bytes", Kind::FixedBytes, 1, 32)) return fixed;
    if (auto unsigned_int = sized("uint", Kind::Uint, 8, 256)) return unsigned_int;
    return sized("int", Kind::Int, 8, 256);
}

std::string struct_signature(std::string_view name, const std::vector<Member>& members) {
    std::string text(name);
    text += '(';
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i > 0) text += ',';
        text += members[i].type.text;
        text += ' ';
        text += members[i].name;
    }
    text += ')';
    return text;
}

oxa_core::Result<TypeTable, JsonError> TypeTable::read(JsonReader& reader) {
    if (reader.peek() != '{') return Err{error("`types` must be an object")};
    TypeTable table;
    auto entries = reader.read_map(
        [&](std::string name) { return table.read_struct_entry(reader, std::move(name)); });
    if (!entries) return Err{std::move(entries).error()};
    if (auto resolved = table.resolve_struct_references(); !resolved) {
        return Err{std::move(resolved).error()};
    }
    if (auto acyclic = table.refuse_cycles_by_value(); !acyclic) {
        return Err{std::move(acyclic).error()};
    }
    for (std::size_t index = 0; index < table.m_structs.size(); ++index) {
        table.m_structs[index].type_hash = table.compute_type_hash(index);
    }
    return table;
}

std::size_t TypeTable::add_domain(std::vector<Member> members) {
    add_struct(std::string(DOMAIN_TYPE_NAME), std::move(members));
    const std::size_t index = m_structs.size() - 1;
    m_structs[index].type_hash = compute_type_hash(index);
    return index;
}

void TypeTable::add_struct(std::string name, std::vector<Member> members) {
    std::vector<std::size_t> by_name(members.size());
    for (std::size_t i = 0; i < by_name.size(); ++i) by_name[i] = i;
    std::sort(by_name.begin(), by_name.end(),
              [&](std::size_t a, std::size_t b) { return members[a].name < members[b].name; });
    m_structs.push_back({std::move(name), std::move(members)});
    m_members_by_name.push_back(std::move(by_name));
}

Bytes32 TypeTable::compute_type_hash(std::size_t index) const {
    const std::string text = encode_type(index);
    return keccak256({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

Status<JsonError> TypeTable::read_struct_entry(JsonReader& reader, std::string name) {
    if (!is_identifier(name)) return Err{error("type names must be identifiers")};
    if (atomic_type(name) || name == "uint" || name == "int") {
        return Err{error(in_backticks(name) + " is an atomic type and cannot name a struct")};
    }
    const bool is_domain = name == DOMAIN_TYPE_NAME;
    if ((is_domain && m_domain) || find(name)) {
        return Err{error("type " + in_backticks(name) + " is defined twice")};
    }
    if (!is_domain && m_structs.size() == MAX_STRUCT_TYPES) {
        return Err{error("more than " + std::to_string(MAX_STRUCT_TYPES) + " struct types")};
    }
    if (reader.peek() != '[') {
        return Err{error("type " + in_backticks(name) + " must be an array of members")};
    }
    std::vector<Member> members;
    static constexpr std::array<oxa_core::JsonField, 2> FIELDS = {{{"name", true}, {"type", true}}};
    auto read = reader.read_seq([&]() -> Status<JsonError> {
        if (reader.peek() != '{') {
            return Err{error("each member of " + in_backticks(name) + " must be an object")};
        }
        Member member;
        std::string type_text;
        auto fields = reader.read_struct("member", FIELDS, [&](std::size_t field) {
            return reader.read_string_into(field == 0 ? member.name : type_text);
        });
        if (!fields) return fields;
        if (!is_identifier(member.name)) {
            return Err{error("member names of " + in_backticks(name) + " must be identifiers")};
        }
        auto type = parse_member_type(std::move(type_text));
        if (!type) {
            return Err{error("the type of " + in_backticks(name + "." + member.name) +
                             " is not an EIP-712 type")};
        }
        member.type = std::move(type).value();
        members.push_back(std::move(member));
        return oxa_core::OK;
    });
    if (!read) return read;

    std::vector<std::string_view> names;
    names.reserve(members.size());
    for (const Member& member : members) names.push_back(member.name);
    std::sort(names.begin(), names.end());
    if (const auto twin = std::adjacent_find(names.begin(), names.end()); twin != names.end()) {
        return Err{
            error("type " + in_backticks(name) + " has two members named " + in_backticks(*twin))};
    }
    if (is_domain) {
        m_domain = std::move(members);
    } else {
        add_struct(std::move(name), std::move(members));
    }
    return oxa_core::OK;
}

Status<JsonError> TypeTable::resolve_struct_references() {
    const auto resolve = [&](MemberType& type, std::string_view owner,
                             std::string_view member) -> Status<JsonError> {
        if (type.base.kind != BaseType::Kind::Struct) return oxa_core::OK;
        const std::string_view name = base_name(type);
        const auto place = [&] {
            return " (in " + in_backticks(std::string(owner) + "." + std::string(member)) + ")";
        };
        if (name == DOMAIN_TYPE_NAME) {
            return Err{
                error(std::string(DOMAIN_TYPE_NAME) + " is only the domain's type" + place())};
        }
        const auto index = find(name);
        if (!index) return Err{error("undefined type " + in_backticks(name) + place())};
        type.base.struct_index = *index;
        return oxa_core::OK;
    };
    for (StructType& type : m_structs) {
        for (Member& member : type.members) {
            if (auto resolved = resolve(member.type, type.name, member.name); !resolved) {
                return resolved;
            }
        }
    }
    return oxa_core::OK;
}

// A struct that holds itself other than through a dynamic array (which may
// be empty) has no finite value: refused with the types, before any value.
Status<JsonError> TypeTable::refuse_cycles_by_value() const {
    const auto held_by_value = [](const MemberType& type) {
        return type.base.kind == BaseType::Kind::Struct &&
               std::find(type.array_lengths.begin(), type.array_lengths.end(), 0) ==
                   type.array_lengths.end();
    };
    for (std::size_t start = 0; start < m_structs.size(); ++start) {
        std::vector<bool> seen(m_structs.size(), false);
        std::vector<std::size_t> pending = {start};
        while (!pending.empty()) {
            const std::size_t index = pending.back();
            pending.pop_back();
            for (const Member& member : m_structs[index].members) {
                const MemberType& type = member.type;
                if (!held_by_value(type)) continue;
                if (type.base.struct_index == start) {
                    return Err{error("type " + in_backticks(m_structs[start].name) +
                                     " holds itself, not through a dynamic array, so no value "
                                     "of it is finite")};
                }
                if (!seen[type.base.struct_index]) {
                    seen[type.base.struct_index] = true;
                    pending.push_back(type.base.struct_index);
                }
            }
        }
    }
    return oxa_core::OK;
}

std::optional<std::size_t> TypeTable::find(std::string_view name) const {
    for (std::size_t index = 0; index < m_structs.size(); ++index) {
        if (m_structs[index].name == name) return index;
    }
    return std::nullopt;
}

std::optional<std::size_t> TypeTable::find_member(std::size_t index, std::string_view name) const {
    const std::vector<Member>& members = m_structs.at(index).members;
    const std::vector<std::size_t>& by_name = m_members_by_name.at(index);
    const auto found = std::lower_bound(
        by_name.begin(), by_name.end(), name,
        [&](std::size_t member, std::string_view key) { return members[member].name < key; });
    if (found == by_name.end() || members[*found].name != name) return std::nullopt;
    return *found;
}

// Every struct reachable from `index` through its members, arrays included,
// without `index` itself.
std::vector<std::size_t> TypeTable::dependencies(std::size_t index) const {
    std::vector<bool> seen(m_structs.size(), false);
    seen[index] = true;
    std::vector<std::size_t> found;
    std::vector<std::size_t> pending = {index};
    while (!pending.empty()) {
        const std::size_t current = pending.back();
        pending.pop_back();
        for (const Member& member : m_structs[current].members) {
            if (member.type.base.kind != BaseType::Kind::Struct) continue;
            const std::size_t next = member.type.base.struct_index;
            if (seen[next]) continue;
            seen[next] = true;
            found.push_back(next);
            pending.push_back(next);
        }
    }
    return found;
}

std::string TypeTable::encode_type(std::size_t index) const {
    std::vector<std::size_t> dependencies = this->dependencies(index);
    std::sort(dependencies.begin(), dependencies.end(),
              [&](std::size_t a, std::size_t b) { return m_structs[a].name < m_structs[b].name; });
    std::string text = struct_signature(m_structs[index].name, m_structs[index].members);
    for (std::size_t dependency : dependencies) {
        text += struct_signature(m_structs[dependency].name, m_structs[dependency].members);
    }
    return text;
}

}  // namespace oxa_signer::eip712
