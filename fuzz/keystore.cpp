// The keystore reader on any bytes, its writer on whatever it accepts (the
// text reads back the same), and the opening of what it accepts: a keystore
// that opens, opened twice, gives the same key, and one that fails fails the
// same way. Derivations are kept cheap: costs above a few thousand rounds
// are lowered first, which leaves every check before the derivation in play.

#include "oxa_signer/keystore.hpp"
#include "fuzz_check.hpp"
#include "oxa_core/keystore_file.hpp"

namespace {

constexpr std::uint64_t CHEAP_WORK = 1u << 12;

void make_cheap(oxa_core::KeystoreCrypto& crypto) {
    if (std::uint64_t{crypto.n} * crypto.r * crypto.p > CHEAP_WORK) {
        crypto.n = 2;
        crypto.r = 1;
        crypto.p = 1;
    }
    if (crypto.c > CHEAP_WORK) crypto.c = 1;
}

std::string outcome(const oxa_core::KeystoreCrypto& crypto) {
    static constexpr std::uint8_t PASSWORD[] = {'p', 'w'};
    auto opened = oxa_signer::open_keystore(crypto, PASSWORD);
    if (!opened) return opened.error().display();
    oxa_fuzz::check(opened.value().size() == oxa_signer::KEYSTORE_KEY_BYTES,
                    "an opened keystore gives a 32-byte key");
    return std::string(opened.value().text());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto keystore = oxa_core::parse_keystore(oxa_fuzz::text_of(data, size));
    if (!keystore) return 0;
    const std::string written = oxa_core::serialize_keystore(keystore.value());
    auto reread = oxa_core::parse_keystore(written);
    oxa_fuzz::check(reread.ok(), "a written keystore reads back");
    oxa_fuzz::check(oxa_core::serialize_keystore(reread.value()) == written,
                    "a read-back keystore is written the same");
    make_cheap(keystore.value().crypto);
    oxa_fuzz::check(outcome(keystore.value().crypto) == outcome(keystore.value().crypto),
                    "opening a keystore twice gives the same outcome");
    return 0;
}
