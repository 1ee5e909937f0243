// The wallet-file reader on any bytes, and the writer on whatever it accepts:
// a written file reads back to an equal record and is written the same again.

#include "oxa_core/wallet_file.hpp"
#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto wallet = oxa_core::parse_encrypted_wallet(oxa_fuzz::text_of(data, size));
    if (!wallet) return 0;
    const std::string written = oxa_core::serialize_encrypted_wallet(wallet.value());
    auto reread = oxa_core::parse_encrypted_wallet(written);
    oxa_fuzz::check(reread.ok(), "a written wallet file reads back");
    oxa_fuzz::check(reread.value() == wallet.value(), "a written wallet file reads back equal");
    oxa_fuzz::check(oxa_core::serialize_encrypted_wallet(reread.value()) == written,
                    "writing a read-back wallet gives the same text");
    return 0;
}
