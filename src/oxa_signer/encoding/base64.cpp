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

}  // namespace oxa_signer
