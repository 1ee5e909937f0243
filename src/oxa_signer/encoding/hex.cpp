#include "hex.hpp"

#include <sodium.h>

#include "oxa_core/utf8.hpp"
#include "oxa_signer/zeroizing.hpp"

namespace oxa_signer {
namespace {

constexpr std::string_view REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";  // U+FFFD

// Value of one hex digit, or -1. Branch-free on the character, because the
// text may be a private key.
int digit_value(unsigned char c) noexcept {
    const unsigned decimal = c ^ 0x30u;  // '0'..'9' -> 0..9
    const unsigned decimal_mask = ((decimal - 10u) >> 8) & 0xFFu;
    const unsigned letter = (c & ~0x20u) - 55u;  // 'A'..'F', 'a'..'f' -> 10..15
    const unsigned letter_mask = (((letter - 10u) ^ (letter - 16u)) >> 8) & 0xFFu;
    const unsigned valid_mask = decimal_mask | letter_mask;
    const unsigned value = (decimal & decimal_mask) | (letter & letter_mask);
    return static_cast<int>(value & valid_mask) - static_cast<int>(~valid_mask & 1u);
}

// Length of the UTF-8 character starting at `pos`, or 0 if the bytes there
// are not a well-formed one.
std::size_t utf8_character_length(std::string_view text, std::size_t pos) noexcept {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const std::size_t claimed = lead < 0xE0 ? (lead < 0x80 ? 1 : 2) : (lead < 0xF0 ? 3 : 4);
    const std::string_view candidate = text.substr(pos, claimed);
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(candidate.data()),
                          candidate.size());
    return oxa_core::utf8_valid_prefix(bytes) == claimed ? claimed : 0;
}

// The offending character as the user typed it; bytes that are not UTF-8
// become U+FFFD so the message itself stays valid text.
std::string invalid_character_error(std::string_view text, std::size_t pos) {
    const std::size_t len = utf8_character_length(text, pos);
    const std::string_view shown = len == 0 ? REPLACEMENT_CHARACTER : text.substr(pos, len);
    return "Invalid character '" + std::string(shown) + "' at position " + std::to_string(pos);
}

}  // namespace

std::string hex_encode(std::span<const std::uint8_t> bytes) {
    std::string out(2 * bytes.size(), '\0');
    // sodium writes a terminating NUL, which lands on the string's own terminator.
    sodium_bin2hex(out.data(), out.size() + 1, bytes.data(), bytes.size());
    return out;
}

oxa_core::Result<std::vector<std::uint8_t>, std::string> hex_decode(std::string_view text) {
    if (text.size() % 2 != 0) return oxa_core::Err{"Odd number of digits"};
    std::vector<std::uint8_t> out(text.size() / 2);
    auto status = hex_decode_into(text, out);
    if (!status) return oxa_core::Err{std::move(status).error()};
    return out;
}

oxa_core::Status<std::string> hex_decode_into(std::string_view text, std::span<std::uint8_t> out) {
    if (text.size() % 2 != 0) return oxa_core::Err{"Odd number of digits"};
    if (out.size() != text.size() / 2) {
        return oxa_core::Err{"output holds " + std::to_string(out.size()) + " bytes, " +
                             std::to_string(text.size() / 2) + " needed"};
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int high = digit_value(static_cast<unsigned char>(text[2 * i]));
        const int low = digit_value(static_cast<unsigned char>(text[2 * i + 1]));
        if (high < 0 || low < 0) {
            // no half-decoded secret is left behind
            wipe(out.data(), out.size());
            return oxa_core::Err{invalid_character_error(text, high < 0 ? 2 * i : 2 * i + 1)};
        }
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return oxa_core::OK;
}

}  // namespace oxa_signer
