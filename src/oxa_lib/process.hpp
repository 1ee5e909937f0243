#pragma once
// Runs an external program without a shell and captures what it prints.

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "oxa_core/result.hpp"

namespace oxa_lib {

enum class ExitStatus {
    Succeeded,  // exited normally with status 0
    Failed,  // exited with another status, or was killed by a signal
    Unknown,  // the system reaped it first (this process ignores SIGCHLD)
};

struct ProcessOutput {
    ExitStatus status;
    std::string standard_output;
    std::string standard_error;
};

/// Why a run gave no output. After OutputTooLarge and ReadFailed the program
/// had started and was killed, so it may have done part of its work.
struct ProcessFailure {
    enum class Kind { NotStarted, OutputTooLarge, ReadFailed };
    Kind kind;
    int os_error;  // errno for NotStarted (EINVAL: empty argv) and ReadFailed, else 0
};

/// Starts argv[0] from the search path with an empty standard input, reads
/// both output streams to their end (together, so neither can fill up and
/// stall the child) and waits for it. A stream longer than `output_limit`
/// bytes, or a poll or read error, kills the child. Every path reaps it.
oxa_core::Result<ProcessOutput, ProcessFailure> run_process(const std::vector<std::string>& argv,
                                                            std::size_t output_limit);

/// Stands in for read(2) on the child's output pipes. Null outside tests,
/// which use it to make a read fail while the child still writes.
using PipeReadHook = ssize_t (*)(int fd, void* buffer, std::size_t size);
void set_pipe_read_hook(PipeReadHook hook) noexcept;

}  // namespace oxa_lib
