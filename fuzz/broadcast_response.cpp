// What an RPC endpoint answers a broadcast with: any bytes give the reported
// hash or a BroadcastFailed / Json error, never more.

#include "fuzz_check.hpp"
#include "oxa_lib/broadcast.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view response = oxa_fuzz::text_of(data, size);
    for (const char* field : {"result", "txid"}) {
        auto hash = oxa_lib::extract_json_field(response, field);
        if (hash) continue;
        const auto kind = hash.error().kind();
        oxa_fuzz::check(kind == oxa_lib::OxaLibError::Kind::BroadcastFailed ||
                            kind == oxa_lib::OxaLibError::Kind::Json,
                        "a bad response is a broadcast or JSON error");
    }
    return 0;
}
