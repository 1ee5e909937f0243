#include "process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

extern char** environ;

namespace oxa_lib {

namespace {

class Pipe {
public:
    Pipe() {
        if (::pipe2(m_fds.data(), O_CLOEXEC) != 0) m_fds = {-1, -1};
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() {
        close_read();
        close_write();
    }
    bool ok() const noexcept { return m_fds[0] >= 0; }
    int read_end() const noexcept { return m_fds[0]; }
    int write_end() const noexcept { return m_fds[1]; }
    void close_read() noexcept { close_fd(m_fds[0]); }
    void close_write() noexcept { close_fd(m_fds[1]); }

private:
    static void close_fd(int& fd) noexcept {
        if (fd >= 0) ::close(std::exchange(fd, -1));
    }
    std::array<int, 2> m_fds{-1, -1};
};

class SpawnActions {
public:
    SpawnActions() { m_ok = ::posix_spawn_file_actions_init(&m_actions) == 0; }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() {
        if (m_ok) ::posix_spawn_file_actions_destroy(&m_actions);
    }
    bool ok() const noexcept { return m_ok; }
    posix_spawn_file_actions_t* get() noexcept { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
    bool m_ok = false;
};

/// Reads both streams until both reach end of file.
void drain(int out_fd, int err_fd, std::string& out, std::string& err) {
    std::array<pollfd, 2> fds{{{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}}};
    std::array<std::string*, 2> sinks{&out, &err};
    std::array<char, 16384> buffer{};
    int open_streams = 2;
    while (open_streams > 0) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                fds[i].fd = -1;  // poll ignores negative descriptors
                --open_streams;
                continue;
            }
            sinks[i]->append(buffer.data(), static_cast<std::size_t>(n));
        }
    }
}

// The child reads nothing and writes into the two pipes.
bool redirect_streams(posix_spawn_file_actions_t* actions, int out_fd, int err_fd) {
    constexpr const char* NOTHING = "/dev/null";
    return ::posix_spawn_file_actions_addopen(actions, STDIN_FILENO, NOTHING, O_RDONLY, 0) == 0 &&
           ::posix_spawn_file_actions_adddup2(actions, out_fd, STDOUT_FILENO) == 0 &&
           ::posix_spawn_file_actions_adddup2(actions, err_fd, STDERR_FILENO) == 0;
}

bool wait_succeeded(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

oxa_core::Result<ProcessOutput, int> run_process(const std::vector<std::string>& argv) {
    if (argv.empty()) return oxa_core::Err{EINVAL};
    Pipe out, err;
    SpawnActions actions;
    if (!out.ok() || !err.ok() || !actions.ok()) return oxa_core::Err{errno};
    if (!redirect_streams(actions.get(), out.write_end(), err.write_end())) {
        return oxa_core::Err{ENOMEM};
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    const int spawn_error =
        ::posix_spawnp(&pid, args[0], actions.get(), nullptr, args.data(), environ);
    if (spawn_error != 0) return oxa_core::Err{spawn_error};
    // Only the child may hold the write ends, or the reads below never end.
    out.close_write();
    err.close_write();
    ProcessOutput result{false, {}, {}};
    drain(out.read_end(), err.read_end(), result.standard_output, result.standard_error);
    result.succeeded = wait_succeeded(pid);
    return result;
}

}  // namespace oxa_lib
