#include "integer_word.hpp"

#include <algorithm>
#include <bit>

namespace oxa_signer::eip712 {

using oxa_core::Err;

namespace {

int digit_value(char c, unsigned base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') value = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value;
}

// The number of significant bits of a big-endian magnitude.
unsigned bit_length(const Bytes32& magnitude) {
    const auto first = std::find_if(magnitude.begin(), magnitude.end(),
                                    [](std::uint8_t byte) { return byte != 0; });
    if (first == magnitude.end()) return 0;
    const auto bytes_after = static_cast<unsigned>(magnitude.end() - first - 1);
    return bytes_after * 8 + static_cast<unsigned>(std::bit_width(*first));
}

bool is_power_of_two(const Bytes32& magnitude) {
    unsigned ones = 0;
    for (std::uint8_t byte : magnitude) ones += static_cast<unsigned>(std::popcount(byte));
    return ones == 1;
}

bool fits(const Bytes32& magnitude, bool negative, unsigned bits, bool is_signed) {
    const unsigned length = bit_length(magnitude);
    if (!is_signed) return length <= bits && (!negative || length == 0);
    if (length < bits) return true;
    // The one value of full width a signed type holds is its minimum, -2^(bits-1).
    return negative && length == bits && is_power_of_two(magnitude);
}

void negate(Bytes32& word) {
    unsigned carry = 1;
    for (auto byte = word.rbegin(); byte != word.rend(); ++byte) {
        const unsigned sum = static_cast<std::uint8_t>(~*byte) + carry;
        *byte = static_cast<std::uint8_t>(sum);
        carry = sum >> 8;
    }
}

}  // namespace

oxa_core::Result<Bytes32, IntegerError> integer_word(std::string_view text, unsigned bits,
                                                     bool is_signed) {
    unsigned base = 10;
    bool negative = false;
    if (text.starts_with("0x")) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.starts_with('-')) {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty()) return Err{IntegerError::NotAnInteger};
    Bytes32 magnitude{};
    bool overflow = false;
    for (char c : text) {
        const int digit = digit_value(c, base);
        if (digit < 0) return Err{IntegerError::NotAnInteger};
        // magnitude = magnitude * base + digit, watching the carry out of 256 bits.
        unsigned carry = static_cast<unsigned>(digit);
        for (auto byte = magnitude.rbegin(); byte != magnitude.rend(); ++byte) {
            const unsigned product = *byte * base + carry;
            *byte = static_cast<std::uint8_t>(product);
            carry = product >> 8;
        }
        overflow = overflow || carry != 0;
    }
    if (overflow || !fits(magnitude, negative, bits, is_signed)) {
        return Err{IntegerError::OutOfRange};
    }
    if (negative) negate(magnitude);
    return magnitude;
}

}  // namespace oxa_signer::eip712
