#pragma once
// The struct types of an EIP-712 document (its "types" member), checked so
// that every value of them has exactly one encoding: each name is an
// identifier, each member type is atomic or defined, and no struct holds
// itself except through a dynamic array.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "oxa_core/json_reader.hpp"
#include "oxa_signer/hashes.hpp"

namespace oxa_signer::eip712 {

/// The type left when a member type's array levels are taken off.
struct BaseType {
    enum class Kind { Address, Bool, String, Bytes, FixedBytes, Uint, Int, Struct };
    Kind kind = Kind::Struct;
    /// Bytes of FixedBytes, bits of Uint and Int.
    std::uint16_t width = 0;
    /// The struct's index in its table.
    std::size_t struct_index = 0;
};

/// A member's type as written ("Person[3][]") and what it means: the base
/// type under `array_lengths.size()` array levels, innermost first; a length
/// of 0 is a dynamic array.
struct MemberType {
    std::string text;
    BaseType base;
    std::vector<std::size_t> array_lengths;
};

struct Member {
    std::string name;
    MemberType type;
};

struct StructType {
    std::string name;
    std::vector<Member> members;
    /// Keccak-256 of the encodeType text.
    Bytes32 type_hash{};
};

/// The domain's struct type, kept apart from the message's types.
inline constexpr std::string_view DOMAIN_TYPE_NAME = "EIP712Domain";
/// More struct types than any application uses; it bounds the work a hostile
/// document can ask for, since each type hash covers its dependencies.
inline constexpr std::size_t MAX_STRUCT_TYPES = 64;

class TypeTable {
public:
    /// Reads the JSON object at the reader's cursor: struct names mapped to
    /// arrays of {"name", "type"} members. A declared EIP712Domain is read
    /// with the same rules and kept apart; no other type may refer to it.
    static oxa_core::Result<TypeTable, oxa_core::JsonError> read(oxa_core::JsonReader& reader);

    std::optional<std::size_t> find(std::string_view name) const;
    const StructType& at(std::size_t index) const { return m_structs.at(index); }
    /// The member named `name` of struct `index`, by position.
    std::optional<std::size_t> find_member(std::size_t index, std::string_view name) const;
    /// "Name(type name,...)" followed by the struct types it depends on,
    /// sorted by name.
    std::string encode_type(std::size_t index) const;
    /// The EIP712Domain members as declared, if they are.
    const std::optional<std::vector<Member>>& declared_domain() const { return m_domain; }
    /// Adds the domain's struct type, whose atomic members the caller has
    /// checked, as EIP712Domain; returns its index.
    std::size_t add_domain(std::vector<Member> members);

private:
    void add_struct(std::string name, std::vector<Member> members);
    Bytes32 compute_type_hash(std::size_t index) const;
    oxa_core::Status<oxa_core::JsonError> read_struct_entry(oxa_core::JsonReader& reader,
                                                            std::string name);
    oxa_core::Status<oxa_core::JsonError> resolve_struct_references();
    oxa_core::Status<oxa_core::JsonError> refuse_cycles_by_value() const;
    std::vector<std::size_t> dependencies(std::size_t index) const;

    std::vector<StructType> m_structs;
    // Per struct, its members' indices sorted by name: a value's members
    // are looked up by key in logarithmic time, however many there are.
    std::vector<std::vector<std::size_t>> m_members_by_name;
    std::optional<std::vector<Member>> m_domain;
};

/// The type of `text` when it is one of EIP-712's atomic types: address,
/// bool, string, bytes, bytes1 to bytes32, uint8 to uint256 and int8 to
/// int256 in steps of 8.
std::optional<BaseType> atomic_type(std::string_view text);

/// `name` in backticks, as error texts quote names.
std::string in_backticks(std::string_view name);

/// The encodeType text of one struct: "Name(type1 name1,type2 name2)".
std::string struct_signature(std::string_view name, const std::vector<Member>& members);

}  // namespace oxa_signer::eip712
