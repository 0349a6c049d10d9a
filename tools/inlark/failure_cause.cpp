#include "tools/inlark/failure_cause.h"

#include <cstring>

#include "tools/inlark/server_text.h"

namespace inlark_tool {

namespace {

using mailcore::FailureKind;

// What follows "<command>: " in the record's detail: the session's own words on a refused argument.
std::string DetailTail(const std::string& detail) {
    const std::size_t colon = detail.find(": ");
    return colon == std::string::npos ? std::string() : detail.substr(colon + 2);
}

// What the innermost step said: the text after the last ": " (OpenSSL's reason), or all of it.
std::string LastPart(const std::string& detail) {
    const std::size_t colon = detail.rfind(": ");
    return colon == std::string::npos ? detail : detail.substr(colon + 2);
}

// The part of a multi-line answer that broke off after its positive status line, or nothing.
std::string BrokeOff(CommandKind kind, const std::string& reply) {
    if (!reply.starts_with("+OK")) return {};
    if (kind == CommandKind::kListing) return "the listing broke off after \"" + TerminalSafe(reply) + "\": ";
    if (kind == CommandKind::kRetrieval)
        return "the message broke off after \"" + TerminalSafe(reply) + "\": ";
    return {};
}

std::string Cause(CommandKind kind, const mailcore::Failure& f, std::int32_t timeoutSeconds) {
    const std::string reply = TerminalSafe(f.reply);
    const std::string seconds = std::to_string(timeoutSeconds) + " seconds";
    switch (f.kind) {
        case FailureKind::NegativeReply:
            return "the server refused it: " + reply;
        case FailureKind::MalformedReply:
            if (f.reply.starts_with("+OK")) return "the reply does not read as expected: " + reply;
            return "unexpected reply: " + reply;
        case FailureKind::TimedOut:
            if (kind == CommandKind::kConnect && f.reply.empty()) {
                return "no connection or greeting within " + seconds;
            }
            if (const std::string head = BrokeOff(kind, f.reply); !head.empty()) {
                return head + "no rest of it within " + seconds;
            }
            return "no reply within " + seconds;
        case FailureKind::Closed:
            if (kind == CommandKind::kConnect && f.reply.empty()) {
                return "no connection (name unknown, without a reverse entry, or connection refused) or it "
                       "closed before the greeting";
            }
            if (const std::string head = BrokeOff(kind, f.reply); !head.empty()) {
                return head + "the connection closed, or it was longer than 10 MiB";
            }
            return "the connection closed before the reply came";
        case FailureKind::ReplyTooLong:
            if (const std::string head = BrokeOff(kind, f.reply); !head.empty())
                return head + "longer than 10 MiB";
            return "the reply is longer than the component takes";
        case FailureKind::Resolve:
            return "unknown host";
        case FailureKind::ConnectRefused:
            return "connection refused";
        case FailureKind::Cancelled:
            return "cancelled";
        case FailureKind::Io:
            return std::string("input/output error") +
                   (f.systemError != 0 ? std::string(": ") + std::strerror(f.systemError) : std::string());
        case FailureKind::BadArgument: {
            const std::string tail = DetailTail(f.detail);
            return "bad argument (" + (tail.empty() ? std::string("nothing was sent") : tail) + ")";
        }
        case FailureKind::Busy:
            return "busy";
        case FailureKind::NotConnected:
            return "not connected";
        case FailureKind::Internal:
            return "internal error: " + TerminalSafe(f.detail);
        case FailureKind::CertificateVerify:
            return "the server's certificate was not accepted (" + TerminalSafe(LastPart(f.detail)) +
                   "); --trust-file names a CA to trust";
        case FailureKind::TlsHandshake:
            return "no TLS session came about (" + TerminalSafe(LastPart(f.detail)) + "); nothing was sent";
        case FailureKind::None:
            break;
    }
    return mailcore::FailureKindText(f.kind);
}

}  // namespace

std::string DescribeFailure(const std::string& command, CommandKind kind, const mailcore::Failure& failure,
                            std::int32_t timeoutSeconds) {
    return command + " failed: " + Cause(kind, failure, timeoutSeconds);
}

}  // namespace inlark_tool
