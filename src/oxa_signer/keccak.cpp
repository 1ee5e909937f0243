#include "keccak.hpp"

#include <array>
#include <bit>

namespace oxa_signer {
namespace {

constexpr std::size_t RATE_BYTES = 136;  // 1600-bit state minus the 512-bit capacity
constexpr std::size_t LANE_BYTES = 8;
constexpr std::uint8_t DOMAIN_PAD = 0x01;  // original Keccak; SHA3-256 would use 0x06
constexpr std::uint8_t FINAL_PAD = 0x80;

constexpr std::array<std::uint64_t, 24> ROUND_CONSTANTS = {
    0x0000000000000001, 0x0000000000008082, 0x800000000000808a, 0x8000000080008000,
    0x000000000000808b, 0x0000000080000001, 0x8000000080008081, 0x8000000000008009,
    0x000000000000008a, 0x0000000000000088, 0x0000000080008009, 0x000000008000000a,
    0x000000008000808b, 0x800000000000008b, 0x8000000000008089, 0x8000000000008003,
    0x8000000000008002, 0x8000000000000080, 0x000000000000800a, 0x800000008000000a,
    0x8000000080008081, 0x8000000000008080, 0x0000000080000001, 0x8000000080008008,
};

// Rotation offsets of the rho step, indexed by lane x + 5 * y.
constexpr std::array<int, 25> RHO_OFFSETS = {
    0,  1,  62, 28, 27,  //
    36, 44, 6,  55, 20,  //
    3,  10, 43, 25, 39,  //
    41, 45, 15, 21, 8,  //
    18, 2,  61, 56, 14,
};

void keccak_f1600(std::uint64_t (&a)[25]) noexcept {
    for (std::uint64_t round_constant : ROUND_CONSTANTS) {
        // theta: fold each column's parity into its two neighbours
        std::uint64_t column[5];
        for (int x = 0; x < 5; ++x) {
            column[x] = a[x] ^ a[x + 5] ^ a[x + 10] ^ a[x + 15] ^ a[x + 20];
        }
        for (int x = 0; x < 5; ++x) {
            const std::uint64_t d = column[(x + 4) % 5] ^ std::rotl(column[(x + 1) % 5], 1);
            for (int y = 0; y < 25; y += 5) a[x + y] ^= d;
        }
        // rho and pi: lane (x, y) rotates and moves to (y, 2x + 3y)
        std::uint64_t b[25];
        for (int x = 0; x < 5; ++x) {
            for (int y = 0; y < 5; ++y) {
                b[y + 5 * ((2 * x + 3 * y) % 5)] = std::rotl(a[x + 5 * y], RHO_OFFSETS[x + 5 * y]);
            }
        }
        // chi: the only non-linear step, row by row
        for (int y = 0; y < 25; y += 5) {
            for (int x = 0; x < 5; ++x) {
                a[x + y] = b[x + y] ^ (~b[(x + 1) % 5 + y] & b[(x + 2) % 5 + y]);
            }
        }
        // iota
        a[0] ^= round_constant;
    }
}

// Lanes are little-endian: byte i of the block sits in lane i / 8 at bit 8 * (i % 8).
void xor_byte(std::uint64_t (&state)[25], std::size_t position, std::uint8_t byte) noexcept {
    state[position / LANE_BYTES] ^= std::uint64_t{byte} << (8 * (position % LANE_BYTES));
}

}  // namespace

Keccak256::Keccak256() noexcept : m_state{} {}

void Keccak256::update(ByteView data) noexcept {
    for (std::uint8_t byte : data) {
        xor_byte(m_state, m_offset, byte);
        if (++m_offset == RATE_BYTES) {
            keccak_f1600(m_state);
            m_offset = 0;
        }
    }
}

Bytes32 Keccak256::finish() noexcept {
    // m_offset < RATE_BYTES always, so both pad bytes land in this block
    // (on the same byte when only one byte of the block is left).
    xor_byte(m_state, m_offset, DOMAIN_PAD);
    xor_byte(m_state, RATE_BYTES - 1, FINAL_PAD);
    keccak_f1600(m_state);

    Bytes32 digest;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<std::uint8_t>(m_state[i / LANE_BYTES] >> (8 * (i % LANE_BYTES)));
    }
    return digest;
}

Bytes32 keccak256(ByteView data) noexcept {
    Keccak256 hasher;
    hasher.update(data);
    return hasher.finish();
}

}  // namespace oxa_signer
