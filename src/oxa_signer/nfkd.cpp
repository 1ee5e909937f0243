#include "nfkd.hpp"

#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <climits>

#include "oxa_core/internal_abort.hpp"

namespace oxa_signer {

namespace {

// Unicode bounds the growth of NFKD at 18 times, counted in UTF-16 units: an
// output buffer that large is never outgrown, so ICU never moves the text
// into memory of its own.
constexpr std::size_t NFKD_MAX_GROWTH = 18;
constexpr const char* NOT_UTF8 = "text is not valid UTF-8";

UChar* units(SecretBytes& buffer) {
    return reinterpret_cast<UChar*>(buffer.mutable_bytes().data());
}

bool is_ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

oxa_core::Result<SecretBytes, std::string> nfkd(std::string_view text) {
    // ASCII is its own NFKD, and most passphrases are ASCII.
    if (is_ascii(text)) return SecretBytes::from_slice(text);
    if (text.size() > INT_MAX / (2 * NFKD_MAX_GROWTH)) {
        return oxa_core::Err{std::string("text is too long to normalize")};
    }
    const auto length = static_cast<int32_t>(text.size());

    // UTF-8 never takes fewer units in UTF-16 than bytes in UTF-8.
    SecretBytes utf16 = SecretBytes::zeroed(text.size() * sizeof(UChar));
    UErrorCode status = U_ZERO_ERROR;
    int32_t utf16_units = 0;
    u_strFromUTF8(units(utf16), length, &utf16_units, text.data(), length, &status);
    if (U_FAILURE(status)) return oxa_core::Err{std::string(NOT_UTF8)};

    const UNormalizer2* normalizer = unorm2_getNFKDInstance(&status);
    if (U_FAILURE(status)) throw oxa_core::InternalAbort("ICU has no NFKD data");
    const auto capacity = static_cast<int32_t>(utf16_units * NFKD_MAX_GROWTH);
    SecretBytes normalized =
        SecretBytes::zeroed(static_cast<std::size_t>(capacity) * sizeof(UChar));
    const int32_t normalized_units = unorm2_normalize(normalizer, units(utf16), utf16_units,
                                                      units(normalized), capacity, &status);
    if (U_FAILURE(status)) throw oxa_core::InternalAbort("NFKD outgrew its bound");

    // Each UTF-16 unit takes at most 3 bytes of UTF-8.
    SecretBytes out = SecretBytes::zeroed(static_cast<std::size_t>(normalized_units) * 3);
    int32_t out_bytes = 0;
    u_strToUTF8(reinterpret_cast<char*>(out.mutable_bytes().data()),
                static_cast<int32_t>(out.size()), &out_bytes, units(normalized), normalized_units,
                &status);
    if (U_FAILURE(status)) throw oxa_core::InternalAbort("UTF-16 from ICU did not convert back");
    out.truncate(static_cast<std::size_t>(out_bytes));
    return out;
}

}  // namespace oxa_signer
