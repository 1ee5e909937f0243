#include "rlp.hpp"

#include <algorithm>

namespace oxa_signer {
namespace {

using oxa_core::Err;

constexpr std::size_t SHORT_PAYLOAD_MAX_BYTES = 55;
constexpr std::uint8_t TYPE_ACCESS_LIST = 0x01;  // EIP-2930
constexpr std::uint8_t TYPE_DYNAMIC_FEE = 0x02;  // EIP-1559
constexpr std::uint8_t SHORT_STRING_MAX = 0xB7;
constexpr std::uint8_t LONG_STRING_MAX = 0xBF;
constexpr std::uint8_t SHORT_LIST_MAX = 0xF7;

struct ItemBounds {
    std::size_t header_bytes;
    std::uint64_t payload_bytes;
};

// Only positions matter here, so a string header is read like a list header.
oxa_core::Result<ItemBounds, std::string> read_header(std::span<const std::uint8_t> item) {
    const std::uint8_t first = item[0];
    if (first < RLP_STRING_OFFSET) return ItemBounds{0, 1};
    if (first <= SHORT_STRING_MAX) return ItemBounds{1, std::uint64_t{first} - RLP_STRING_OFFSET};
    if (first >= RLP_LIST_OFFSET && first <= SHORT_LIST_MAX) {
        return ItemBounds{1, std::uint64_t{first} - RLP_LIST_OFFSET};
    }
    const std::size_t length_bytes =
        first <= LONG_STRING_MAX ? first - SHORT_STRING_MAX : first - SHORT_LIST_MAX;
    if (length_bytes >= item.size()) return Err{std::string("truncated length")};
    std::uint64_t payload_bytes = 0;  // at most 8 length bytes, so no overflow
    for (std::size_t i = 1; i <= length_bytes; ++i) payload_bytes = (payload_bytes << 8) | item[i];
    return ItemBounds{length_bytes + 1, payload_bytes};
}

// An unsigned big-endian integer in its minimal form; zero is the empty string.
std::vector<std::uint8_t> encode_unsigned(std::span<const std::uint8_t> big_endian) {
    const auto first_nonzero =
        std::find_if(big_endian.begin(), big_endian.end(), [](std::uint8_t b) { return b != 0; });
    return encode_bytes({first_nonzero, big_endian.end()});
}

void append(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::vector<std::uint8_t> encode_length(std::size_t length, std::uint8_t offset) {
    if (length <= SHORT_PAYLOAD_MAX_BYTES) {
        return {static_cast<std::uint8_t>(offset + length)};
    }
    std::vector<std::uint8_t> length_be;
    for (std::size_t rest = length; rest != 0; rest >>= 8) {
        length_be.insert(length_be.begin(), static_cast<std::uint8_t>(rest & 0xFF));
    }
    std::vector<std::uint8_t> out{
        static_cast<std::uint8_t>(offset + SHORT_PAYLOAD_MAX_BYTES + length_be.size())};
    append(out, length_be);
    return out;
}

std::vector<std::uint8_t> encode_bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() == 1 && bytes[0] < RLP_STRING_OFFSET) return {bytes[0]};
    std::vector<std::uint8_t> out = encode_length(bytes.size(), RLP_STRING_OFFSET);
    append(out, bytes);
    return out;
}

oxa_core::Result<std::vector<std::uint8_t>, std::string> encode_signed_typed_tx(
    std::span<const std::uint8_t> tx, std::uint8_t v, std::span<const std::uint8_t, 32> r,
    std::span<const std::uint8_t, 32> s) {
    if (tx.empty()) return Err{std::string("empty transaction")};
    const std::uint8_t type = tx[0];
    if (type != TYPE_ACCESS_LIST && type != TYPE_DYNAMIC_FEE) {
        return Err{std::string("unsupported transaction type (expected 0x01 or 0x02)")};
    }
    const auto unsigned_list = tx.subspan(1);
    if (unsigned_list.empty()) return Err{std::string("empty input")};

    auto bounds = read_header(unsigned_list);
    if (!bounds) return Err{bounds.error()};
    const auto [header_bytes, payload_bytes] = bounds.value();
    // Compared against what is left, so a huge declared length cannot wrap.
    if (payload_bytes > unsigned_list.size() - header_bytes) {
        return Err{std::string("truncated RLP payload")};
    }
    const auto payload =
        unsigned_list.subspan(header_bytes, static_cast<std::size_t>(payload_bytes));

    std::vector<std::uint8_t> body(payload.begin(), payload.end());
    append(body, encode_unsigned(std::span<const std::uint8_t>(&v, 1)));
    append(body, encode_unsigned(r));
    append(body, encode_unsigned(s));

    std::vector<std::uint8_t> out{type};
    append(out, encode_length(body.size(), RLP_LIST_OFFSET));
    append(out, body);
    return out;
}

}  // namespace oxa_signer
