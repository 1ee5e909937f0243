#include "hd.hpp"

#include <secp256k1.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "hashes.hpp"
#include "oxa_core/internal_abort.hpp"
#include "secp256k1_context.hpp"

namespace oxa_signer {
namespace {

using oxa_core::Err;

constexpr std::size_t KEY_BYTES = 32;
constexpr std::size_t COMPRESSED_PUBKEY_BYTES = 33;
constexpr std::string_view SECP256K1_MASTER_KEY = "Bitcoin seed";
constexpr std::string_view ED25519_MASTER_KEY = "ed25519 seed";

// One parsed component: its number (below 2^31), how many hardened marks it
// carried, and the text as written for error messages.
struct PathComponent {
    std::uint32_t number;
    std::size_t marks;
    std::string_view text;
};
using Path = std::vector<PathComponent>;

// Key and chain code side by side, as HMAC-SHA512 produces them.
struct ExtendedKey {
    SecretArray<64> halves;
    std::uint8_t* key() noexcept { return halves.data(); }
    std::uint8_t* chain_code() noexcept { return halves.data() + KEY_BYTES; }
    std::span<const std::uint8_t> chain_code_view() noexcept { return {chain_code(), KEY_BYTES}; }
};

HdError invalid_path(std::string text) {
    return HdError{HdError::Kind::InvalidPath, std::move(text)};
}
HdError derivation_failed(std::string text) {
    return HdError{HdError::Kind::DerivationFailed, std::move(text)};
}

HdError invalid_index(std::string_view component, std::string_view path) {
    return invalid_path("invalid index '" + std::string(component) + "' in path '" +
                        std::string(path) + "'");
}

// An optional '+' and decimal digits, below 2^31: a larger number would
// collide with the hardened range once the hardened bit is added.
bool parse_number(std::string_view digits, std::uint32_t& number) noexcept {
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty()) return false;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value >= HARDENED_BIT) return false;
    }
    number = static_cast<std::uint32_t>(value);
    return true;
}

oxa_core::Result<Path, HdError> parse_path(std::string_view path) {
    if (path == "m") return Path{};
    if (path.size() < 2 || path.substr(0, 2) != "m/") {
        return Err{invalid_path("path must start with 'm/', got '" + std::string(path) + "'")};
    }
    Path out;
    std::string_view rest = path.substr(2);
    while (true) {
        const std::size_t slash = rest.find('/');
        const std::string_view text = rest.substr(0, slash);
        const std::size_t unmarked = text.find_last_not_of('\'');
        if (unmarked == std::string_view::npos) {
            return Err{invalid_path("empty component in path '" + std::string(path) + "'")};
        }
        PathComponent component{0, text.size() - unmarked - 1, text};
        if (!parse_number(text.substr(0, unmarked + 1), component.number)) {
            return Err{invalid_index(text, path)};
        }
        out.push_back(component);
        if (slash == std::string_view::npos) return out;
        rest.remove_prefix(slash + 1);
    }
}

// Refuses what a curve cannot derive before any key material exists.
oxa_core::Status<HdError> check_for_curve(const Path& path, Curve curve) {
    for (const PathComponent& component : path) {
        switch (curve) {
            case Curve::Secp256k1:
                if (component.marks > 1) {
                    return Err{invalid_path("Malformatted index during derivation: " +
                                            std::string(component.text))};
                }
                break;
            case Curve::Ed25519:
                if (component.marks == 0) return Err{HdError{HdError::Kind::HardenedOnly, {}}};
                break;
        }
    }
    return oxa_core::OK;
}

void put_index_be(std::uint8_t* out, std::uint32_t index) noexcept {
    out[0] = static_cast<std::uint8_t>(index >> 24);
    out[1] = static_cast<std::uint8_t>(index >> 16);
    out[2] = static_cast<std::uint8_t>(index >> 8);
    out[3] = static_cast<std::uint8_t>(index);
}

