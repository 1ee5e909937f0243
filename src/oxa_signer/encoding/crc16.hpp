#pragma once

#include <cstdint>
#include <span>

namespace oxa_signer {

/// CRC-16/XMODEM: polynomial 0x1021, initial 0, no reflection, no final XOR.
std::uint16_t crc16_xmodem(std::span<const std::uint8_t> data) noexcept;

}  // namespace oxa_signer
