#include "bech32.hpp"

#include <optional>

namespace oxa_signer {
namespace {

using oxa_core::Err;

constexpr std::string_view CHARSET = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";
constexpr char SEPARATOR = '1';
constexpr std::size_t CHECKSUM_CHARS = 6;
// Past 1023 characters the checksum no longer guarantees to catch errors.
constexpr std::size_t MAX_ENCODED_CHARS = 1023;
constexpr std::size_t MAX_STRING_CHARS = 90;
constexpr std::uint32_t BECH32_CONSTANT = 1;
constexpr std::uint32_t BECH32M_CONSTANT = 0x2bc830a3;
constexpr int MAX_WITNESS_VERSION = 16;
constexpr std::size_t MIN_PROGRAM_BYTES = 2;
constexpr std::size_t MAX_PROGRAM_BYTES = 40;
constexpr std::size_t V0_KEY_HASH_BYTES = 20;
constexpr std::size_t V0_SCRIPT_HASH_BYTES = 32;

bool is_lower(char c) noexcept { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) noexcept { return c >= 'A' && c <= 'Z'; }
bool is_printable_ascii(char c) noexcept {
    const auto u = static_cast<unsigned char>(c);
    return u >= 33 && u <= 126;
}

char to_lower(char c) noexcept { return is_upper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

std::string to_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = to_lower(c);
    return out;
}

bool has_mixed_case(std::string_view text) noexcept {
    bool lower = false;
    bool upper = false;
    for (char c : text) {
        lower = lower || is_lower(c);
        upper = upper || is_upper(c);
    }
    return lower && upper;
}

std::uint32_t checksum_constant(Bech32Variant variant) noexcept {
    return variant == Bech32Variant::Bech32 ? BECH32_CONSTANT : BECH32M_CONSTANT;
}

// The BCH code's remainder, fed one 5-bit value at a time.
class Polymod {
public:
    void feed(std::uint8_t value) noexcept {
        static constexpr std::uint32_t GENERATORS[5] = {0x3b6a57b2, 0x26508e6d, 0x1ea119fa,
                                                        0x3d4233dd, 0x2a1462b3};
        const std::uint32_t top = m_chk >> 25;
        m_chk = (m_chk & 0x1ffffff) << 5 ^ value;
        for (int i = 0; i < 5; ++i) {
            if ((top >> i) & 1) m_chk ^= GENERATORS[i];
        }
    }
    // The hrp counts twice: its high bits, a zero, then its low bits.
    void feed_hrp(std::string_view lower_hrp) noexcept {
        for (char c : lower_hrp) {
            feed(static_cast<std::uint8_t>(static_cast<unsigned char>(c) >> 5));
        }
        feed(0);
        for (char c : lower_hrp) feed(static_cast<std::uint8_t>(c & 31));
    }
    std::uint32_t value() const noexcept { return m_chk; }

private:
    std::uint32_t m_chk = 1;
};

std::optional<std::string> hrp_error(std::string_view hrp) {
    if (hrp.empty()) return "empty human-readable part";
    for (std::size_t i = 0; i < hrp.size(); ++i) {
        if (!is_printable_ascii(hrp[i])) {
            return "invalid human-readable part character at position " + std::to_string(i);
        }
    }
    if (has_mixed_case(hrp)) return "mixed-case human-readable part";
    return std::nullopt;
}

std::optional<std::string> program_length_error(int witness_version, std::size_t length) {
    const std::string got = "witness program of " + std::to_string(length) + " bytes";
    if (witness_version == 0) {
        if (length == V0_KEY_HASH_BYTES || length == V0_SCRIPT_HASH_BYTES) return std::nullopt;
        return got + ", version 0 takes 20 or 32";
    }
    if (length >= MIN_PROGRAM_BYTES && length <= MAX_PROGRAM_BYTES) return std::nullopt;
    return got + ", it takes 2 to 40";
}

Bech32Variant variant_for(int witness_version) noexcept {
    return witness_version == 0 ? Bech32Variant::Bech32 : Bech32Variant::Bech32m;
}

std::string variant_name(Bech32Variant variant) {
    return variant == Bech32Variant::Bech32 ? "Bech32" : "Bech32m";
}

}  // namespace

oxa_core::Result<std::string, std::string> bech32_encode(std::string_view hrp,
                                                         std::span<const std::uint8_t> data5,
                                                         Bech32Variant variant) {
    if (auto error = hrp_error(hrp)) return Err{std::move(*error)};
    for (std::size_t i = 0; i < data5.size(); ++i) {
        if (data5[i] >= CHARSET.size()) {
            return Err{"data value " + std::to_string(data5[i]) + " at position " +
                       std::to_string(i) + " does not fit in 5 bits"};
        }
    }
    const std::size_t length = hrp.size() + 1 + data5.size() + CHECKSUM_CHARS;
    if (length > MAX_ENCODED_CHARS) {
        return Err{"encoded string would be " + std::to_string(length) +
                   " characters, the limit is 1023"};
    }

    std::string out = to_lower(hrp);
    Polymod polymod;
    polymod.feed_hrp(out);
    out.reserve(length);
    out += SEPARATOR;
    for (std::uint8_t value : data5) {
        polymod.feed(value);
        out += CHARSET[value];
    }
    for (std::size_t i = 0; i < CHECKSUM_CHARS; ++i) polymod.feed(0);
    const std::uint32_t checksum = polymod.value() ^ checksum_constant(variant);
    for (std::size_t i = 0; i < CHECKSUM_CHARS; ++i) {
        out += CHARSET[(checksum >> (5 * (CHECKSUM_CHARS - 1 - i))) & 31];
    }
    return out;
}

oxa_core::Result<Bech32Decoded, std::string> bech32_decode(std::string_view text) {
    if (text.size() > MAX_STRING_CHARS) {
        return Err{"string is " + std::to_string(text.size()) + " characters, the limit is 90"};
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!is_printable_ascii(text[i])) {
            return Err{"invalid character at position " + std::to_string(i)};
        }
    }
    if (has_mixed_case(text)) return Err{"mixed case"};
    const std::size_t separator = text.rfind(SEPARATOR);
    if (separator == std::string_view::npos) return Err{"missing separator '1'"};
    if (separator == 0) return Err{"empty human-readable part"};
    if (text.size() - separator - 1 < CHECKSUM_CHARS) {
        return Err{"checksum shorter than 6 characters"};
    }

