#include "os_error.hpp"

#include <cstring>

namespace oxa_lib {

std::string os_error_text(int err) {
    return std::string(std::strerror(err)) + " (os error " + std::to_string(err) + ")";
}

}  // namespace oxa_lib
