#pragma once

#include <string>

namespace oxa_lib {

/// The system's description of `err` followed by " (os error N)".
std::string os_error_text(int err);

}  // namespace oxa_lib
