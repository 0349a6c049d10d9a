#include "send_status.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "mailcore/result_code.h"

namespace outlark_tool {
namespace {

using mailcore::SendStatus;
using mailcore::ToInt;

constexpr std::array<std::pair<std::int32_t, std::string_view>, 11> kStatusMessages = {{
    {ToInt(SendStatus::Sent), "the message was accepted by the server"},
    {ToInt(SendStatus::NotStarted), "the send could not be started"},
    {ToInt(SendStatus::ConnectFailed), "no SMTP session could be opened with the server"},
    {ToInt(SendStatus::HeloRefused), "HELO (or EHLO) was refused or not answered (no 250 reply)"},
    {ToInt(SendStatus::MailRefused), "the sender was refused or not answered (MAIL FROM got no 250 reply)"},
    {ToInt(SendStatus::RcptRefused), "the recipient was refused or not answered (RCPT TO got no 250 reply)"},
    {ToInt(SendStatus::DataRefused),
     "the message was refused or not answered (DATA got no 354 reply, or the message no 250 reply)"},
    {ToInt(SendStatus::AttachmentUnreadable), "the attachment is missing, unreadable or not a regular file"},
    {ToInt(SendStatus::AuthRefused), "the server refused the log-in (AUTH), or offered no PLAIN or LOGIN"},
    {ToInt(SendStatus::TlsFailed),
     "the secure connection failed (STARTTLS missing or refused, TLS handshake or certificate); nothing was "
     "sent in plain text"},
    {ToInt(SendStatus::MissingArgument), "the server, recipient or sender is empty or holds a line break"},
}};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The probe's own descriptor.
struct Socket {
    int fd;
    explicit Socket(int descriptor) : fd(descriptor) {}
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
};

// 0 connected, else the errno of the attempt (ETIMEDOUT when nothing answered in time).
int ProbeConnect(const addrinfo& target, int timeout_ms) {
    Socket probe(::socket(target.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (probe.fd < 0) return errno;
    if (::connect(probe.fd, target.ai_addr, target.ai_addrlen) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    pollfd waiting{probe.fd, POLLOUT, 0};
    int ready = ::poll(&waiting, 1, timeout_ms);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(probe.fd, SOL_SOCKET, SO_ERROR, &error, &length);
    return error;
}

}  // namespace

std::string_view StatusMessage(std::int32_t status) {
    for (const auto& [code, message] : kStatusMessages) {
        if (code == status) return message;
    }
    return "an unknown result";
}

std::string PortProblem(std::int64_t port) {
    if (port >= 1 && port <= 65535) return "";
    return "the port " + std::to_string(port) + " is outside 1..65535";
}

std::string ConnectFailureCause(const std::string& host, std::int32_t port, bool by_address,
                                std::int32_t timeout_seconds, const mailcore::Failure& failure) {
    std::string where = Quoted(host) + " port " + std::to_string(port);
    // A numeric address fails to resolve for two reasons (not numeric, no reverse entry): the probe tells.
    if (failure.kind == mailcore::FailureKind::Resolve && !by_address)
        return "the host name " + Quoted(host) + " could not be resolved (" + mailcore::FailureText(failure) +
               ")";
    if (failure.kind == mailcore::FailureKind::ConnectRefused)
        return "the connection to " + where + " was refused";
    if (failure.kind == mailcore::FailureKind::Cancelled) return "the send was cancelled";
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    if (by_address) hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        if (by_address) return Quoted(host) + " is not a numeric address (--by-addr wants one)";
        return "the host name " + Quoted(host) + " could not be resolved (" + ::gai_strerror(rc) + ")";
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
    if (by_address) {
        char name[NI_MAXHOST];
        if (::getnameinfo(found->ai_addr, found->ai_addrlen, name, sizeof name, nullptr, 0, NI_NAMEREQD) != 0)
            return "the address " + Quoted(host) + " has no reverse (PTR) entry, which --by-addr needs";
    }
    int timeout_ms = timeout_seconds > 0 && timeout_seconds < 10 ? timeout_seconds * 1000 : 10000;
    int error = 0;
    for (addrinfo* target = found; target; target = target->ai_next) {
        error = ProbeConnect(*target, timeout_ms);
        if (error == 0) return "the server at " + where + " took the connection but sent no greeting";
        if (by_address) break;
    }
    if (error == ECONNREFUSED) return "the connection to " + where + " was refused";
    if (error == ETIMEDOUT) return "the server at " + where + " did not answer the connection";
    return "the server at " + where + " could not be reached (" + std::strerror(error) + ")";
}

}  // namespace outlark_tool
