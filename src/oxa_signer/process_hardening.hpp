#pragma once
// Keeps key material out of swap.

#include <cstddef>

namespace oxa_signer {

/// Pins [data, data + len) in physical memory. An empty range is pinned
/// trivially. When the system refuses, one warning line goes to standard error
/// and false is returned: pinning is best effort and never stops an operation.
bool mlock_slice(const void* data, std::size_t len) noexcept;

/// Unpins a range pinned by mlock_slice; failures are ignored.
void munlock_slice(const void* data, std::size_t len) noexcept;

}  // namespace oxa_signer
