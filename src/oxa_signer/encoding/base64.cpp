#include "base64.hpp"

#include <sodium.h>

namespace oxa_signer {
namespace {

std::string encode(std::span<const std::uint8_t> bytes, int variant) {
    // the encoded length counts sodium's terminating NUL, which lands on the
    // string's own terminator
    const std::size_t encoded_len = sodium_base64_encoded_len(bytes.size(), variant);
    std::string out(encoded_len - 1, '\0');
    sodium_bin2base64(out.data(), encoded_len, bytes.data(), bytes.size(), variant);
    return out;
}

}  // namespace

std::string base64_encode(std::span<const std::uint8_t> bytes) {
    return encode(bytes, sodium_base64_VARIANT_ORIGINAL);
}

std::string base64url_encode_unpadded(std::span<const std::uint8_t> bytes) {
    return encode(bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
}

std::optional<std::vector<std::uint8_t>> base64_decode(std::string_view text) {
    if (text.empty()) return std::vector<std::uint8_t>{};
    std::vector<std::uint8_t> out(text.size() / 4 * 3 + 1);
    std::size_t decoded = 0;
    if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &decoded,
                          nullptr, sodium_base64_VARIANT_ORIGINAL) != 0) {
        return std::nullopt;
    }
    out.resize(decoded);
    // libsodium 1.0.18 takes bytes above 0x7F for digits; only the one text
    // that encodes the bytes back is Base64.
    if (base64_encode(out) != text) return std::nullopt;
    return out;
}

}  // namespace oxa_signer
