#pragma once
// A recording HTTP/1.1 server for tests. It listens on 127.0.0.1 at an
// ephemeral port, serves one connection at a time on its own thread, answers
// each request with a canned (or bounded streamed) response and closes the
// connection. The destructor stops and joins it; a stalled client is dropped
// after a few seconds, so a test never hangs on it.

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace oxa_test {

struct HttpRequest {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;  // as received, in order
    std::string body;

    /// The first header of that name, letter case ignored; "" when absent.
    std::string header(std::string_view name) const;
};

struct HttpResponse {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // besides Content-Length
};

class HttpTestServer {
public:
    /// Starts listening; every path answers `fallback` until told otherwise.
    explicit HttpTestServer(HttpResponse fallback = {});
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;
    ~HttpTestServer();

    /// "http://127.0.0.1:<port>", without a trailing slash.
    std::string url() const;
    /// The answer for requests to exactly `path`.
    void respond(std::string path, HttpResponse response);
    /// The answer for every path without one of its own.
    void respond_to_all(HttpResponse response);
    /// Answers every request with `chunk` over and over, without a length,
    /// until `total_bytes` went out or the client hung up: an endpoint whose
    /// answer does not end, within bounds.
    void stream_to_all(std::string chunk, std::size_t total_bytes);
    /// Every complete request received so far, oldest first.
    std::vector<HttpRequest> requests() const;

private:
    struct Stream {
        std::string chunk;
        std::size_t total_bytes;
    };

    void serve();
    void handle(int connection);
    HttpResponse response_for(const std::string& path) const;
    std::optional<Stream> stream() const;

    int m_listen_fd = -1;
    int m_wake_read = -1;
    int m_wake_write = -1;
    std::uint16_t m_port = 0;
    mutable std::mutex m_mutex;
    HttpResponse m_fallback;
    std::map<std::string, HttpResponse> m_by_path;
    std::optional<Stream> m_stream;
    std::vector<HttpRequest> m_requests;
    std::thread m_thread;
};

}  // namespace oxa_test
