#pragma once
// The one exception of the code base: a broken internal invariant, such as a
// library call that cannot fail for valid data failing anyway. Only the
// Python module boundary catches it.

#include <stdexcept>

namespace oxa_core {

class InternalAbort : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

}  // namespace oxa_core
