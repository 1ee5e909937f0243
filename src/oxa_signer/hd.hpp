#pragma once
// Hierarchical deterministic keys: BIP-32 on secp256k1, SLIP-10 on Ed25519.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "mnemonic.hpp"
#include "oxa_core/result.hpp"
#include "zeroizing.hpp"

namespace oxa_signer {

enum class Curve : std::uint8_t { Secp256k1 = 0, Ed25519 = 1 };

/// "secp256k1" or "ed25519".
constexpr std::string_view curve_name(Curve curve) noexcept {
    switch (curve) {
        case Curve::Secp256k1: return "secp256k1";
        case Curve::Ed25519: return "ed25519";
    }
    return "";
}

struct HdError {
    enum class Kind { InvalidPath, DerivationFailed, HardenedOnly };
    Kind kind;
    std::string text;  // empty for HardenedOnly

    /// "invalid derivation path: " + text, "derivation failed: " + text, or
    /// "ed25519 requires hardened-only derivation".
    std::string display() const;
};

inline constexpr std::uint32_t HARDENED_BIT = 0x80000000u;

/// Stateless: three plain functions.
struct HdDeriver {
    /// "m", or "m/" followed by components of an unsigned decimal number
    /// (optional leading '+') with any number of trailing apostrophes.
    static oxa_core::Status<HdError> validate_path(std::string_view path);

    /// The 32-byte private key at `path`, in pinned memory. Components of
    /// 2^31 or more are refused as invalid indices instead of wrapping.
    static oxa_core::Result<SecretBytes, HdError> derive(std::span<const std::uint8_t> seed,
                                                         std::string_view path, Curve curve);

    /// derive() from the BIP-39 seed of `mnemonic` with `passphrase`; the seed
    /// is wiped before returning.
    static oxa_core::Result<SecretBytes, HdError> derive_from_mnemonic(const Mnemonic& mnemonic,
                                                                       std::string_view passphrase,
                                                                       std::string_view path,
                                                                       Curve curve);
};

}  // namespace oxa_signer
