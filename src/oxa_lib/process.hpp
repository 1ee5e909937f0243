#pragma once
// Runs an external program without a shell and captures what it prints.

#include <string>
#include <vector>

#include "oxa_core/result.hpp"

namespace oxa_lib {

struct ProcessOutput {
    bool succeeded;  // exited normally with status 0
    std::string standard_output;
    std::string standard_error;
};

/// Starts argv[0] from the search path with an empty standard input, reads
/// both output streams to their end (together, so neither can fill up and
/// stall the child) and waits for it. Fails with errno when it cannot start
/// (EINVAL for an empty argv).
oxa_core::Result<ProcessOutput, int> run_process(const std::vector<std::string>& argv);

}  // namespace oxa_lib
