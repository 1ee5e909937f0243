#include "http_test_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <optional>
#include <stdexcept>

namespace oxa_test {

namespace {

// A client that stops talking for this long is dropped.
constexpr int CLIENT_TIMEOUT_SECONDS = 5;
constexpr std::size_t MAX_HEADER_BYTES = 64 * 1024;

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

/// Appends what arrives next; false on end of stream, error or timeout.
bool receive_more(int fd, std::string& data) {
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
}

bool send_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void set_timeouts(int fd) {
    const timeval limit{CLIENT_TIMEOUT_SECONDS, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

/// Fills method, path and headers from the head of a request (without its blank line).
bool parse_head(std::string_view head, HttpRequest& request) {
    const auto line_end = head.find("\r\n");
    const std::string_view request_line = head.substr(0, line_end);
    const auto first_space = request_line.find(' ');
    const auto second_space = request_line.find(' ', first_space + 1);
    if (first_space == std::string_view::npos || second_space == std::string_view::npos) {
        return false;
    }
    request.method = request_line.substr(0, first_space);
    request.path = request_line.substr(first_space + 1, second_space - first_space - 1);
    std::string_view rest = line_end == std::string_view::npos ? "" : head.substr(line_end + 2);
    while (!rest.empty()) {
        const auto end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? "" : rest.substr(end + 2);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) return false;
        request.headers.emplace_back(std::string(line.substr(0, colon)),
                                     std::string(trim_blanks(line.substr(colon + 1))));
    }
    return true;
}

std::optional<HttpRequest> read_request(int fd) {
    std::string data;
    std::size_t head_end;
    while ((head_end = data.find("\r\n\r\n")) == std::string::npos) {
        if (data.size() > MAX_HEADER_BYTES || !receive_more(fd, data)) return std::nullopt;
    }
    HttpRequest request;
    if (!parse_head(std::string_view(data).substr(0, head_end), request)) return std::nullopt;
    request.body = data.substr(head_end + 4);
    const std::string length_text = request.header("Content-Length");
    std::size_t length = 0;
    if (!length_text.empty()) {
        const auto [end, error] =
            std::from_chars(length_text.data(), length_text.data() + length_text.size(), length);
        if (error != std::errc{} || end != length_text.data() + length_text.size()) {
            return std::nullopt;
        }
    }
    if (request.body.size() < length &&
        equal_ignoring_case(request.header("Expect"), "100-continue")) {
        if (!send_all(fd, "HTTP/1.1 100 Continue\r\n\r\n")) return std::nullopt;
    }
    while (request.body.size() < length) {
        if (!receive_more(fd, request.body)) return std::nullopt;
    }
    request.body.resize(length);
    return request;
}

std::string reason_phrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 307: return "Temporary Redirect";
        case 308: return "Permanent Redirect";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

std::string serialize(const HttpResponse& response) {
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                      reason_phrase(response.status) + "\r\n";
    for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
    out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += response.body;
    return out;
}

void send_stream(int fd, const std::string& chunk, std::size_t total_bytes) {
    if (!send_all(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")) return;
    for (std::size_t sent = 0; sent < total_bytes; sent += chunk.size()) {
        if (!send_all(fd, chunk)) return;
    }
}

}  // namespace

std::string HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (equal_ignoring_case(key, name)) return value;
    }
    return "";
}

HttpTestServer::HttpTestServer(HttpResponse fallback) : m_fallback(std::move(fallback)) {
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    m_wake_read = wake[0];
    m_wake_write = wake[1];
    m_listen_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen_fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(m_listen_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listen_fd, 16) != 0 ||
        ::getsockname(m_listen_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

HttpTestServer::~HttpTestServer() {
    const char stop = 's';
    while (::write(m_wake_write, &stop, 1) < 0 && errno == EINTR) {
    }
    if (m_thread.joinable()) m_thread.join();
    ::close(m_listen_fd);
    ::close(m_wake_read);
    ::close(m_wake_write);
}

std::string HttpTestServer::url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

void HttpTestServer::respond(std::string path, HttpResponse response) {
    std::lock_guard guard(m_mutex);
    m_by_path[std::move(path)] = std::move(response);
}

void HttpTestServer::respond_to_all(HttpResponse response) {
    std::lock_guard guard(m_mutex);
    m_fallback = std::move(response);
}

void HttpTestServer::stream_to_all(std::string chunk, std::size_t total_bytes) {
    std::lock_guard guard(m_mutex);
    m_stream = Stream{std::move(chunk), total_bytes};
}

std::optional<HttpTestServer::Stream> HttpTestServer::stream() const {
    std::lock_guard guard(m_mutex);
    return m_stream;
}

std::vector<HttpRequest> HttpTestServer::requests() const {
    std::lock_guard guard(m_mutex);
    return m_requests;
}

HttpResponse HttpTestServer::response_for(const std::string& path) const {
    std::lock_guard guard(m_mutex);
    const auto it = m_by_path.find(path);
    return it == m_by_path.end() ? m_fallback : it->second;
}

void HttpTestServer::serve() {
    for (;;) {
        pollfd fds[2] = {{m_listen_fd, POLLIN, 0}, {m_wake_read, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if (fds[0].revents == 0) continue;
        const int connection = ::accept4(m_listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        handle(connection);
        ::close(connection);
    }
}

void HttpTestServer::handle(int connection) {
    set_timeouts(connection);
    std::optional<HttpRequest> request = read_request(connection);
    if (!request) return;
    const HttpResponse response = response_for(request->path);
    const std::optional<Stream> streamed = stream();
    {
        std::lock_guard guard(m_mutex);
        m_requests.push_back(std::move(*request));
    }
    if (streamed) {
        send_stream(connection, streamed->chunk, streamed->total_bytes);
    } else {
        send_all(connection, serialize(response));
    }
    ::shutdown(connection, SHUT_WR);
}

}  // namespace oxa_test
