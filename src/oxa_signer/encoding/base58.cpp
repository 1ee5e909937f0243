#include "base58.hpp"

#include <algorithm>
#include <array>

#include "oxa_signer/hashes.hpp"

namespace oxa_signer {
namespace {

constexpr std::string_view ALPHABET = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr std::size_t CHECKSUM_BYTES = 4;
constexpr int NOT_A_DIGIT = -1;

constexpr std::array<int, 256> make_digit_table() {
    std::array<int, 256> table{};
    table.fill(NOT_A_DIGIT);
    for (std::size_t i = 0; i < ALPHABET.size(); ++i) {
        table[static_cast<unsigned char>(ALPHABET[i])] = static_cast<int>(i);
    }
    return table;
}
constexpr std::array<int, 256> DIGIT_VALUES = make_digit_table();

template <class Range>
std::size_t count_leading(const Range& range, typename Range::value_type zero) {
    std::size_t n = 0;
    while (n < range.size() && range[n] == zero) ++n;
    return n;
}

// Multiplies the big-endian number in the last `used` digits of `digits` by
// `from_base` and adds `carry`; returns how many digits are now in use.
std::size_t multiply_add(std::span<std::uint8_t> digits, std::size_t used, unsigned from_base,
                         unsigned to_base, unsigned carry) {
    std::size_t i = 0;
    for (auto it = digits.rbegin(); (carry != 0 || i < used) && it != digits.rend(); ++it, ++i) {
        carry += from_base * *it;
        *it = static_cast<std::uint8_t>(carry % to_base);
        carry /= to_base;
    }
    return i;
}

}  // namespace

std::string base58_encode(std::span<const std::uint8_t> bytes) {
    const std::size_t zeros = count_leading(bytes, std::uint8_t{0});
    // log(256) / log(58) < 1.38, so this many base-58 digits always suffice.
    // Only public data is encoded here (addresses): the result itself is not
    // wiped, so neither is the work.
    std::vector<std::uint8_t> work((bytes.size() - zeros) * 138 / 100 + 1);
    std::size_t used = 0;
    for (std::uint8_t byte : bytes.subspan(zeros)) {
        used = multiply_add(work, used, 256, 58, byte);
    }

    std::string out(zeros + used, '1');
    for (std::size_t i = 0; i < used; ++i) out[zeros + i] = ALPHABET[work[work.size() - used + i]];
    return out;
}

std::optional<std::vector<std::uint8_t>> base58_decode(std::string_view text) {
    const std::size_t ones = count_leading(text, ALPHABET[0]);
    // log(58) / log(256) < 0.733, so this many bytes always suffice
    std::vector<std::uint8_t> work((text.size() - ones) * 733 / 1000 + 1);
    std::size_t used = 0;
    for (char c : text.substr(ones)) {
        const int digit = DIGIT_VALUES[static_cast<unsigned char>(c)];
        if (digit == NOT_A_DIGIT) return std::nullopt;
        used = multiply_add(work, used, 58, 256, static_cast<unsigned>(digit));
    }

    std::vector<std::uint8_t> out(ones + used, 0);
    const std::span<const std::uint8_t> digits = std::span(work).last(used);
    std::copy(digits.begin(), digits.end(), out.begin() + static_cast<std::ptrdiff_t>(ones));
    return out;
}

std::string base58check_encode(std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> checked(payload.begin(), payload.end());
    const Bytes32 digest = sha256d(payload);
    checked.insert(checked.end(), digest.begin(), digest.begin() + CHECKSUM_BYTES);
    return base58_encode(checked);
}

oxa_core::Result<std::vector<std::uint8_t>, std::string> base58check_decode(std::string_view text) {
    auto decoded = base58_decode(text);
    if (!decoded) return oxa_core::Err{std::string("not Base58")};
    std::vector<std::uint8_t>& bytes = *decoded;
    if (bytes.size() < CHECKSUM_BYTES) {
        return oxa_core::Err{std::string("shorter than its 4-byte checksum")};
    }
    const std::size_t payload_bytes = bytes.size() - CHECKSUM_BYTES;
    const Bytes32 digest = sha256d(std::span(bytes).first(payload_bytes));
    if (!std::equal(digest.begin(), digest.begin() + CHECKSUM_BYTES,
                    bytes.begin() + static_cast<std::ptrdiff_t>(payload_bytes))) {
        return oxa_core::Err{std::string("checksum mismatch")};
    }
    bytes.resize(payload_bytes);
    return std::move(bytes);
}

}  // namespace oxa_signer
