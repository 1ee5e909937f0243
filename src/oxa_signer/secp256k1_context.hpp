#pragma once
// The one secp256k1 context of the process, shared by key derivation and signing.

#include <secp256k1.h>

namespace oxa_signer {

/// Created on first use and randomized from the system random source, which
/// blinds its scalar multiplications against side channels; only read after
/// that, so every thread may use it. Throws oxa_core::InternalAbort if the
/// library cannot create or randomize it (the next call tries again).
const secp256k1_context* shared_secp256k1_context();

}  // namespace oxa_signer
