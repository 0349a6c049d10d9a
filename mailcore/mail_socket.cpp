#include "mailcore/mail_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "mailcore/large_buffer.h"

namespace mailcore {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes taken from the kernel per receive call; replies are still cut at their own line ends.
constexpr std::size_t kReadChunk = 64 * 1024;
// Bytes taken per receive call while a message is read straight into its reply.
constexpr std::size_t kBulkChunk = 256 * 1024;

Clock::time_point DeadlineAfter(std::int32_t ms) {
    return Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
}

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

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool EndsReply(ReplyMode mode, std::string_view reply, std::string_view line, std::string_view terminator) {
    switch (mode) {
        case ReplyMode::OneLine:
            return true;
        case ReplyMode::UntilFinalLine:
            return line.size() > 3 && line[0] != ' ' && line[0] != '\t' && line[3] == ' ';
        case ReplyMode::UntilTerminator:
            if (EndsWith(reply, terminator)) return true;
            // An empty message is its end line alone: without this a POP3 "+OK" for a message of zero
            // bytes would wait for the time-out.
            return terminator.size() > 2 && terminator.substr(0, 2) == "\r\n" &&
                   reply == terminator.substr(2);
    }
    return false;
}

}  // namespace

void DotUnstuff(std::string& text) {
    static constexpr std::string_view kStuffed = "\r\n..";
    std::size_t hit = text.find(kStuffed);
    if (hit == std::string::npos) return;
    char* data = text.data();
    std::size_t write = 0;
    std::size_t read = 0;
    // Every later match starts at or after `read`, in the part not yet moved, because the byte after a
    // removed dot cannot begin a new CR LF "." "." that overlaps the old one.
    while (hit != std::string::npos) {
        std::size_t keep = hit + 3 - read;  // up to and including the first dot
        std::memmove(data + write, data + read, keep);
        write += keep;
        read = hit + 4;
        hit = text.find(kStuffed, read);
    }
    std::memmove(data + write, data + read, text.size() - read);
    text.resize(write + text.size() - read);
}

MailSocket::Resolver MailSocket::SystemResolver() {
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

MailSocket::MailSocket() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), resolver_(SystemResolver()) {}

MailSocket::~MailSocket() = default;

std::int32_t MailSocket::Open() {
    Close();
    if (!wake_) wake_ = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    return wake_ ? 1 : 0;
}

void MailSocket::Close() {
    Cancel();
    fd_.Reset();
    readAhead_.clear();
    readAhead_.shrink_to_fit();
    readPos_ = 0;
    if (wake_) {
        std::uint64_t count;
        while (::read(wake_.get(), &count, sizeof count) > 0) {
        }
    }
    abort_.store(0, std::memory_order_release);
}

std::int32_t MailSocket::Cancel() {
    abort_.store(1, std::memory_order_release);
    if (wake_) {
        std::uint64_t one = 1;
        // Only fails when the counter is near overflow, and then it is readable anyway.
        [[maybe_unused]] ssize_t n = ::write(wake_.get(), &one, sizeof one);
    }
    return 0;
}

int MailSocket::Wait(short events, std::int32_t timeoutMs) {
    auto deadline = DeadlineAfter(timeoutMs);
    for (;;) {
        if (Aborted()) return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd fds[2] = {{fd_.get(), events, 0}, {wake_.get(), POLLIN, 0}};
        int n = ::poll(fds, wake_ ? 2 : 1, static_cast<int>(std::clamp<long long>(left, 0, INT_MAX)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (Aborted() || (wake_ && fds[1].revents != 0)) return -1;
        if (fds[0].revents != 0) return 1;
        if (left <= 0) return 0;
    }
}

std::int32_t MailSocket::ConnectToName(const std::string& host, std::int32_t port) {
    std::vector<sockaddr_storage> addresses =
        resolver_.lookUp ? resolver_.lookUp(host) : std::vector<sockaddr_storage>{};
    auto pick =
        std::find_if(addresses.begin(), addresses.end(), [](auto& a) { return a.ss_family == AF_INET; });
    if (pick == addresses.end()) {
        pick =
            std::find_if(addresses.begin(), addresses.end(), [](auto& a) { return a.ss_family == AF_INET6; });
    }
    if (pick == addresses.end()) return -1;
    return ConnectTo(*pick, port);
}

std::int32_t MailSocket::ConnectToAddress(const std::string& address, std::int32_t port) {
    sockaddr_storage numeric;
    if (!ParseNumeric(address, numeric)) return -1;
    if (!resolver_.hasReverseEntry || !resolver_.hasReverseEntry(numeric)) return -1;
    return ConnectTo(numeric, port);
}

std::int32_t MailSocket::ConnectToEither(const std::string& text, std::int32_t port) {
    sockaddr_storage numeric;
    return ParseNumeric(text, numeric) ? ConnectToAddress(text, port) : ConnectToName(text, port);
}

std::int32_t MailSocket::ConnectTo(const sockaddr_storage& target, std::int32_t port) {
    fd_.Reset();
    readAhead_.clear();
    readPos_ = 0;
    if (port < 1 || port > 65535 || Aborted()) return 0;
    sockaddr_storage address = target;
    if (address.ss_family == AF_INET) {
        reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(static_cast<std::uint16_t>(port));
    } else {
        reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(static_cast<std::uint16_t>(port));
    }
    fd_ = UniqueFd(::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd_) return 0;
    // Commands go out as single writes and wait for their reply: Nagle would only add delay.
    int one = 1;
    ::setsockopt(fd_.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), AddressLength(address)) == 0)
        return 1;
    if (errno != EINPROGRESS || Wait(POLLOUT, sendTimeoutMs_) != 1) {
        fd_.Reset();
        return 0;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        fd_.Reset();
        return 0;
    }
    return 1;
}

