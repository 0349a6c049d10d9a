#include "send_command.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "mailcore/result_code.h"
#include "outlark/send_record.h"
#include "outlark/smtp_client.h"
#include "send_status.h"
#include "text_warnings.h"
#include "tools/common/password_source.h"

namespace outlark_tool {
namespace {

using mailcore::SendStatus;

// "host:port" names a port; a bare host (or an IPv6 address) keeps 25. The port, or nothing after a
// complaint.
std::optional<std::int64_t> SplitServer(std::string& host) {
    size_t colon = host.rfind(':');
    if (colon == std::string::npos || host.find(':') != colon) return 25;
    std::string digits = host.substr(colon + 1);
    host.resize(colon);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
        std::cerr << "outlark: the port \"" << digits << "\" is not a number from 1 to 65535\n";
        return std::nullopt;
    }
    if (std::string problem = PortProblem(value); !problem.empty()) {
        std::cerr << "outlark: " << problem << "\n";
        return std::nullopt;
    }
    return value;
}

outlark::SmtpServer Server(std::string host, std::int32_t port, std::int32_t send_timeout,
                           std::int32_t recv_timeout, bool by_address) {
    using std::chrono::seconds;
    return {std::move(host), port, seconds(send_timeout), seconds(recv_timeout), by_address};
}

// A send refused before any connection writes no record of its own; the log should still show the attempt.
void WriteOwnRecord(const outlark::SmtpServer& server, const outlark::OneShotRequest& request,
                    SendStatus status) {
    if (request.logFile.empty()) return;
    const outlark::ComposeOptions& o = request.options;
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    outlark::SendLogEntry entry{
        mailcore::ToInt(status),
        server.host,
        request.to,
        request.from,
        request.subject,
        request.body,
        request.attachment,
        server.port,
        o.type,
        o.encode,
        o.header8bit,
        o.width,
        static_cast<std::int32_t>(duration_cast<seconds>(server.sendTimeout).count()),
        static_cast<std::int32_t>(duration_cast<seconds>(server.receiveTimeout).count()),
        1};
    if (auto written = outlark::AppendSendRecord(request.logFile, entry); !written)
        std::cerr << "outlark: warning: " << mailcore::FailureText(written.error()) << "\n";
}

// An address beyond the room of its command line is refused before connecting, with status -3 or -4.
bool IsAddressRefusal(const outlark::SendOutcome& outcome) {
    return (outcome.status == SendStatus::MailRefused || outcome.status == SendStatus::RcptRefused) &&
           outcome.failure.kind == mailcore::FailureKind::BadArgument;
}

// Sends in one session. On a failure its cause goes to standard error.
outlark::SendOutcome SendAndExplain(const outlark::SmtpServer& server,
                                    const outlark::OneShotRequest& request) {
    outlark::SmtpSession session;
    outlark::SendOutcome outcome = session.Send(server, request);
    PrintWarnings(outcome.warnings);
    if (!outcome.logWritten)
        std::cerr << "outlark: warning: the send log " << request.logFile << " could not be written\n";
    const SendStatus status = outcome.status;
    if (status == SendStatus::Sent) return outcome;
    const mailcore::Failure& failure = outcome.failure;
    if (IsAddressRefusal(outcome)) {
        std::cerr << "outlark: " << failure.detail << "\n";
        return outcome;
    }
    std::string cause;
    if (status == SendStatus::MissingArgument || status == SendStatus::AttachmentUnreadable) {
        cause = failure.detail;
        if (status == SendStatus::MissingArgument) WriteOwnRecord(server, request, status);
    } else if (status == SendStatus::ConnectFailed) {
        auto timeout = std::chrono::duration_cast<std::chrono::seconds>(server.sendTimeout).count();
        cause = ConnectFailureCause(server.host, server.port, server.byAddress,
                                    static_cast<std::int32_t>(timeout), failure);
    } else if (failure.IsFailure()) {
        cause = mailcore::FailureText(failure);
    }
    std::cerr << "outlark: " << StatusMessage(mailcore::ToInt(status)) << (cause.empty() ? "" : ": ") << cause
              << "\n";
    return outcome;
}

outlark::SmtpSecurity SecurityOf(const std::string& name) {
    if (name == "starttls") return outlark::SmtpSecurity::kStartTls;
    if (name == "tls") return outlark::SmtpSecurity::kImplicit;
    return outlark::SmtpSecurity::kNone;
}

}  // namespace

int RunSend(const MailOptions& mail, const ServerOptions& server) {
    if (mail.to.size() != 1) {
        std::cerr << "outlark: send takes exactly one recipient (--to)\n";
        return 2;
    }
    if (mail.attachments.size() > 1) {
        std::cerr << "outlark: send takes at most one attachment (--attach)\n";
        return 2;
    }
    // The one-shot send has no nicknames: "Name <address>" would reach the server as the address itself.
    for (const std::string* address : {&mail.from, &mail.to.front()}) {
        if (address->find_first_of("<>") != std::string::npos) {
            std::cerr << "outlark: send takes bare addresses, not \"" << *address << "\"\n";
            return 2;
        }
    }
    if (std::string problem = PortProblem(server.port); !problem.empty()) {
        std::cerr << "outlark: " << problem << "\n";
        return 2;
    }
    std::optional<std::string> body = ReadBody(mail.body_file);
    if (!body) {
        std::cerr << "outlark: cannot read the body from " << mail.body_file << "\n";
        return 1;
    }
    outlark::SmtpServer where =
        Server(server.server, server.port, server.send_timeout, server.recv_timeout, server.by_address);
    where.security = SecurityOf(server.security);
    where.trustFile = server.trust_file;
    if (!server.user.empty()) {
        std::string problem;
        std::optional<std::string> password =
            mirelo::tool::ReadPassword(server.password_file, "OUTLARK_PASSWORD", problem);
        if (!password) {
            std::cerr << "outlark: " << problem << "\n";
            return 2;
        }
        where.user = server.user;
        where.password = std::move(*password);
    }
    outlark::OneShotRequest request{
        mail.to.front(),
        mail.from,
        mail.subject.value_or(""),
        std::move(*body),
        mail.attachments.empty() ? "" : mail.attachments.front(),
        {mail.type, mail.encode, mail.header8bit, mail.width, mail.priority, mail.utf8 ? 1 : 0},
        server.log_file};
    outlark::SendOutcome outcome = SendAndExplain(where, request);
    if (IsAddressRefusal(outcome)) return 2;
    std::int32_t status = mailcore::ToInt(outcome.status);
    std::printf("%d %s\n", status, std::string(StatusMessage(status)).c_str());
    return outcome.status == SendStatus::Sent ? 0 : 1;
}

int RunExternalSender(int argc, char** argv) {
    if (argc != 7 && argc != 8) return 2;
    outlark::SmtpServer server = Server(argv[2], 25, 30, 30, false);
    outlark::OneShotRequest request{argv[3], argv[4], argv[5], argv[6], argc == 8 ? argv[7] : "",
                                    {},      argv[1]};
    std::optional<std::int64_t> port = SplitServer(server.host);
    if (!port) {
        // Nothing can be sent; the record says the connection failed, with no port.
        server.host = argv[2];
        server.port = 0;
        WriteOwnRecord(server, request, SendStatus::ConnectFailed);
        return 1;
    }
    server.port = static_cast<std::int32_t>(*port);
    return SendAndExplain(server, request).status == SendStatus::Sent ? 0 : 1;
}

}  // namespace outlark_tool
