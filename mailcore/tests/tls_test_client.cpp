#include "mailcore/tests/tls_test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace mailcore::testing {
namespace {

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

TlsTestClient::TlsTestClient(std::chrono::milliseconds timeout)
    : timeout_(timeout), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

std::string TlsTestClient::Connect(const std::string& address, int port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &target.sin_addr) != 1) return "not an IPv4 address: " + address;
    fd_ = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd_) return Errno("socket");
    if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        return Errno("connect");
    }
    return {};
}

std::string TlsTestClient::ReadPlainLine(std::string* line) {
    line->clear();
    for (;;) {
        pollfd pfd{fd_.get(), POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(timeout_.count())) <= 0) return "no plain line in time";
        char c = 0;
        const ssize_t n = ::recv(fd_.get(), &c, 1, 0);
        if (n <= 0) return n == 0 ? "closed" : Errno("recv");
        if (c == '\n') break;
        *line += c;
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return {};
}

std::string TlsTestClient::SendPlain(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::send(fd_.get(), text.data(), text.size(), MSG_NOSIGNAL);
        if (n < 0) return Errno("send");
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

Result<void> TlsTestClient::StartTls(const std::string& host, const TlsSettings& settings) {
    tls_ = std::make_unique<TlsStream>(fd_.get(), wake_.get());
    return tls_->Handshake(host, settings, TlsStream::Clock::now() + timeout_);
}

std::string TlsTestClient::ReadLine(std::string* line) {
    for (;;) {
        const std::size_t eol = buffer_.find('\n');
        if (eol != std::string::npos) {
            *line = buffer_.substr(0, eol);
            buffer_.erase(0, eol + 1);
            if (!line->empty() && line->back() == '\r') line->pop_back();
            return {};
        }
        char chunk[4096];
        Result<std::size_t> got = tls_->Read(chunk, sizeof chunk);
        if (!got) return FailureText(got.error());
        if (*got > 0) {
            buffer_.append(chunk, *got);
            continue;
        }
        if (Result<void> ready = tls_->Wait(TlsStream::Direction::kRead, static_cast<int>(timeout_.count()));
            !ready) {
            return FailureText(ready.error());
        }
    }
}

std::string TlsTestClient::Send(std::string_view text) {
    while (!text.empty()) {
        Result<std::size_t> sent = tls_->Write(text.data(), text.size());
        if (!sent) return FailureText(sent.error());
        text.remove_prefix(*sent);
        if (*sent > 0) continue;
        if (Result<void> ready = tls_->Wait(TlsStream::Direction::kWrite, static_cast<int>(timeout_.count()));
            !ready) {
            return FailureText(ready.error());
        }
    }
    return {};
}

std::string TlsTestClient::Ask(std::string_view command) {
    if (std::string error = Send(std::string(command) + "\r\n"); !error.empty()) return error;
    std::string line;
    if (std::string error = ReadLine(&line); !error.empty()) return error;
    return line;
}

void TlsTestClient::Cancel() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
}

}  // namespace mailcore::testing
