// The sealed envelope of a wallet file, read the way unsealing reads it, and
// every check decrypt makes before the key derivation. The input never gets
// as far as scrypt: an envelope that would pass every check has its N lowered
// below the minimum, so the run stays fast and the earlier checks still see
// the hostile salt, iv, ciphertext and tag.

#include "fuzz_check.hpp"
#include "oxa_core/wallet_file.hpp"
#include "oxa_signer/crypto.hpp"
#include "oxa_signer/encoding/hex.hpp"

namespace {

constexpr std::uint64_t MAX_SCRYPT_N_TIMES_R = std::uint64_t{1} << 23;

bool decodes(const std::string& hex) { return oxa_signer::hex_decode(hex).ok(); }

// Independent of decrypt's own code: whether its documented checks all pass.
bool would_derive_key(const oxa_core::CryptoEnvelope& envelope) {
    const oxa_core::KdfParams& kdf = envelope.kdfparams;
    if (!decodes(kdf.salt) || !decodes(envelope.ciphertext) || !decodes(envelope.auth_tag)) {
        return false;
    }
    auto iv = oxa_signer::hex_decode(envelope.cipherparams.iv);
    const bool power_of_two = kdf.n != 0 && (kdf.n & (kdf.n - 1)) == 0;
    const std::uint64_t n_times_r = std::uint64_t{kdf.n} * kdf.r;
    return iv && iv.value().size() == 12 && power_of_two && kdf.n >= 65536 && kdf.r >= 8 &&
           kdf.p >= 1 && kdf.dklen == 32 && n_times_r <= MAX_SCRYPT_N_TIMES_R &&
           n_times_r * kdf.p <= MAX_SCRYPT_N_TIMES_R;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto raw = oxa_core::RawJson::from_text(oxa_fuzz::text_of(data, size));
    if (!raw) return 0;
    auto read = oxa_core::parse_envelope(raw.value());
    if (!read) return 0;
    oxa_core::CryptoEnvelope envelope = std::move(read).value();
    if (would_derive_key(envelope)) envelope.kdfparams.n = 1u << 15;

    static constexpr std::uint8_t PASSWORD[] = {'p', 'w'};
    auto opened = oxa_signer::decrypt(envelope, PASSWORD);
    oxa_fuzz::check(!opened, "an envelope refused before scrypt does not open");
    oxa_fuzz::check(opened.error().kind == oxa_signer::CryptoError::Kind::InvalidParams,
                    "every refusal before scrypt is InvalidParams");
    return 0;
}
