#include "process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>
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

PipeReadHook g_read_hook = nullptr;

ssize_t read_pipe(int fd, void* buffer, std::size_t size) {
    return g_read_hook != nullptr ? g_read_hook(fd, buffer, size) : ::read(fd, buffer, size);
}

/// A started child that is always reaped: if it still runs when the object
/// dies (an early return, an exception), it is killed first, so it can
/// neither be left behind nor keep us waiting on a pipe nobody reads.
class Child {
public:
    explicit Child(pid_t pid) noexcept : m_pid(pid) {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (m_pid < 0) return;
        ::kill(m_pid, SIGKILL);
        wait();
    }

    /// Waits for the child to end and reaps it.
    ExitStatus wait() noexcept {
        int status = 0;
        pid_t reaped = 0;
        while ((reaped = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        // ECHILD: with SIGCHLD ignored the system reaps the child and keeps no status.
        if (reaped < 0) return ExitStatus::Unknown;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ExitStatus::Succeeded
                                                             : ExitStatus::Failed;
    }

private:
    pid_t m_pid;
};

/// Reads both streams until both reach end of file; stops with the reason
/// when one passes `limit` bytes or poll or read fails.
std::optional<ProcessFailure> drain(int out_fd, int err_fd, std::size_t limit, std::string& out,
                                    std::string& err) {
    std::array<pollfd, 2> fds{{{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}}};
    std::array<std::string*, 2> sinks{&out, &err};
    std::array<char, 16384> buffer{};
    int open_streams = 2;
    while (open_streams > 0) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            const int error = errno;
            if (error == EINTR) continue;
            return ProcessFailure{ProcessFailure::Kind::ReadFailed, error};
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = read_pipe(fds[i].fd, buffer.data(), buffer.size());
            if (n < 0) {
                const int error = errno;
                if (error == EINTR) continue;
                return ProcessFailure{ProcessFailure::Kind::ReadFailed, error};
            }
            if (n == 0) {
                fds[i].fd = -1;  // poll ignores negative descriptors
                --open_streams;
                continue;
            }
            if (static_cast<std::size_t>(n) > limit - sinks[i]->size()) {
                return ProcessFailure{ProcessFailure::Kind::OutputTooLarge, 0};
            }
            sinks[i]->append(buffer.data(), static_cast<std::size_t>(n));
        }
    }
    return std::nullopt;
}

// The child reads nothing and writes into the two pipes.
bool redirect_streams(posix_spawn_file_actions_t* actions, int out_fd, int err_fd) {
    constexpr const char* NOTHING = "/dev/null";
    return ::posix_spawn_file_actions_addopen(actions, STDIN_FILENO, NOTHING, O_RDONLY, 0) == 0 &&
           ::posix_spawn_file_actions_adddup2(actions, out_fd, STDOUT_FILENO) == 0 &&
           ::posix_spawn_file_actions_adddup2(actions, err_fd, STDERR_FILENO) == 0;
}

}  // namespace

void set_pipe_read_hook(PipeReadHook hook) noexcept { g_read_hook = hook; }

oxa_core::Result<ProcessOutput, ProcessFailure> run_process(const std::vector<std::string>& argv,
                                                            std::size_t output_limit) {
    const auto not_started = [](int error) {
        return oxa_core::Err{ProcessFailure{ProcessFailure::Kind::NotStarted, error}};
    };
    if (argv.empty()) return not_started(EINVAL);
    Pipe out, err;
    SpawnActions actions;
    if (!out.ok() || !err.ok() || !actions.ok()) return not_started(errno);
    if (!redirect_streams(actions.get(), out.write_end(), err.write_end())) {
        return not_started(ENOMEM);
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    const int spawn_error =
        ::posix_spawnp(&pid, args[0], actions.get(), nullptr, args.data(), environ);
    if (spawn_error != 0) return not_started(spawn_error);
    Child child(pid);
    // Only the child may hold the write ends, or the reads below never end.
    out.close_write();
    err.close_write();
    ProcessOutput result{ExitStatus::Failed, {}, {}};
    if (const auto failure = drain(out.read_end(), err.read_end(), output_limit,
                                   result.standard_output, result.standard_error)) {
        return oxa_core::Err{*failure};
    }
    result.status = child.wait();
    return result;
}

}  // namespace oxa_lib
