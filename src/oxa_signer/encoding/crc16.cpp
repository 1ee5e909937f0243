#include "crc16.hpp"

namespace oxa_signer {

std::uint16_t crc16_xmodem(std::span<const std::uint8_t> data) noexcept {
    constexpr std::uint16_t POLYNOMIAL = 0x1021;
    std::uint16_t crc = 0;
    for (std::uint8_t byte : data) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            const bool top_bit = (crc & 0x8000) != 0;
            crc = static_cast<std::uint16_t>(crc << 1);
            if (top_bit) crc ^= POLYNOMIAL;
        }
    }
    return crc;
}

}  // namespace oxa_signer
