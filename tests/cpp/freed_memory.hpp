#pragma once
// Test-only watch over memory handed back to the allocator. Linking
// freed_memory.cpp replaces the global operator delete, so it belongs in its
// own test program: every block freed through it while a FreedBlocks lives is
// copied aside (all-zero blocks are skipped) to be searched for secrets once
// the operation under test has finished and its secrets are known.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "oxa_signer/zeroizing.hpp"

namespace oxa_test {

/// A secret to look for, with a name for the failure message.
struct KnownSecret {
    std::string label;
    oxa_signer::SecretBytes bytes;
};

/// Records copies of the freed blocks from construction to stop(); one at a
/// time. Also counts SecretBytes released with a non-zero byte.
class FreedBlocks {
public:
    FreedBlocks();
    FreedBlocks(const FreedBlocks&) = delete;
    FreedBlocks& operator=(const FreedBlocks&) = delete;
    /// Wipes the copies: they may hold the very secrets they caught.
    ~FreedBlocks();

    void stop() noexcept;

    std::size_t blocks_recorded() const noexcept;
    std::size_t secret_buffers_released() const noexcept;
    std::size_t secret_buffers_released_dirty() const noexcept;

    /// The labels of the secrets of which any 16 consecutive bytes (any 19
    /// for sure) appear in a recorded block. Secrets shorter than 16 bytes
    /// are looked for whole.
    std::vector<std::string> leaked(std::span<const KnownSecret> secrets) const;
};

}  // namespace oxa_test
