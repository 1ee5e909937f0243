#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "http_test_server.hpp"
#include "oxa_lib/broadcast.hpp"
#include "oxa_lib/process.hpp"
#include "scratch_dir.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using nlohmann::json;
using oxa_core::ChainType;
using oxa_lib::ExitStatus;
using oxa_lib::OxaLibError;
using oxa_lib::ProcessFailure;
using oxa_test::HttpResponse;
using oxa_test::HttpTestServer;

/// Sets an environment variable for the life of the object, then puts back
/// what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

/// Whatever proxy the machine names, curl talks to the test server directly.
struct DirectToLoopback {
    ScopedEnv no_proxy{"no_proxy", "127.0.0.1"};
    ScopedEnv no_proxy_upper{"NO_PROXY", "127.0.0.1"};
};

/// Sets the disposition of a signal for the life of the object.
class ScopedSignalAction {
public:
    ScopedSignalAction(int signal, sighandler_t handler)
        : m_signal(signal), m_old(std::signal(signal, handler)) {}
    ScopedSignalAction(const ScopedSignalAction&) = delete;
    ScopedSignalAction& operator=(const ScopedSignalAction&) = delete;
    ~ScopedSignalAction() { std::signal(m_signal, m_old); }

private:
    int m_signal;
    sighandler_t m_old;
};

/// Every read of a child's output fails with EIO for the life of the object.
class FailingPipeReads {
public:
    FailingPipeReads() { oxa_lib::set_pipe_read_hook(&fail); }
    FailingPipeReads(const FailingPipeReads&) = delete;
    FailingPipeReads& operator=(const FailingPipeReads&) = delete;
    ~FailingPipeReads() { oxa_lib::set_pipe_read_hook(nullptr); }

private:
    static ssize_t fail(int, void*, std::size_t) {
        errno = EIO;
        return -1;
    }
};

/// True when this process has no child left, running or unreaped.
bool no_child_left() { return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

const std::string MAYBE_SENT =
    "the transaction may have been sent: check the chain before sending it again";

const json& vectors() {
    static const json doc = oxa_test::load_vectors("broadcast.json");
    return doc;
}

std::vector<json> cases(const char* table) { return vectors()[table].get<std::vector<json>>(); }

ChainType family_of(const json& v) {
    return oxa_core::chain_type_from_name(v["family"].get<std::string>()).value();
}

const std::vector<std::uint8_t>& signed_tx() {
    static const auto tx = oxa_test::unhex(vectors()["signed_tx"].get<std::string>());
    return tx;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Requests --------------------------------------------------------------------

class BroadcastRequest : public testing::TestWithParam<json>, DirectToLoopback {};

TEST_P(BroadcastRequest, PostsTheFamilysRequest) {
    const json& v = GetParam();
    HttpTestServer server({200, v["response"].get<std::string>(), {}});
    const auto hash = oxa_lib::broadcast(
        family_of(v), server.url() + v["url_suffix"].get<std::string>(), signed_tx());
    ASSERT_TRUE(hash) << hash.error().display();
    EXPECT_EQ(hash.value(), v["hash"]);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, v["path"]);
    EXPECT_EQ(requests[0].header("content-type"), v["content_type"]);
    EXPECT_EQ(requests[0].body, v["body"]);
}
INSTANTIATE_TEST_SUITE_P(Families, BroadcastRequest, testing::ValuesIn(cases("requests")),
                         oxa_test::by_index);

// Responses -------------------------------------------------------------------

class BroadcastResponse : public testing::TestWithParam<json>, DirectToLoopback {};

TEST_P(BroadcastResponse, GivesHashOrExactError) {
    const json& v = GetParam();
    HttpTestServer server({v["status"].get<int>(), v["response"].get<std::string>(), {}});
    const auto hash = oxa_lib::broadcast(family_of(v), server.url(), signed_tx());
    EXPECT_EQ(server.requests().size(), 1u);
    if (v.contains("hash")) {
        ASSERT_TRUE(hash) << hash.error().display();
        EXPECT_EQ(hash.value(), v["hash"]);
        return;
    }
    ASSERT_FALSE(hash) << hash.value();
    const std::string shown = hash.error().display();
    const bool json_error = shown.starts_with("JSON error: ");
    EXPECT_EQ(hash.error().kind(),
              json_error ? OxaLibError::Kind::Json : OxaLibError::Kind::BroadcastFailed);
    if (v.contains("error")) {
        EXPECT_EQ(shown, v["error"]);
    } else {
        EXPECT_TRUE(shown.starts_with(v["error_prefix"].get<std::string>())) << shown;
    }
}
INSTANTIATE_TEST_SUITE_P(Answers, BroadcastResponse, testing::ValuesIn(cases("responses")),
                         oxa_test::by_index);

class BroadcastTransport : public testing::Test, DirectToLoopback {};

TEST_F(BroadcastTransport, RedirectIsFollowedWithTheSamePost) {
    HttpTestServer server({200, R"({"result":"0x77"})", {}});
    server.respond("/old", {308, "", {{"Location", "/new"}}});
    const auto hash = oxa_lib::broadcast(ChainType::Evm, server.url() + "/old", signed_tx());
    ASSERT_TRUE(hash) << hash.error().display();
    EXPECT_EQ(hash.value(), "0x77");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].path, "/new");
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].body, requests[0].body);
}