ByteView text_bytes(std::string_view text) noexcept {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

SecretBytes key_of(const ExtendedKey& node) {
    return SecretBytes::from_slice(node.halves.bytes().first<KEY_BYTES>());
}

void serialize_public_key(const secp256k1_context* ctx, const std::uint8_t* secret,
                          std::uint8_t* out) {
    secp256k1_pubkey point;
    std::size_t len = COMPRESSED_PUBKEY_BYTES;
    // The secret is a valid scalar by construction, so neither call can fail.
    if (secp256k1_ec_pubkey_create(ctx, &point, secret) != 1 ||
        secp256k1_ec_pubkey_serialize(ctx, out, &len, &point, SECP256K1_EC_COMPRESSED) != 1) {
        throw oxa_core::InternalAbort("secp256k1 public key derivation should not fail");
    }
    wipe(&point, sizeof point);
}

oxa_core::Status<HdError> bip32_child(const secp256k1_context* ctx, ExtendedKey& node,
                                      const PathComponent& component) {
    const bool hardened = component.marks == 1;
    const std::uint32_t index = hardened ? (component.number | HARDENED_BIT) : component.number;
    SecretArray<COMPRESSED_PUBKEY_BYTES + 4> data;
    if (hardened) {
        std::copy_n(node.key(), KEY_BYTES, data.data() + 1);
    } else {
        serialize_public_key(ctx, node.key(), data.data());
    }
    put_index_be(data.data() + COMPRESSED_PUBKEY_BYTES, index);

    SecretArray<64> mac;
    hmac_sha512(node.chain_code_view(), data.bytes(), mac.mutable_bytes());
    // Left half must be a scalar below n and the sum nonzero; BIP-32 calls
    // such an index invalid (odds about 2^-127).
    if (secp256k1_ec_seckey_verify(ctx, mac.data()) != 1 ||
        secp256k1_ec_seckey_tweak_add(ctx, node.key(), mac.data()) != 1) {
        return Err{derivation_failed("invalid child key at index " + std::to_string(index))};
    }
    std::copy_n(mac.data() + KEY_BYTES, KEY_BYTES, node.chain_code());
    return oxa_core::OK;
}

oxa_core::Result<SecretBytes, HdError> derive_secp256k1(ByteView seed, const Path& path) {
    const secp256k1_context* ctx = shared_secp256k1_context();
    ExtendedKey node;
    hmac_sha512(text_bytes(SECP256K1_MASTER_KEY), seed, node.halves.mutable_bytes());
    if (secp256k1_ec_seckey_verify(ctx, node.key()) != 1) {
        return Err{derivation_failed("master key of this seed is not a valid secp256k1 key")};
    }
    for (const PathComponent& component : path) {
        auto child = bip32_child(ctx, node, component);
        if (!child) return Err{std::move(child).error()};
    }
    return key_of(node);
}

SecretBytes derive_ed25519(ByteView seed, const Path& path) {
    ExtendedKey node;
    hmac_sha512(text_bytes(ED25519_MASTER_KEY), seed, node.halves.mutable_bytes());
    SecretArray<1 + KEY_BYTES + 4> data;
    for (const PathComponent& component : path) {
        std::copy_n(node.key(), KEY_BYTES, data.data() + 1);
        put_index_be(data.data() + 1 + KEY_BYTES, component.number | HARDENED_BIT);
        SecretArray<64> mac;
        hmac_sha512(node.chain_code_view(), data.bytes(), mac.mutable_bytes());
        std::ranges::copy(mac.bytes(), node.halves.data());
    }
    return key_of(node);
}

oxa_core::Result<Path, HdError> parse_for_curve(std::string_view path, Curve curve) {
    auto parsed = parse_path(path);
    if (!parsed) return parsed;
    auto usable = check_for_curve(parsed.value(), curve);
    if (!usable) return Err{std::move(usable).error()};
    return parsed;
}

oxa_core::Result<SecretBytes, HdError> derive_along(ByteView seed, const Path& path, Curve curve) {
    switch (curve) {
        case Curve::Secp256k1: return derive_secp256k1(seed, path);
        case Curve::Ed25519: return derive_ed25519(seed, path);
    }
    return Err{derivation_failed("unknown curve")};
}

}  // namespace

std::string HdError::display() const {
    switch (kind) {
        case Kind::InvalidPath: return "invalid derivation path: " + text;
        case Kind::DerivationFailed: return "derivation failed: " + text;
        case Kind::HardenedOnly: return "ed25519 requires hardened-only derivation";
    }
    return text;
}

oxa_core::Status<HdError> HdDeriver::validate_path(std::string_view path) {
    auto parsed = parse_path(path);
    if (!parsed) return Err{std::move(parsed).error()};
    return oxa_core::OK;
}

oxa_core::Result<SecretBytes, HdError> HdDeriver::derive(std::span<const std::uint8_t> seed,
                                                         std::string_view path, Curve curve) {
    auto parsed = parse_for_curve(path, curve);
    if (!parsed) return Err{std::move(parsed).error()};
    return derive_along(seed, parsed.value(), curve);
}

oxa_core::Result<SecretBytes, HdError> HdDeriver::derive_from_mnemonic(const Mnemonic& mnemonic,
                                                                       std::string_view passphrase,
                                                                       std::string_view path,
                                                                       Curve curve) {
    // The path is checked first so a bad one costs no PBKDF2 run.
    auto parsed = parse_for_curve(path, curve);
    if (!parsed) return Err{std::move(parsed).error()};
    const SecretBytes seed = mnemonic.to_seed(passphrase);
    return derive_along(seed.bytes(), parsed.value(), curve);
}

}  // namespace oxa_signer
