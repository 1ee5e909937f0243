#pragma once
// Bech32 (BIP-173) and Bech32m (BIP-350), and SegWit addresses.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "oxa_core/result.hpp"

namespace oxa_signer {

enum class Bech32Variant { Bech32, Bech32m };

/// Encodes 5-bit groups under a human-readable part, in lowercase. Fails with
/// a message for an invalid hrp (empty, characters outside 33..126, mixed
/// case) or a result of 1024 characters or more.
oxa_core::Result<std::string, std::string> bech32_encode(std::string_view hrp,
                                                         std::span<const std::uint8_t> data5,
                                                         Bech32Variant variant);

struct Bech32Decoded {
    std::string hrp;
    std::vector<std::uint8_t> data5;  // without the checksum
    Bech32Variant variant;
};
/// Decodes a string of at most 90 characters, either case but not mixed; the
/// hrp comes back in lowercase, the variant is the one whose checksum matches.
oxa_core::Result<Bech32Decoded, std::string> bech32_decode(std::string_view text);

/// Regroups bits (8 -> 5 with padding, or 5 -> 8 without). Fails on group
/// sizes outside 1..8, on a value wider than `from_bits`, and, when `pad` is
/// false, on a whole leftover group or non-zero leftover bits.
oxa_core::Result<std::vector<std::uint8_t>, std::string> convert_bits(
    std::span<const std::uint8_t> data, int from_bits, int to_bits, bool pad);

/// SegWit address: version 0 uses Bech32, versions 1..16 Bech32m. Fails for a
/// version outside 0..16, a program of other than 2..40 bytes (20 or 32 for version
/// 0), or an address longer than 90 characters.
oxa_core::Result<std::string, std::string> segwit_address_encode(
    std::string_view hrp, int witness_version, std::span<const std::uint8_t> program);

struct SegwitProgram {
    int witness_version;
    std::vector<std::uint8_t> program;
};
/// The inverse of segwit_address_encode under the expected hrp (either case);
/// fails on any rule of the two BIPs, including the checksum variant.
oxa_core::Result<SegwitProgram, std::string> segwit_address_decode(std::string_view hrp,
                                                                   std::string_view address);

}  // namespace oxa_signer
