#include "testing/mail_servers_env/line_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace mirelo::mail_servers {
namespace {

constexpr size_t kMaxBuffered = 64u << 20;

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// poll() for one event, restarted after signals; false on time-out.
bool WaitFor(int fd, short events, std::chrono::milliseconds timeout) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, static_cast<int>(timeout.count()));
        if (n >= 0) return n > 0;
        if (errno != EINTR) return false;
    }
}

}  // namespace

LineConnection::~LineConnection() { Close(); }

LineConnection::LineConnection(LineConnection&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      timeout_(other.timeout_),
      buffer_(std::move(other.buffer_)),
      start_(std::exchange(other.start_, 0)) {}

LineConnection& LineConnection::operator=(LineConnection&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        timeout_ = other.timeout_;
        buffer_ = std::move(other.buffer_);
        start_ = std::exchange(other.start_, 0);
    }
    return *this;
}

void LineConnection::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    start_ = 0;
}

std::string LineConnection::Connect(const std::string& host, int port, std::chrono::milliseconds timeout) {
    Close();
    timeout_ = timeout;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) return "not an IPv4 address: " + host;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return Errno("socket");
    fd_ = fd;
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::string where = host + ":" + std::to_string(port);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS) {
            std::string error = Errno("connect to " + where);
            Close();
            return error;
        }
        if (!WaitFor(fd_, POLLOUT, timeout_)) {
            Close();
            return "connect to " + where + " timed out";
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError != 0) {
            Close();
            return "connect to " + where + ": " + std::strerror(soError);
        }
    }
    return {};
}

std::string LineConnection::Send(std::string_view data) {
    if (fd_ < 0) return "not connected";
    while (!data.empty()) {
        const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(fd_, POLLOUT, timeout_)) return "send timed out";
        } else {
            return Errno("send");
        }
    }
    return {};
}

std::string LineConnection::Fill() {
    if (start_ > 0) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    // Far above any test mail: a server that never ends a line fails the test instead of exhausting memory.
    if (buffer_.size() > kMaxBuffered) return "more than 64 MiB without a line end";
    if (!WaitFor(fd_, POLLIN, timeout_))
        return "no answer within " + std::to_string(timeout_.count()) + " ms";
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) {
            buffer_.append(chunk, static_cast<size_t>(n));
            return {};
        }
        if (n == 0) return "connection closed by the server";
        if (errno != EINTR) return Errno("recv");
    }
}

std::string LineConnection::ReadLine(std::string* line) {
    if (fd_ < 0) return "not connected";
    size_t scanned = 0;  // bytes after start_ already searched; Fill() keeps this offset valid
    for (;;) {
        const size_t lf = buffer_.find('\n', start_ + scanned);
        if (lf != std::string::npos) {
            size_t end = lf;
            if (end > start_ && buffer_[end - 1] == '\r') --end;
            line->assign(buffer_, start_, end - start_);
            start_ = lf + 1;
            return {};
        }
        scanned = buffer_.size() - start_;
        if (std::string error = Fill(); !error.empty()) return error;
    }
}

std::string LineConnection::ReadMultiline(std::string* text) {
    text->clear();
    std::string line;
    for (;;) {
        if (std::string error = ReadLine(&line); !error.empty()) return error;
        if (line == ".") return {};
        const std::string_view body = line.starts_with('.') ? std::string_view(line).substr(1) : line;
        text->append(body);
        text->append("\r\n");
    }
}

}  // namespace mirelo::mail_servers