TEST_F(BroadcastTransport, MegabytesOfResponseArriveWhole) {
    const std::string txid(4 << 20, 'a');
    HttpTestServer server({200, txid + "\n", {}});
    const auto raw = oxa_lib::curl_post_json(server.url(), "{}");
    ASSERT_TRUE(raw) << raw.error().display();
    EXPECT_EQ(raw.value(), txid + "\n");  // untrimmed
    const auto hash = oxa_lib::broadcast(ChainType::Bitcoin, server.url(), signed_tx());
    ASSERT_TRUE(hash) << hash.error().display();
    EXPECT_EQ(hash.value(), txid);
}

TEST_F(BroadcastTransport, InvalidUtf8InTheResponseIsReplaced) {
    HttpTestServer server({200,
                           "ab\xff"
                           "cd\n",
                           {}});
    const auto hash = oxa_lib::broadcast(ChainType::Bitcoin, server.url(), signed_tx());
    ASSERT_TRUE(hash) << hash.error().display();
    EXPECT_EQ(hash.value(),
              "ab\xEF\xBF\xBD"
              "cd");
}

TEST_F(BroadcastTransport, EndlessAnswerStopsCurl) {
    HttpTestServer server;
    server.stream_to_all(std::string(64 << 10, 'a'), std::size_t{64} << 20);
    const auto hash = oxa_lib::broadcast(ChainType::Evm, server.url(), signed_tx());
    ASSERT_FALSE(hash) << hash.value().size();
    EXPECT_EQ(hash.error().kind(), OxaLibError::Kind::BroadcastFailed);
    EXPECT_EQ(hash.error().display(),
              "broadcast failed: response too large: curl printed more than 8 MiB and was "
              "stopped; " +
                  MAYBE_SENT);
    EXPECT_TRUE(no_child_left());
}

TEST_F(BroadcastTransport, UnreadableOutputStopsCurl) {
    HttpTestServer server({200, R"({"result":"0x77"})", {}});
    const FailingPipeReads failing;
    const auto hash = oxa_lib::broadcast(ChainType::Evm, server.url(), signed_tx());
    ASSERT_FALSE(hash) << hash.value();
    EXPECT_EQ(hash.error().display(),
              "broadcast failed: reading curl's output failed: Input/output error (os error 5); "
              "curl was stopped and " +
                  MAYBE_SENT);
    EXPECT_TRUE(no_child_left());
}

class CurlGlob : public testing::TestWithParam<std::string>, DirectToLoopback {};

TEST_P(CurlGlob, PostsOnceAsWritten) {
    HttpTestServer server({200, R"({"result":"0x77"})", {}});
    const auto hash = oxa_lib::broadcast(ChainType::Evm, server.url() + GetParam(), signed_tx());
    ASSERT_TRUE(hash) << hash.error().display();
    EXPECT_EQ(hash.value(), "0x77");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, GetParam());
}
INSTANTIATE_TEST_SUITE_P(Urls, CurlGlob,
                         testing::Values("/{a,b}", "/rpc[1-2]", "/x{", "/x]", "/?q={}"),
                         oxa_test::by_index);

// With SIGCHLD ignored the system reaps curl, and its exit status is lost.
struct LostStatusCase {
    const char* name;
    int status;
    std::string response;
    std::string hash_or_error;  // the hash, or the error text after the common start
    bool posted;  // curl_post_json gives the response
};
void PrintTo(const LostStatusCase& c, std::ostream* os) { *os << c.name; }

class LostExitStatus : public testing::TestWithParam<LostStatusCase>, DirectToLoopback {};

