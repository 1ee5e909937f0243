// The Solana keypair reader on any bytes: it never crashes, and a seed it
// accepts is written back to a text that reads to the same seed.

#include "fuzz_check.hpp"
#include "oxa_lib/solana_keypair_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto seed = oxa_lib::read_solana_keypair(oxa_fuzz::text_of(data, size));
    if (!seed) return 0;
    oxa_fuzz::check(seed.value().size() == 32, "a keypair gives a 32-byte seed");
    auto written = oxa_lib::write_solana_keypair(seed.value().bytes());
    oxa_fuzz::check(written.ok(), "an accepted seed is written");
    auto reread = oxa_lib::read_solana_keypair(written.value().text());
    oxa_fuzz::check(reread.ok() && reread.value().text() == seed.value().text(),
                    "a written keypair reads back to its seed");
    return 0;
}
