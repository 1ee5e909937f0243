#pragma once
// Keeps key material out of swap and core dumps, on pages no other data shares.

#include <cstddef>
#include <cstdint>

namespace oxa_signer {

/// Pins [data, data + len) in physical memory. An empty range is pinned
/// trivially. When the system refuses, one warning line goes to standard error
/// and false is returned: pinning is best effort and never stops an operation.
bool mlock_slice(const void* data, std::size_t len) noexcept;

/// Maps `len` (> 0) zero bytes for one secret at the start of pages of its
/// own, since pinning is per page and not counted: a secret on a shared page
/// would be unpinned when its neighbour is released. The pages are pinned
/// with mlock_slice (a refusal warns as above), left out of core dumps, and
/// lie between two inaccessible guard pages, so that a run off either end
/// faults instead of reaching other memory. Throws std::bad_alloc when the
/// system has no memory to give.
std::uint8_t* map_secret_pages(std::size_t len);

/// Unmaps (and so unpins) what map_secret_pages(len) returned. The caller
/// wipes the bytes first.
void unmap_secret_pages(std::uint8_t* data, std::size_t len) noexcept;

}  // namespace oxa_signer