TEST_P(LostExitStatus, TheAnswerDecides) {
    const LostStatusCase& c = GetParam();
    HttpTestServer server({c.status, c.response, {}});
    const ScopedSignalAction ignored(SIGCHLD, SIG_IGN);
    const auto hash = oxa_lib::broadcast(ChainType::Evm, server.url(), signed_tx());
    const std::string lost =
        "broadcast failed: the exit status of curl is unknown (this process ignores SIGCHLD, or "
        "something else reaped curl) and ";
    if (c.hash_or_error.starts_with("0x")) {
        ASSERT_TRUE(hash) << hash.error().display();
        EXPECT_EQ(hash.value(), c.hash_or_error);
    } else {
        ASSERT_FALSE(hash) << hash.value();
        EXPECT_EQ(hash.error().kind(), OxaLibError::Kind::BroadcastFailed);
        EXPECT_EQ(hash.error().display(), lost + c.hash_or_error + "; " + MAYBE_SENT);
    }
    const auto response = oxa_lib::curl_post_json(server.url(), "{}");
    if (c.posted) {
        ASSERT_TRUE(response) << response.error().display();
        EXPECT_EQ(response.value(), c.response);
    } else {
        ASSERT_FALSE(response) << response.value();
        EXPECT_TRUE(response.error().display().starts_with(lost)) << response.error().display();
    }
    EXPECT_EQ(server.requests().size(), 2u);
}
INSTANTIATE_TEST_SUITE_P(
    Answers, LostExitStatus,
    testing::Values(
        LostStatusCase{"hash", 200, R"({"jsonrpc":"2.0","id":1,"result":"0x77"})", "0x77", true},
        LostStatusCase{"rpc_error", 200, R"({"error":{"code":-32000,"message":"nonce too low"}})",
                       R"(the answer holds no transaction hash: {"error":{"code":-32000,)"
                       R"("message":"nonce too low"}})",
                       true},
        LostStatusCase{"http_500", 500, R"({"result":"0x77"})",
                       "curl reported: curl: (22) The requested URL returned error: 500", false},
        LostStatusCase{"empty", 200, "", "the answer was empty", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BroadcastTransport, MissingCurlGivesTheSystemText) {
    oxa_test::ScratchDir empty;
    const ScopedEnv path("PATH", empty.path().string());
    const auto response = oxa_lib::curl_post_json("http://127.0.0.1:9/", "{}");
    ASSERT_FALSE(response);
    EXPECT_EQ(response.error().kind(), OxaLibError::Kind::BroadcastFailed);
    EXPECT_EQ(response.error().display(),
              "broadcast failed: failed to run curl: No such file or directory (os error 2)");
}

// The command line, seen by a stand-in curl -----------------------------------

/// A directory on PATH whose `curl` only writes its arguments, one a line, to
/// a file: it shows what would be run, and whether anything was.
class StandInCurl : public testing::Test {
protected:
    StandInCurl() {
        const fs::path script = m_bin.path() / "curl";
        std::ofstream(script)
            << "#!/bin/sh\nfor arg in \"$@\"; do printf '%s\\n' \"$arg\"; done >> '"
            << calls().string() << "'\n";
        fs::permissions(script, fs::perms::owner_all);
    }
    fs::path calls() const { return m_bin.path() / "calls"; }

private:
    oxa_test::ScratchDir m_bin;
    ScopedEnv m_path{"PATH", m_bin.path().string()};
};

TEST_F(StandInCurl, JsonRequestCommandLineIsExact) {
    const auto response = oxa_lib::curl_post_json("http://127.0.0.1:9/rpc", R"({"a":1})");
    ASSERT_TRUE(response) << response.error().display();
    EXPECT_EQ(response.value(), "");
    EXPECT_EQ(lines_of(read_file(calls())),
              (std::vector<std::string>{"-fsSL", "-g", "-X", "POST", "-H",
                                        "Content-Type: application/json", "-d", R"({"a":1})",
                                        "http://127.0.0.1:9/rpc"}));
}

TEST_F(StandInCurl, BitcoinCommandLineSendsPlainText) {
    const auto hash =
        oxa_lib::broadcast(ChainType::Bitcoin, "http://127.0.0.1:9/api/", signed_tx());
    ASSERT_FALSE(hash);  // the stand-in answers nothing
    EXPECT_EQ(
        lines_of(read_file(calls())),
        (std::vector<std::string>{"-fsSL", "-g", "-X", "POST", "-H", "Content-Type: text/plain",
                                  "-d", "fbefff01", "http://127.0.0.1:9/api/tx"}));
}

struct RefusedUrl {
    const char* name;
    std::string url;
    const char* error_start;
};
void PrintTo(const RefusedUrl& c, std::ostream* os) { *os << c.name; }

class RpcUrlRefusal : public StandInCurl, public testing::WithParamInterface<RefusedUrl> {};

TEST_P(RpcUrlRefusal, CurlNeverStarts) {
    const RefusedUrl& c = GetParam();
    for (const ChainType family : oxa_core::ALL_CHAIN_TYPES) {
        const auto hash = oxa_lib::broadcast(family, c.url, signed_tx());
        ASSERT_FALSE(hash);
        EXPECT_EQ(hash.error().kind(), OxaLibError::Kind::InvalidInput);
        EXPECT_TRUE(hash.error().display().starts_with(c.error_start)) << hash.error().display();
    }
    const auto direct = oxa_lib::curl_post(c.url, "aa", "text/plain");
    ASSERT_FALSE(direct);
    EXPECT_EQ(direct.error().kind(), OxaLibError::Kind::InvalidInput);
    EXPECT_FALSE(fs::exists(calls())) << read_file(calls());
}

const char* const DASH_ERROR = "invalid input: RPC URL must not begin with '-': '";
const char* const NUL_ERROR = "invalid input: RPC URL must not contain a NUL character";

INSTANTIATE_TEST_SUITE_P(
    Mend, RpcUrlRefusal,
    testing::Values(RefusedUrl{"single_dash", "-", DASH_ERROR},
                    RefusedUrl{"short_option", "-Kfile", DASH_ERROR},
                    RefusedUrl{"long_option", "--config=/etc/passwd", DASH_ERROR},
                    RefusedUrl{"dash_then_url", "-http://127.0.0.1:9/", DASH_ERROR},
                    RefusedUrl{"nul_inside", "http://127.0.0.1:9/\0-K/etc/passwd"s, NUL_ERROR},
                    RefusedUrl{"nul_at_end", "http://127.0.0.1:9/\0"s, NUL_ERROR}),
    [](const auto& info) { return std::string(info.param.name); });

// Running a program -----------------------------------------------------------

constexpr std::size_t OUTPUT_LIMIT = 4 << 20;

TEST(RunProcess, MissingProgramFailsWithEnoent) {
    const auto run = oxa_lib::run_process({"oxa-test-no-such-program"}, OUTPUT_LIMIT);
    ASSERT_FALSE(run);
    EXPECT_EQ(run.error().kind, ProcessFailure::Kind::NotStarted);
    EXPECT_EQ(run.error().os_error, ENOENT);
}

TEST(RunProcess, EmptyArgumentListIsRefused) {
    const auto run = oxa_lib::run_process({}, OUTPUT_LIMIT);
    ASSERT_FALSE(run);
    EXPECT_EQ(run.error().kind, ProcessFailure::Kind::NotStarted);
    EXPECT_EQ(run.error().os_error, EINVAL);
}

/// Puts a pipe holding `text` (write end closed) on standard input for the
/// life of the object.
class StdinHolding {
public:
    explicit StdinHolding(std::string_view text) : m_saved(::dup(STDIN_FILENO)) {
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
        if (::write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            throw std::runtime_error("write failed");
        }
        ::close(fds[1]);
        ::dup2(fds[0], STDIN_FILENO);
        ::close(fds[0]);
    }
    StdinHolding(const StdinHolding&) = delete;
    StdinHolding& operator=(const StdinHolding&) = delete;
    ~StdinHolding() {
        ::dup2(m_saved, STDIN_FILENO);
        ::close(m_saved);
    }

private:
    int m_saved;
};

TEST(RunProcess, ChildReadsAnEmptyStandardInput) {
    const StdinHolding parent_input("not for the child\n");
    const auto run = oxa_lib::run_process({"cat"}, OUTPUT_LIMIT);
    ASSERT_TRUE(run);
    EXPECT_EQ(run.value().status, ExitStatus::Succeeded);
    EXPECT_EQ(run.value().standard_output, "");
    EXPECT_EQ(run.value().standard_error, "");
}

struct ExitCase {
    const char* name;
    std::vector<std::string> argv;
    ExitStatus status;
    std::string standard_output;
};
void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

class RunProcessExit : public testing::TestWithParam<ExitCase> {};

TEST_P(RunProcessExit, OnlyStatusZeroIsSuccess) {
    const auto run = oxa_lib::run_process(GetParam().argv, OUTPUT_LIMIT);
    ASSERT_TRUE(run);
    EXPECT_EQ(run.value().status, GetParam().status);
    EXPECT_EQ(run.value().standard_output, GetParam().standard_output);
}
INSTANTIATE_TEST_SUITE_P(
    Exits, RunProcessExit,
    testing::Values(ExitCase{"true", {"true"}, ExitStatus::Succeeded, ""},
                    ExitCase{"echo", {"echo", "a b", "-c"}, ExitStatus::Succeeded, "a b -c\n"},
                    ExitCase{"false", {"false"}, ExitStatus::Failed, ""},
                    ExitCase{"status_3",
                             {"python3", "-c", "import sys; print('x'); sys.exit(3)"},
                             ExitStatus::Failed,
                             "x\n"},
                    ExitCase{"killed",
                             {"python3", "-c",
                              "import os, signal; os.kill(os.getpid(), signal.SIGKILL)"},
                             ExitStatus::Failed,
                             ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct FloodCase {
    const char* name;
    const char* first_stream;
    const char* second_stream;
};
void PrintTo(const FloodCase& c, std::ostream* os) { *os << c.name; }

class RunProcessFlood : public testing::TestWithParam<FloodCase> {};

TEST_P(RunProcessFlood, ReadWithoutStall) {
    constexpr std::size_t BYTES = 2 << 20;
    const std::string program =
        std::string("import sys\n") + "sys." + GetParam().first_stream + ".write('x' * " +
        std::to_string(BYTES) + ")\n" + "sys." + GetParam().first_stream + ".flush()\n" + "sys." +
        GetParam().second_stream + ".write('x' * " + std::to_string(BYTES) + ")\n";
    const auto run = oxa_lib::run_process({"python3", "-c", program}, OUTPUT_LIMIT);
    ASSERT_TRUE(run);
    EXPECT_EQ(run.value().status, ExitStatus::Succeeded)
        << run.value().standard_error.substr(0, 200);
    EXPECT_EQ(run.value().standard_output, std::string(BYTES, 'x'));
    EXPECT_EQ(run.value().standard_error, std::string(BYTES, 'x'));
}
INSTANTIATE_TEST_SUITE_P(Streams, RunProcessFlood,
                         testing::Values(FloodCase{"error_first", "stderr", "stdout"},
                                         FloodCase{"output_first", "stdout", "stderr"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct LimitCase {
    const char* name;
    const char* stream;
    std::size_t chunk_bytes;
    int chunks;
    bool too_large;
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

// Not a multiple of the read size, so the last read crosses it.
constexpr std::size_t SMALL_LIMIT = 100000;

class OutputLimit : public testing::TestWithParam<LimitCase> {};

TEST_P(OutputLimit, KillsTheChildPastIt) {
    const LimitCase& c = GetParam();
    const std::string program = std::string("import sys\nfor _ in range(") +
                                std::to_string(c.chunks) + "):\n    sys." + c.stream +
                                ".write('x' * " + std::to_string(c.chunk_bytes) + ")\n";
    const auto run = oxa_lib::run_process({"python3", "-c", program}, SMALL_LIMIT);
    if (c.too_large) {
        ASSERT_FALSE(run);
        EXPECT_EQ(run.error().kind, ProcessFailure::Kind::OutputTooLarge);
    } else {
        ASSERT_TRUE(run);
        EXPECT_EQ(run.value().status, ExitStatus::Succeeded);
        EXPECT_EQ(run.value().standard_output.size() + run.value().standard_error.size(),
                  c.chunk_bytes * static_cast<std::size_t>(c.chunks));
    }
    EXPECT_TRUE(no_child_left());
}
INSTANTIATE_TEST_SUITE_P(
    Limits, OutputLimit,
    testing::Values(LimitCase{"out_at", "stdout", SMALL_LIMIT, 1, false},
                    LimitCase{"err_at", "stderr", SMALL_LIMIT, 1, false},
                    LimitCase{"out_past", "stdout", SMALL_LIMIT + 1, 1, true},
                    LimitCase{"err_past", "stderr", SMALL_LIMIT + 1, 1, true},
                    // 64 MiB: as good as endless, yet bounded if the limit failed.
                    LimitCase{"out_flood", "stdout", 64 << 10, 1024, true},
                    LimitCase{"err_flood", "stderr", 64 << 10, 1024, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunProcess, ReadErrorKillsAndReapsTheChild) {
    const FailingPipeReads failing;
    // More than a pipe holds: left alone, the child would wait for a reader
    // until its alarm ends it.
    const auto run = oxa_lib::run_process(
        {"python3", "-c",
         "import signal, sys\nsignal.alarm(10)\nsys.stdout.write('x' * (1 << 20))\n"},
        OUTPUT_LIMIT);
    ASSERT_FALSE(run);
    EXPECT_EQ(run.error().kind, ProcessFailure::Kind::ReadFailed);
    EXPECT_EQ(run.error().os_error, EIO);
    EXPECT_TRUE(no_child_left());
}

}  // namespace