    Bech32Decoded decoded{to_lower(text.substr(0, separator)), {}, Bech32Variant::Bech32};
    Polymod polymod;
    polymod.feed_hrp(decoded.hrp);
    const std::size_t checksum_start = text.size() - CHECKSUM_CHARS;
    decoded.data5.reserve(checksum_start - separator - 1);
    for (std::size_t i = separator + 1; i < text.size(); ++i) {
        const std::size_t value = CHARSET.find(to_lower(text[i]));
        if (value == std::string_view::npos) {
            return Err{"invalid data character '" + std::string(1, text[i]) + "' at position " +
                       std::to_string(i)};
        }
        polymod.feed(static_cast<std::uint8_t>(value));
        if (i < checksum_start) decoded.data5.push_back(static_cast<std::uint8_t>(value));
    }

    if (polymod.value() == BECH32M_CONSTANT) {
        decoded.variant = Bech32Variant::Bech32m;
    } else if (polymod.value() != BECH32_CONSTANT) {
        return Err{"invalid checksum"};
    }
    return decoded;
}

oxa_core::Result<std::vector<std::uint8_t>, std::string> convert_bits(
    std::span<const std::uint8_t> data, int from_bits, int to_bits, bool pad) {
    if (from_bits < 1 || from_bits > 8 || to_bits < 1 || to_bits > 8) {
        return Err{"bit group sizes must be 1 to 8"};
    }
    const std::uint32_t max_value = (1u << to_bits) - 1;
    const std::uint32_t max_acc = (1u << (from_bits + to_bits - 1)) - 1;
    std::uint32_t acc = 0;
    int bits = 0;
    std::vector<std::uint8_t> out;
    out.reserve((data.size() * static_cast<std::size_t>(from_bits)) /
                    static_cast<std::size_t>(to_bits) +
                1);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] >> from_bits) {
            return Err{"value " + std::to_string(data[i]) + " at position " + std::to_string(i) +
                       " does not fit in " + std::to_string(from_bits) + " bits"};
        }
        acc = ((acc << from_bits) | data[i]) & max_acc;
        bits += from_bits;
        while (bits >= to_bits) {
            bits -= to_bits;
            out.push_back(static_cast<std::uint8_t>((acc >> bits) & max_value));
        }
    }
    if (pad) {
        if (bits > 0) {
            out.push_back(static_cast<std::uint8_t>((acc << (to_bits - bits)) & max_value));
        }
    } else if (bits >= from_bits) {
        return Err{"padding of a whole group or more"};
    } else if ((acc << (to_bits - bits)) & max_value) {
        return Err{"non-zero padding"};
    }
    return out;
}

oxa_core::Result<std::string, std::string> segwit_address_encode(
    std::string_view hrp, int witness_version, std::span<const std::uint8_t> program) {
    if (witness_version < 0 || witness_version > MAX_WITNESS_VERSION) {
        return Err{"invalid witness version " + std::to_string(witness_version)};
    }
    if (auto error = program_length_error(witness_version, program.size())) {
        return Err{std::move(*error)};
    }

    auto program5 = convert_bits(program, 8, 5, true);
    if (!program5) return Err{std::move(program5).error()};
    std::vector<std::uint8_t> data5;
    data5.reserve(1 + program5.value().size());
    data5.push_back(static_cast<std::uint8_t>(witness_version));
    data5.insert(data5.end(), program5.value().begin(), program5.value().end());

    auto address = bech32_encode(hrp, data5, variant_for(witness_version));
    if (address && address.value().size() > MAX_STRING_CHARS) {
        return Err{"address would be " + std::to_string(address.value().size()) +
                   " characters, the limit is 90"};
    }
    return address;
}

oxa_core::Result<SegwitProgram, std::string> segwit_address_decode(std::string_view hrp,
                                                                   std::string_view address) {
    auto decoded = bech32_decode(address);
    if (!decoded) return Err{std::move(decoded).error()};
    const Bech32Decoded& parts = decoded.value();
    if (parts.hrp != to_lower(hrp)) {
        return Err{"human-readable part '" + parts.hrp + "', expected '" + to_lower(hrp) + "'"};
    }
    if (parts.data5.empty()) return Err{"empty data section"};

    const int witness_version = parts.data5[0];
    if (witness_version > MAX_WITNESS_VERSION) {
        return Err{"invalid witness version " + std::to_string(witness_version)};
    }
    const Bech32Variant expected = variant_for(witness_version);
    if (parts.variant != expected) {
        return Err{"witness version " + std::to_string(witness_version) + " needs a " +
                   variant_name(expected) + " checksum"};
    }
    auto program = convert_bits(std::span(parts.data5).subspan(1), 5, 8, false);
    if (!program) return Err{std::move(program).error()};
    if (auto error = program_length_error(witness_version, program.value().size())) {
        return Err{std::move(*error)};
    }
    return SegwitProgram{witness_version, std::move(program).value()};
}

}  // namespace oxa_signer
