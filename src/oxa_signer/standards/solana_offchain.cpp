#include "solana_offchain.hpp"

#include <algorithm>
#include <string_view>

#include "oxa_core/utf8.hpp"

namespace oxa_signer {

using oxa_core::Err;

namespace {

constexpr std::string_view SIGNING_DOMAIN = "\xffsolana offchain";
constexpr std::uint8_t HEADER_VERSION = 0;

enum class MessageFormat : std::uint8_t { RestrictedAscii = 0, LimitedUtf8 = 1, ExtendedUtf8 = 2 };

bool is_restricted_ascii(ByteSpan message) {
    return std::all_of(message.begin(), message.end(),
                       [](std::uint8_t b) { return b >= 0x20 && b <= 0x7E; });
}

oxa_core::Result<MessageFormat, std::string> format_of(ByteSpan message) {
    if (message.empty()) return Err{"the message is empty"};
    if (message.size() > SOLANA_OFFCHAIN_MAX_BYTES) {
        return Err{"the message is " + std::to_string(message.size()) + " bytes, the limit is " +
                   std::to_string(SOLANA_OFFCHAIN_MAX_BYTES)};
    }
    const bool fits_ledger = message.size() <= SOLANA_OFFCHAIN_LEDGER_MAX_BYTES;
    if (fits_ledger && is_restricted_ascii(message)) return MessageFormat::RestrictedAscii;
    if (auto error = oxa_core::utf8_error(message)) {
        return Err{"the message is not UTF-8 (" + *error + ")"};
    }
    return fits_ledger ? MessageFormat::LimitedUtf8 : MessageFormat::ExtendedUtf8;
}

}  // namespace

oxa_core::Result<std::vector<std::uint8_t>, std::string> solana_offchain_message(ByteSpan message) {
    auto format = format_of(message);
    if (!format) return Err{std::move(format).error()};
    std::vector<std::uint8_t> out;
    out.reserve(SOLANA_OFFCHAIN_HEADER_BYTES + message.size());
    out.insert(out.end(), SIGNING_DOMAIN.begin(), SIGNING_DOMAIN.end());
    out.push_back(HEADER_VERSION);
    out.push_back(static_cast<std::uint8_t>(format.value()));
    out.push_back(static_cast<std::uint8_t>(message.size() & 0xFF));
    out.push_back(static_cast<std::uint8_t>(message.size() >> 8));
    out.insert(out.end(), message.begin(), message.end());
    return out;
}

}  // namespace oxa_signer
