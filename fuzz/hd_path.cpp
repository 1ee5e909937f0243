// Derivation path validation and derivation along any path on both curves:
// a refused path is refused by derivation with the same text, an accepted
// derivation yields a 32-byte key.

#include <array>

#include "fuzz_check.hpp"
#include "oxa_signer/hd.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view path = oxa_fuzz::text_of(data, size);
    static constexpr std::array<std::uint8_t, 64> SEED = {
        0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c,
        0x0d, 0x0e, 0x0f, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19,
        0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26,
        0x27, 0x28, 0x29, 0x2a, 0x2b, 0x2c, 0x2d, 0x2e, 0x2f, 0x30, 0x31, 0x32, 0x33,
        0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x3b, 0x3c, 0x3d, 0x3e, 0x3f};
    auto valid = oxa_signer::HdDeriver::validate_path(path);
    for (oxa_signer::Curve curve : {oxa_signer::Curve::Secp256k1, oxa_signer::Curve::Ed25519}) {
        auto key = oxa_signer::HdDeriver::derive(SEED, path, curve);
        if (!valid) {
            oxa_fuzz::check(!key, "an invalid path derives nothing");
            oxa_fuzz::check(key.error().display() == valid.error().display(),
                            "derivation reports the validation error");
            continue;
        }
        if (key) oxa_fuzz::check(key.value().size() == 32, "a derived key has 32 bytes");
    }
    return 0;
}
