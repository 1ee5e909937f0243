#pragma once
// Keccak-256 with the original Keccak padding (domain byte 0x01), as Ethereum
// and Tron use it; not SHA3-256.

#include <cstddef>
#include <cstdint>
#include <span>

#include "hashes.hpp"

namespace oxa_signer {

/// Incremental Keccak-256: absorb any number of chunks, then finish once.
class Keccak256 {
public:
    Keccak256() noexcept;
    void update(ByteView data) noexcept;
    Bytes32 finish() noexcept;

private:
    std::uint64_t m_state[25];
    std::size_t m_offset = 0;  // bytes absorbed into the current block
};

Bytes32 keccak256(ByteView data) noexcept;

}  // namespace oxa_signer
