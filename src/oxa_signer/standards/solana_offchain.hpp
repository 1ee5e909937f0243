#pragma once
// Solana off-chain messages in the layout that `solana sign-offchain-message`
// signs and hardware wallets read: the signing domain "\xffsolana offchain",
// header version 0, the message format, the length as u16 little-endian (a
// 20-byte header), then the message. The proposal's other "version 0", with
// an application domain and a signer list, is a different layout and is not
// made here.

#include <cstdint>
#include <string>
#include <vector>

#include "oxa_core/result.hpp"
#include "oxa_signer/traits.hpp"

namespace oxa_signer {

inline constexpr std::size_t SOLANA_OFFCHAIN_HEADER_BYTES = 20;
/// What a Ledger takes: one packet (1232 bytes) less the header.
inline constexpr std::size_t SOLANA_OFFCHAIN_LEDGER_MAX_BYTES = 1212;
/// What the u16 length allows less the header.
inline constexpr std::size_t SOLANA_OFFCHAIN_MAX_BYTES = 65515;

/// The bytes that are signed. The format is the one the Solana tools choose:
/// 0 (restricted ASCII, bytes 0x20 to 0x7e) or 1 (UTF-8) up to the Ledger
/// limit, 2 (UTF-8) up to the maximum. Errors: "the message is empty", "the
/// message is not UTF-8 (...)", "the message is N bytes, the limit is 65515".
oxa_core::Result<std::vector<std::uint8_t>, std::string> solana_offchain_message(ByteSpan message);

}  // namespace oxa_signer
