#pragma once
// The one exception of the code base, for failures that cannot happen: a
// broken internal invariant, or a library call that cannot fail for valid
// data failing anyway (OpenSSL out of memory, a secp256k1 context that will
// not build). Anything a caller or a file can cause is a Result error instead.
//
// - Throw it with a message that names what broke ("SHA-256 should not
//   fail"). A function that can throw it is not noexcept, nor is any caller
//   on the way up: a throw through noexcept terminates the process.
// - Only the Python module boundary catches it (oxa_python's guarded frame),
//   raising oxa._native.InternalAbort; the unwinding wipes every secret on
//   the way, and the host process lives on.
// - Abort the process instead only where going on would be unsafe: without a
//   random source (random.cpp), no key, salt or nonce can be trusted.

#include <stdexcept>

namespace oxa_core {

class InternalAbort : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

}  // namespace oxa_core
