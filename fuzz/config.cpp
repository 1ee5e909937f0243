// The configuration reader on any bytes; what it accepts is a whole value.

#include "oxa_core/config.hpp"
#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto config = oxa_core::parse_config(oxa_fuzz::text_of(data, size));
    if (!config) {
        oxa_fuzz::check(!config.error().empty(), "a refusal says why");
        return 0;
    }
    for (const auto& [name, plugin] : config.value().plugins) {
        oxa_fuzz::check(!plugin.is_discarded(), "plugin values are whole JSON values");
    }
    return 0;
}
