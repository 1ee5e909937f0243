#include "solana_keypair_file.hpp"

#include <sodium.h>

#include "oxa_core/json_reader.hpp"
#include "oxa_signer/ed25519_signing.hpp"

namespace oxa_lib {

namespace {

constexpr std::size_t SEED_BYTES = oxa_signer::ED25519_SEED_BYTES;
constexpr std::size_t KEYPAIR_BYTES = 2 * SEED_BYTES;
// "[", then per byte up to three digits and a separator ("," or "]").
constexpr std::size_t MAX_TEXT_BYTES = 1 + KEYPAIR_BYTES * 4;

OxaLibError invalid(std::string text) {
    return OxaLibError::invalid_input("invalid keypair: " + text);
}

// The reader quotes the value it refuses, and every value of a keypair file
// is part of a secret: the reader's errors keep only their place.
oxa_core::JsonError without_value(oxa_core::JsonError error) {
    error.message =
        "expected a JSON array of " + std::to_string(KEYPAIR_BYTES) + " numbers from 0 to 255";
    return error;
}

/// The 64 numbers into `out`; reading stops at the first that does not fit.
oxa_core::Status<oxa_core::JsonError> read_bytes(std::string_view text,
                                                 oxa_signer::SecretBytes& out) {
    oxa_core::JsonReader reader(text);
    std::size_t count = 0;
    bool own_error = false;
    auto read = reader.read_seq([&]() -> oxa_core::Status<oxa_core::JsonError> {
        own_error = true;
        if (count == KEYPAIR_BYTES) {
            return Err{
                oxa_core::JsonError{"more than " + std::to_string(KEYPAIR_BYTES) + " numbers"}};
        }
        auto number = reader.read_u32();
        if (!number) return Err{without_value(std::move(number).error())};
        if (number.value() > 0xff) {
            return Err{oxa_core::JsonError{"a number is not a byte (0 to 255)"}};
        }
        out.mutable_bytes()[count++] = static_cast<std::uint8_t>(number.value());
        own_error = false;
        return oxa_core::OK;
    });
    if (!read) return Err{own_error ? std::move(read).error() : without_value(read.error())};
    if (count != KEYPAIR_BYTES) {
        return Err{oxa_core::JsonError{std::to_string(count) + " numbers, expected " +
                                       std::to_string(KEYPAIR_BYTES)}};
    }
    if (auto end = reader.finish(); !end) return Err{without_value(end.error())};
    return oxa_core::OK;
}

}  // namespace

LibResult<oxa_signer::SecretBytes> read_solana_keypair(std::string_view text) {
    oxa_signer::SecretBytes keypair = oxa_signer::SecretBytes::zeroed(KEYPAIR_BYTES);
    if (auto read = read_bytes(text, keypair); !read) return Err{invalid(read.error().display())};
    const auto seed = keypair.bytes().first(SEED_BYTES);
    auto public_key = oxa_signer::ed25519_public_key(seed);
    if (!public_key) return Err{OxaLibError(public_key.error())};
    if (sodium_memcmp(public_key.value().data(), keypair.bytes().subspan(SEED_BYTES).data(),
                      SEED_BYTES) != 0) {
        return Err{invalid("the public key is not the secret key's")};
    }
    return oxa_signer::SecretBytes::from_slice(seed);
}

LibResult<oxa_signer::SecretBytes> write_solana_keypair(std::span<const std::uint8_t> seed) {
    auto public_key = oxa_signer::ed25519_public_key(seed);
    if (!public_key) return Err{OxaLibError(public_key.error())};
    oxa_signer::SecretBytes text = oxa_signer::SecretBytes::with_capacity(MAX_TEXT_BYTES);
    const auto append_number = [&](std::uint8_t value) {
        oxa_signer::SecretArray<3> digits;
        std::size_t length = 0;
        if (value >= 100) digits.data()[length++] = static_cast<std::uint8_t>('0' + value / 100);
        if (value >= 10) digits.data()[length++] = static_cast<std::uint8_t>('0' + value / 10 % 10);
        digits.data()[length++] = static_cast<std::uint8_t>('0' + value % 10);
        text.append(digits.bytes().first(length));
    };
    text.append(std::string_view("["));
    for (std::size_t i = 0; i < KEYPAIR_BYTES; ++i) {
        if (i != 0) text.append(std::string_view(","));
        append_number(i < SEED_BYTES ? seed[i] : public_key.value()[i - SEED_BYTES]);
    }
    text.append(std::string_view("]"));
    return text;
}

}  // namespace oxa_lib