std::int32_t MailSocket::SendText(std::string_view text) {
    if (!fd_) return -1;
    if (observer_) observer_(text);
    std::size_t sent = 0;
    while (sent < text.size()) {
        std::size_t end = sent + std::min(sendChunkSize_, text.size() - sent);
        while (sent < end) {
            if (Aborted()) return -1;
            ssize_t n = ::send(fd_.get(), text.data() + sent, end - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n == 0) return 0;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
            if (Wait(POLLOUT, sendTimeoutMs_) != 1) return -1;
        }
    }
    return static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
}

int MailSocket::ReceiveBulk(std::string& reply, std::string_view terminator, std::size_t limit) {
    // A terminator that ends with LF ends the reply at its first occurrence, wherever the line ends fall,
    // so the data can go straight into the reply and be searched there.
    const std::size_t old = reply.size();
    if (reply.capacity() - old < kBulkChunk) {
        ReserveLarge(reply, std::max(reply.capacity() * 2, old + kBulkChunk));
    }
    reply.resize(old + kBulkChunk);
    ssize_t n = ::recv(fd_.get(), reply.data() + old, kBulkChunk, 0);
    reply.resize(old + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (n == 0) return -1;  // the peer closed the connection
    if (n < 0) return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    std::string_view data = reply;
    std::size_t end = std::string_view::npos;
    const std::string_view endLine = terminator.substr(2);
    if (old < endLine.size() && data.starts_with(endLine) && terminator.starts_with("\r\n")) {
        end = endLine.size();  // an empty message: its end line alone
    } else {
        std::size_t from = old >= terminator.size() ? old - (terminator.size() - 1) : 0;
        std::size_t at = data.find(terminator, from);
        if (at != std::string_view::npos) end = at + terminator.size();
    }
    if (end == std::string_view::npos) return reply.size() >= limit ? -1 : 0;
    if (end >= limit) return -1;
    readAhead_.assign(data.substr(end));
    readPos_ = 0;
    reply.resize(end);
    return 1;
}

bool MailSocket::Fail(std::string& reply, std::size_t capacity) {
    if (capacity == 0) {
        std::string().swap(reply);
    } else if (reply.size() > capacity - 1) {
        reply.resize(capacity - 1);
    }
    return false;
}

bool MailSocket::ReadReply(std::string& reply, ReplyMode mode, std::string_view terminator,
                           std::size_t capacity) {
    reply.clear();
    const std::size_t limit = capacity > 0 ? capacity - 1 : replyLimit_;
    std::size_t lineStart = 0;
    auto lastData = Clock::now();
    for (;;) {
        if (!fd_ || Aborted()) return Fail(reply, capacity);
        if (readPos_ < readAhead_.size()) {
            const char* begin = readAhead_.data() + readPos_;
            const std::size_t available = readAhead_.size() - readPos_;
            const char* lf = static_cast<const char*>(std::memchr(begin, '\n', available));
            const std::size_t take = lf != nullptr ? static_cast<std::size_t>(lf - begin) + 1 : available;
            readPos_ += take;
            if (reply.size() + take >= limit) {
                reply.append(begin, std::min(take, limit - std::min(limit, reply.size())));
                return Fail(reply, capacity);
            }
            reply.append(begin, take);
            if (lf == nullptr) continue;
            std::string_view line = std::string_view(reply).substr(lineStart);
            lineStart = reply.size();
            if (EndsReply(mode, reply, line, terminator)) {
                if (observer_) observer_(reply);
                return true;
            }
            continue;
        }
        auto silence = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastData).count();
        auto left = static_cast<std::int32_t>(std::max<long long>(receiveTimeoutMs_ - silence, 0));
        if (Wait(POLLIN, left) != 1) return Fail(reply, capacity);
        if (mode == ReplyMode::UntilTerminator && capacity == 0 && terminator.size() > 2 &&
            terminator.back() == '\n') {
            int done = ReceiveBulk(reply, terminator, limit);
            if (done < 0) return Fail(reply, capacity);
            if (done > 0) {
                if (observer_) observer_(reply);
                return true;
            }
            lastData = Clock::now();
            continue;
        }
        readAhead_.resize(kReadChunk);
        readPos_ = 0;
        ssize_t n = ::recv(fd_.get(), readAhead_.data(), readAhead_.size(), 0);
        if (n > 0) {
            readAhead_.resize(static_cast<std::size_t>(n));
            lastData = Clock::now();
            continue;
        }
        readAhead_.clear();
        if (n == 0) return Fail(reply, capacity);  // the peer closed the connection
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return Fail(reply, capacity);
    }
}

}  // namespace mailcore
