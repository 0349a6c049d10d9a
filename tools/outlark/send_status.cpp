#include "tools/outlark/send_status.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "mailcore/unique_fd.h"
#include "smtp/smtp_protocol.h"
#include "smtp/smtp_session.h"

namespace outlark_tool {
namespace {

constexpr std::array<std::pair<std::int32_t, std::string_view>, 8> kStatusMessages = {{
    {outlark::kSendOk, "the message was accepted by the server"},
    {outlark::kSendNotStarted, "the send could not be started"},
    {outlark::kSendConnectFailed, "no SMTP session could be opened with the server"},
    {outlark::kSendHeloRefused, "HELO was refused or not answered (no 250 reply)"},
    {outlark::kSendMailRefused, "the sender was refused or not answered (MAIL FROM got no 250 reply)"},
    {outlark::kSendRcptRefused, "the recipient was refused or not answered (RCPT TO got no 250 reply)"},
    {outlark::kSendDataRefused,
     "the message was refused or not answered (DATA got no 354 reply, or the message no 250 reply)"},
    {outlark::kSendMissingArgument, "the server, recipient or sender is empty or holds a line break"},
}};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// An address that does not fit its command line; the room is worked out by the component's own builder.
std::optional<std::string> TooLong(outlark::SmtpCommand command, std::string_view word, std::string_view what,
                                   std::string_view address) {
    if (outlark::BuildCommandLine(command, outlark::LineForm::kAddress, address).error !=
        outlark::CommandLineError::kTooLong)
        return std::nullopt;
    size_t room = outlark::kMaxCommandLine - word.size() - 4;  // "<", ">", CR LF
    return "the " + std::string(what) + " address is " + std::to_string(address.size()) +
           " bytes long; the " + std::string(word) + " line has room for " + std::to_string(room) +
           " bytes, so it cannot be sent";
}

// 0 connected, else the errno of the attempt (ETIMEDOUT when nothing answered in time).
int ProbeConnect(const addrinfo& target, int timeout_ms) {
    mailcore::UniqueFd fd(::socket(target.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) return errno;
    if (::connect(fd.get(), target.ai_addr, target.ai_addrlen) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    pollfd waiting{fd.get(), POLLOUT, 0};
    int ready = ::poll(&waiting, 1, timeout_ms);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length);
    return error;
}

}  // namespace

std::string_view StatusMessage(std::int32_t status) {
    for (const auto& [code, message] : kStatusMessages) {
        if (code == status) return message;
    }
    return "an unknown result";
}

std::optional<std::string> AddressProblem(std::string_view to, std::string_view from) {
    if (auto problem = TooLong(outlark::kRcpt, "RCPT TO:", "recipient", to)) return problem;
    return TooLong(outlark::kMail, "MAIL FROM:", "sender", from);
}

std::string MissingArgumentCause(std::string_view server, std::string_view to, std::string_view from) {
    for (auto [name, text] :
         {std::pair{"server", server}, std::pair{"recipient", to}, std::pair{"sender", from}}) {
        if (text.empty()) return std::string("the ") + name + " is empty";
        if (outlark::HasLineBreak(text)) return std::string("the ") + name + " holds a line break";
    }
    return "";
}

std::string PortProblem(std::int64_t port) {
    if (port >= 1 && port <= 65535) return "";
    return "the port " + std::to_string(port) + " is outside 1..65535";
}

std::string ConnectFailureCause(const std::string& host, std::int32_t port, bool by_address,
                                std::int32_t timeout_seconds) {
    std::string where = Quoted(host) + " port " + std::to_string(port);
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
