#include "mailcore/tcp_stream.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace mailcore {

namespace {

socklen_t AddressLength(const sockaddr_storage& address) {
    return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

// Numeric IPv4 (or, beyond the original, IPv6) text to an address.
bool ParseNumeric(const std::string& text, sockaddr_storage& address) {
    address = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        return true;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        return true;
    }
    return false;
}

StreamStatus Failed(FailureKind kind, int error = 0) { return {kind, error}; }

StreamStatus IoFailure(int error) {
    switch (error) {
        case ECONNREFUSED:
            return Failed(FailureKind::ConnectRefused, error);
        case ETIMEDOUT:
            return Failed(FailureKind::TimedOut, error);
        case ECONNRESET:
        case EPIPE:
            return Failed(FailureKind::Closed, error);
        default:
            return Failed(FailureKind::Io, error);
    }
}

}  // namespace

std::string EndpointText(const Endpoint& endpoint) {
    const bool v6 = endpoint.host.find(':') != std::string::npos;
    return (v6 ? "[" + endpoint.host + "]" : endpoint.host) + ":" + std::to_string(endpoint.port);
}

Resolver SystemResolver() {
    Resolver resolver;
    resolver.lookUp = [](const std::string& host) {
        std::vector<sockaddr_storage> out;
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return out;
        for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
            if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
            sockaddr_storage address{};
            std::memcpy(&address, a->ai_addr, std::min<std::size_t>(a->ai_addrlen, sizeof address));
            out.push_back(address);
        }
        ::freeaddrinfo(list);
        return out;
    };
    resolver.hasReverseEntry = [](const sockaddr_storage& address) {
        char name[NI_MAXHOST];
        return ::getnameinfo(reinterpret_cast<const sockaddr*>(&address), AddressLength(address), name,
                             sizeof name, nullptr, 0, NI_NAMEREQD) == 0;
    };
    return resolver;
}

TcpStream::TcpStream(Resolver resolver)
    : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), resolver_(std::move(resolver)) {}

TcpStream::~TcpStream() = default;

bool TcpStream::Open() {
    Close();
    if (!wake_) wake_ = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    return static_cast<bool>(wake_);
}

void TcpStream::Close() {
    Cancel();
    fd_.Reset();
    if (wake_) {
        std::uint64_t count;
        while (::read(wake_.get(), &count, sizeof count) > 0) {
        }
    }
    abort_.store(false, std::memory_order_release);
}

void TcpStream::Cancel() {
    abort_.store(true, std::memory_order_release);
    if (wake_) {
        std::uint64_t one = 1;
        // Only fails when the counter is near overflow, and then it is readable anyway.
        [[maybe_unused]] ssize_t n = ::write(wake_.get(), &one, sizeof one);
    }
}

StreamStatus TcpStream::WaitUntil(short events, StreamClock::time_point deadline) {
    for (;;) {
        if (IsCancelled()) return Failed(FailureKind::Cancelled);
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - StreamClock::now()).count();
        pollfd fds[2] = {{fd_.get(), events, 0}, {wake_.get(), POLLIN, 0}};
        int n = ::poll(fds, wake_ ? 2 : 1, static_cast<int>(std::clamp<long long>(left, 0, INT_MAX)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return IoFailure(errno);
        }
        if (IsCancelled() || (wake_ && fds[1].revents != 0)) return Failed(FailureKind::Cancelled);
        // An error or hang-up counts as ready: the read or write that follows tells which.
        if (fds[0].revents != 0) return {};
        if (left <= 0) return Failed(FailureKind::TimedOut);
    }
}

StreamStatus TcpStream::Wait(Direction direction, std::int32_t timeoutMs) {
    if (!fd_) return Failed(FailureKind::NotConnected);
    return WaitUntil(direction == Direction::kRead ? POLLIN : POLLOUT,
                     StreamClock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0)));
}

StreamStatus TcpStream::Connect(const Endpoint& endpoint, StreamClock::time_point deadline) {
    fd_.Reset();
    sockaddr_storage numeric;
    const bool isNumeric = ParseNumeric(endpoint.host, numeric);
    if (endpoint.rule == AddressRule::kAddress || (endpoint.rule == AddressRule::kEither && isNumeric)) {
        // Only a numeric address whose reverse entry exists is tried.
        if (!isNumeric || !resolver_.hasReverseEntry || !resolver_.hasReverseEntry(numeric)) {
            return Failed(FailureKind::Resolve);
        }
        return ConnectTo(numeric, endpoint.port, deadline);
    }
    std::vector<sockaddr_storage> addresses =
        resolver_.lookUp ? resolver_.lookUp(endpoint.host) : std::vector<sockaddr_storage>{};
    auto pick =
        std::find_if(addresses.begin(), addresses.end(), [](auto& a) { return a.ss_family == AF_INET; });
    if (pick == addresses.end()) {
        pick =
            std::find_if(addresses.begin(), addresses.end(), [](auto& a) { return a.ss_family == AF_INET6; });
    }
    if (pick == addresses.end()) return Failed(FailureKind::Resolve);
    return ConnectTo(*pick, endpoint.port, deadline);
}

StreamStatus TcpStream::ConnectTo(const sockaddr_storage& target, std::int32_t port,
                                  StreamClock::time_point deadline) {
    if (port < 1 || port > 65535) return Failed(FailureKind::BadArgument);
    if (IsCancelled()) return Failed(FailureKind::Cancelled);
    sockaddr_storage address = target;
    if (address.ss_family == AF_INET) {
        reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(static_cast<std::uint16_t>(port));
    } else {
        reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(static_cast<std::uint16_t>(port));
    }
    fd_ = UniqueFd(::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd_) return IoFailure(errno);
    // Commands go out as single writes and wait for their reply: Nagle would only add delay.
    int one = 1;
    ::setsockopt(fd_.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), AddressLength(address)) == 0)
        return {};
    if (errno != EINPROGRESS) {
        StreamStatus status = IoFailure(errno);
        fd_.Reset();
        return status;
    }
    StreamStatus status = WaitUntil(POLLOUT, deadline);
    if (status.Ok()) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        if (error != 0) status = IoFailure(error);
    }
    if (!status.Ok()) fd_.Reset();
    return status;
}

StreamStatus TcpStream::Read(char* buffer, std::size_t size, std::size_t& received) {
    received = 0;
    if (!fd_) return Failed(FailureKind::NotConnected);
    for (;;) {
        ssize_t n = ::recv(fd_.get(), buffer, size, 0);
        if (n > 0) {
            received = static_cast<std::size_t>(n);
            return {};
        }
        if (n == 0) return Failed(FailureKind::Closed);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
        return IoFailure(errno);
    }
}

StreamStatus TcpStream::Write(const char* data, std::size_t size, std::size_t& sent) {
    sent = 0;
    if (!fd_) return Failed(FailureKind::NotConnected);
    for (;;) {
        ssize_t n = ::send(fd_.get(), data, size, MSG_NOSIGNAL);
        if (n >= 0) {
            sent = static_cast<std::size_t>(n);
            return {};
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
        return IoFailure(errno);
    }
}

std::size_t TcpStream::Pending() {
    int waiting = 0;
    if (!fd_ || ::ioctl(fd_.get(), FIONREAD, &waiting) != 0 || waiting < 0) return 0;
    return static_cast<std::size_t>(waiting);
}

StreamStatus TcpStream::StartTls(const std::string& /*host*/) { return Failed(FailureKind::Io, ENOTSUP); }

}  // namespace mailcore
