#pragma once
// Unicode NFKD, which BIP-39 applies to the phrase and its passphrase before
// they enter PBKDF2: the same passphrase typed as precomposed or combining
// characters must give the same seed. ICU does the work, in pinned buffers.

#include <string>
#include <string_view>

#include "oxa_core/result.hpp"
#include "zeroizing.hpp"

namespace oxa_signer {

/// The NFKD form of UTF-8 `text`, as UTF-8 in pinned memory. Invalid UTF-8
/// fails with "text is not valid UTF-8", more than 59 MiB with "text is too
/// long to normalize".
oxa_core::Result<SecretBytes, std::string> nfkd(std::string_view text);

}  // namespace oxa_signer
