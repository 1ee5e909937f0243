#pragma once
// encodeData and hashStruct of EIP-712 over JSON values, read straight from
// the document. A refused value is named by its path ("message.to[1].wallet").
//
// Accepted JSON for each type: a string for string; "0x" and an even number
// of hex digits for bytes, and for bytesN exactly N bytes so; an address as
// parse_evm_address reads it; true or false for bool; for intN and uintN a
// JSON integer (no fraction, no exponent) or a string of decimal digits after
// an optional "-" or of "0x" and hex digits, within the type's range; an
// object for a struct, with every member (keys that name none are passed
// over, as eth_signTypedData_v4 does); an array for an array, of exactly N
// elements for T[N]. Anything else, null included, is refused.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "oxa_core/json_reader.hpp"
#include "oxa_signer/hashes.hpp"
#include "type_table.hpp"

namespace oxa_signer::eip712 {

class ValueEncoder {
public:
    /// `root` starts every path: "domain" or "message".
    ValueEncoder(oxa_core::JsonReader& reader, const TypeTable& types, std::string root)
        : m_reader(reader), m_types(types), m_root(std::move(root)) {}

    /// hashStruct of the value at the reader's cursor, of struct `index`.
    oxa_core::Result<Bytes32, oxa_core::JsonError> hash_struct(std::size_t index);

    /// A member of a struct (its name, which the type table keeps) or an
    /// element of an array (its index, with no name).
    struct PathStep {
        std::string_view member;
        std::size_t index;
    };

private:
    oxa_core::Status<oxa_core::JsonError> encode(const MemberType& type, std::size_t levels,
                                                 Bytes32& word);
    oxa_core::Status<oxa_core::JsonError> encode_array(const MemberType& type, std::size_t levels,
                                                       Bytes32& word);
    oxa_core::Status<oxa_core::JsonError> encode_atomic(const BaseType& type, Bytes32& word);
    oxa_core::Status<oxa_core::JsonError> encode_bytes(const BaseType& type, Bytes32& word);
    oxa_core::Status<oxa_core::JsonError> encode_integer(const BaseType& type, Bytes32& word);
    oxa_core::JsonError refusal(std::string_view problem) const;

    oxa_core::JsonReader& m_reader;
    const TypeTable& m_types;
    std::string m_root;
    std::vector<PathStep> m_path;
    std::string m_text;  // string values, one at a time
};

}  // namespace oxa_signer::eip712
