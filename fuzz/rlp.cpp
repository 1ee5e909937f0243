// The typed-transaction encoder on any unsigned transaction: the result is
// the type byte and one RLP list whose header matches its payload, which is
// the unsigned list's payload followed by v, r and s in minimal form.

#include <algorithm>
#include <array>
#include <vector>

#include "fuzz_check.hpp"
#include "oxa_signer/rlp.hpp"

namespace {

// r with two leading zeros, so the minimal form is exercised; s with none.
constexpr std::array<std::uint8_t, 32> R = {0,  0,  0x7f, 1,  2,  3,  4,  5,  6,  7,  8,
                                            9,  10, 11,   12, 13, 14, 15, 16, 17, 18, 19,
                                            20, 21, 22,   23, 24, 25, 26, 27, 28, 29};
constexpr std::array<std::uint8_t, 32> S = {
    0xff, 0xfe, 0xfd, 0xfc, 0xfb, 0xfa, 0xf9, 0xf8, 0xf7, 0xf6, 0xf5, 0xf4, 0xf3, 0xf2, 0xf1, 0xf0,
    0xef, 0xee, 0xed, 0xec, 0xeb, 0xea, 0xe9, 0xe8, 0xe7, 0xe6, 0xe5, 0xe4, 0xe3, 0xe2, 0xe1, 0xe0};

// v, then r without its two zeros (30 bytes), then s: as RLP items.
std::vector<std::uint8_t> signature_fields(std::uint8_t v) {
    std::vector<std::uint8_t> out{v == 0 ? std::uint8_t{0x80} : v, 0x80 + 30};
    out.insert(out.end(), R.begin() + 2, R.end());
    out.push_back(0x80 + 32);
    out.insert(out.end(), S.begin(), S.end());
    return out;
}

// Bytes an RLP header takes at the front of `item` (a single byte below 0x80
// is its own item and has none).
std::size_t header_bytes(std::span<const std::uint8_t> item) {
    const std::uint8_t first = item[0];
    if (first < 0x80) return 0;
    if (first <= 0xb7 || (first >= 0xc0 && first <= 0xf7)) return 1;
    return 1 + (first <= 0xbf ? first - 0xb7u : first - 0xf7u);
}

std::size_t list_payload_bytes(std::span<const std::uint8_t> list) {
    if (list[0] <= 0xf7) return list[0] - 0xc0u;
    std::size_t length = 0;
    for (std::size_t i = 1; i < header_bytes(list); ++i) length = length << 8 | list[i];
    return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> tx(data, size);
    const std::uint8_t v = size > 0 ? data[size - 1] & 1 : 0;
    auto encoded = oxa_signer::encode_signed_typed_tx(tx, v, R, S);
    if (!encoded) return 0;
    const std::span<const std::uint8_t> out(encoded.value());
    oxa_fuzz::check(out.size() >= 2 && out[0] == tx[0], "the type byte leads");
    oxa_fuzz::check(out[1] >= 0xc0, "a list follows the type byte");
    const std::span<const std::uint8_t> list = out.subspan(1);
    const std::size_t header = header_bytes(list);
    oxa_fuzz::check(header + list_payload_bytes(list) == list.size(),
                    "the list header covers exactly its payload");
    const std::vector<std::uint8_t> fields = signature_fields(v);
    oxa_fuzz::check(list.size() >= header + fields.size() &&
                        std::equal(fields.begin(), fields.end(), list.end() - fields.size()),
                    "v, r and s close the list in minimal form");
    const std::span<const std::uint8_t> carried =
        list.subspan(header, list.size() - header - fields.size());
    const std::span<const std::uint8_t> unsigned_list = tx.subspan(1);
    const std::size_t unsigned_header = header_bytes(unsigned_list);
    oxa_fuzz::check(
        unsigned_list.size() >= unsigned_header + carried.size() &&
            std::equal(carried.begin(), carried.end(), unsigned_list.begin() + unsigned_header),
        "the unsigned payload is carried over byte for byte");
    return 0;
}
