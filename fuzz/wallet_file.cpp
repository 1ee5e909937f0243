// The wallet-file reader on any bytes, and the writer on whatever it accepts:
// a written file reads back to an equal record and is written the same again.
// The vault scan's summary reader agrees with the full reader on every input.

#include "oxa_core/wallet_file.hpp"
#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = oxa_fuzz::text_of(data, size);
    auto wallet = oxa_core::parse_encrypted_wallet(text);
    oxa_core::WalletSummary summary;
    auto read = oxa_core::parse_wallet_summary(text, summary);
    oxa_fuzz::check(read.ok() == wallet.ok(), "the summary reader accepts what the full one does");
    if (!wallet) {
        oxa_fuzz::check(read.error() == wallet.error(), "both readers give the same error");
        return 0;
    }
    oxa_fuzz::check(summary.id == wallet.value().id && summary.name == wallet.value().name &&
                        summary.created_at == wallet.value().created_at,
                    "the summary holds the wallet's id, name and time");
    const std::string written = oxa_core::serialize_encrypted_wallet(wallet.value());
    auto reread = oxa_core::parse_encrypted_wallet(written);
    oxa_fuzz::check(reread.ok(), "a written wallet file reads back");
    oxa_fuzz::check(reread.value() == wallet.value(), "a written wallet file reads back equal");
    oxa_fuzz::check(oxa_core::serialize_encrypted_wallet(reread.value()) == written,
                    "writing a read-back wallet gives the same text");
    return 0;
}
