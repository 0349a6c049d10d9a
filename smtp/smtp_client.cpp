#include "outlark/smtp_client.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>

#include "mailcore/wide_text.h"
#include "smtp/one_shot_send.h"
#include "smtp/send_log.h"
#include "smtp/smtp_engine.h"
#include "smtp/smtp_failure.h"
#include "smtp/stuff_dots.h"
#include "smtp/utf8_fields.h"

namespace outlark {
namespace {

using mailcore::Failure;
using mailcore::FailureKind;

std::int32_t Milliseconds(std::chrono::milliseconds value) {
    return static_cast<std::int32_t>(std::clamp<std::chrono::milliseconds::rep>(
        value.count(), 0, std::numeric_limits<std::int32_t>::max()));
}

LineForm FormOf(SmtpCommand command) {
    switch (command) {
        case kMail:
        case kRcpt:
            return LineForm::kAddress;
        case kHelo:
        case kEhlo:
        case kVrfy:
        case kExpn:
        case kHelp:
            return LineForm::kWithArgument;
        default:
            return LineForm::kBare;
    }
}

mailcore::ConnectionSecurity SecurityOf(const SmtpServer& server) {
    return {static_cast<mailcore::Security>(server.security), server.trustFile};
}

Failure Refused(std::string detail) { return Failure{FailureKind::BadArgument, 0, {}, std::move(detail)}; }

// Why a one-shot send cannot even start, with its status; nothing when it can.
std::optional<std::pair<std::int32_t, std::string>> RefusedOutright(const SendJob& job) {
    for (auto [name, text] : {std::pair{"server", &job.server}, std::pair{"recipient", &job.mail.to},
                              std::pair{"sender", &job.mail.from}}) {
        if (text->empty()) return std::pair{kSendMissingArgument, std::string("the ") + name + " is empty"};
        if (HasLineBreak(*text))
            return std::pair{kSendMissingArgument, std::string("the ") + name + " holds a line break"};
    }
    struct Address {
        SmtpCommand command;
        std::int32_t status;
        const char* what;
        const std::string& text;
    };
    for (const Address& a : {Address{kRcpt, kSendRcptRefused, "recipient", job.mail.to},
                             Address{kMail, kSendMailRefused, "sender", job.mail.from}}) {
        if (BuildCommandLine(a.command, LineForm::kAddress, a.text).error != CommandLineError::kTooLong)
            continue;
        std::string_view word = kSmtpCommandTable[a.command];
        size_t room = kMaxCommandLine - word.size() - 4;  // "<", ">", CR LF
        return std::pair{a.status, std::string("the ") + a.what + " address is " +
                                       std::to_string(a.text.size()) + " bytes long; the " +
                                       std::string(word) + " line has room for " + std::to_string(room) +
                                       " bytes, so it cannot be sent"};
    }
    return std::nullopt;
}

}  // namespace

struct SmtpSession::Impl {
    SmtpEngine engine;
    std::atomic<bool> cancelled{false};

    ServerReply Reply(bool with_lines) const {
        ServerReply reply;
        reply.text = engine.LastReply();
        for (size_t i = 0; i < 3 && i < reply.text.size() && reply.text[i] >= '0' && reply.text[i] <= '9';
             ++i)
            reply.code = reply.code * 10 + (reply.text[i] - '0');
        if (with_lines) reply.lines = engine.ReplyLines();
        return reply;
    }

    Failure FailureOf(std::string_view step) {
        Failure failure = StepFailure(engine.LastFailure(), step, engine.LastReply(), cancelled);
        // A cancelled socket refuses everything until it is closed.
        if (failure.kind == FailureKind::Cancelled) engine.Disconnect();
        return failure;
    }

    template <typename Body>
    mailcore::Result<ServerReply> RunStep(std::string_view step, Body&& body) {
        try {
            if (!engine.IsConnected()) return Failure{FailureKind::NotConnected, 0, {}, std::string(step)};
            if (body(engine) != mailcore::kResultSuccess) return FailureOf(step);
            return Reply(false);
        } catch (const std::exception& e) {
            return Failure{FailureKind::Internal, 0, {}, std::string(step) + ": " + e.what()};
        }
    }

    mailcore::Result<ServerReply> Run(SmtpCommand command, std::string_view argument, std::string_view step) {
        try {
            if (!engine.IsConnected()) return Failure{FailureKind::NotConnected, 0, {}, std::string(step)};
            switch (BuildCommandLine(command, FormOf(command), argument).error) {
                case CommandLineError::kLineBreak:
                    return Refused(std::string(step) + ": the argument holds CR, LF or NUL");
                case CommandLineError::kTooLong:
                    return Refused(std::string(step) + ": the command line would pass 255 bytes");
                case CommandLineError::kNone:
                    break;
            }
            if (engine.Command(command, argument) != mailcore::kResultSuccess) return FailureOf(step);
            return Reply(command == kEhlo);
        } catch (const std::exception& e) {
            return Failure{FailureKind::Internal, 0, {}, std::string(step) + ": " + e.what()};
        }
    }
};

SmtpSession::SmtpSession() : impl_(std::make_unique<Impl>()) {}
SmtpSession::~SmtpSession() = default;

mailcore::Result<ServerReply> SmtpSession::Connect(const SmtpServer& server) {
    try {
        SmtpEngine& engine = impl_->engine;
        if (engine.IsConnected()) return Refused("connect: already connected");
        impl_->cancelled = false;
        engine.Socket().SetSendTimeout(Milliseconds(server.sendTimeout));
        engine.Socket().SetReceiveTimeout(Milliseconds(server.receiveTimeout));
        // The session's steps are the caller's: EHLO is only EHLO, StartTls the upgrade.
        engine.PrepareSecurity(SecurityOf(server), server.host, false);
        auto resolution = server.byAddress ? mailcore::MailEngine::Resolution::kByAddress
                                           : mailcore::MailEngine::Resolution::kByName;
        switch (engine.Connect(server.host, server.port, resolution)) {
            case mailcore::kResultSuccess:
                break;
            case mailcore::kResultBadArgument:
                return Refused("connect: the host is empty or holds CR, LF or NUL");
            default:
                return ConnectFailure(engine.LastFailure(), "connect to " + server.host, impl_->cancelled);
        }
        // A cancel that came while the connection opened still ends it.
        if (impl_->cancelled) {
            engine.Disconnect();
            return Failure{FailureKind::Cancelled, 0, {}, "connect"};
        }
        return impl_->Reply(false);
    } catch (const std::exception& e) {
        return Failure{FailureKind::Internal, 0, {}, std::string("connect: ") + e.what()};
    }
}

mailcore::Result<ServerReply> SmtpSession::Helo(std::string_view domain) {
    return impl_->Run(kHelo, domain, "HELO");
}
mailcore::Result<ServerReply> SmtpSession::Ehlo(std::string_view domain) {
    return impl_->Run(kEhlo, domain, "EHLO");
}
mailcore::Result<ServerReply> SmtpSession::MailFrom(std::string_view address) {
    return impl_->Run(kMail, address, "MAIL FROM");
}
mailcore::Result<ServerReply> SmtpSession::RcptTo(std::string_view address) {
    return impl_->Run(kRcpt, address, "RCPT TO");
}
mailcore::Result<ServerReply> SmtpSession::Rset() { return impl_->Run(kRset, {}, "RSET"); }
mailcore::Result<ServerReply> SmtpSession::Quit() { return impl_->Run(kQuit, {}, "QUIT"); }

mailcore::Result<ServerReply> SmtpSession::StartTls() {
    return impl_->RunStep("STARTTLS", [](SmtpEngine& e) { return e.StartTls(); });
}

mailcore::Result<ServerReply> SmtpSession::Auth(std::string_view user, std::string_view password) {
    return impl_->RunStep("AUTH",
                          [&](SmtpEngine& e) { return e.Auth(std::string(user), std::string(password)); });
}

mailcore::Result<ServerReply> SmtpSession::Data(std::string_view message) {
    try {
        if (!impl_->engine.IsConnected()) return Failure{FailureKind::NotConnected, 0, {}, "DATA"};
        if (impl_->engine.Data(WithClosingLine(message)) != mailcore::kResultSuccess)
            return impl_->FailureOf("DATA");
        return impl_->Reply(false);
    } catch (const std::exception& e) {
        return Failure{FailureKind::Internal, 0, {}, std::string("DATA: ") + e.what()};
    }
}

void SmtpSession::Close() { impl_->engine.Disconnect(); }

void SmtpSession::Cancel() {
    impl_->cancelled = true;
    impl_->engine.Socket().Cancel();
}

bool SmtpSession::IsConnected() const { return impl_->engine.IsConnected(); }

SendOutcome SmtpSession::Send(const SmtpServer& server, const OneShotRequest& request) {
    SendOutcome outcome;
    try {
        const ComposeOptions& o = request.options;
        if (impl_->engine.IsConnected()) {
            outcome.failure = Refused("send: the session is connected");
            return outcome;
        }
        if ((o.type != 0 && o.type != 1) || (o.encode != 0 && o.encode != 1) ||
            (o.header8bit != 0 && o.header8bit != 1) || (o.charset != 0 && o.charset != 1) ||
            o.priority < 1 || o.priority > 5) {
            outcome.failure =
                Refused("send: type, encode, header8bit and charset take 0 or 1, priority 1 to 5");
            return outcome;
        }
        FieldConverter cp932;
        // The mail's own texts stay UTF-8 when it is written in UTF-8.
        const bool utf8 = o.charset == kCharsetUtf8;
        FieldConverter mail_text(utf8);
        SendJob job;
        job.server = cp932(server.host, "server");
        job.port = server.port;
        job.send_timeout_ms = Milliseconds(server.sendTimeout);
        job.recv_timeout_ms = Milliseconds(server.receiveTimeout);
        job.kind = server.byAddress ? SendJob::Resolve::kByAddress : SendJob::Resolve::kByName;
        job.security = SecurityOf(server);
        job.log_in = !server.user.empty() || !server.password.empty();
        job.user = server.user;
        job.password = server.password;
        job.mail.to = mail_text(request.to, "To");
        job.mail.from = mail_text(request.from, "From");
        job.mail.subject = mail_text(request.subject, "Subject");
        job.mail.body = mail_text(request.body, "body");
        // "0" stands for no attachment, as in the control's calls; the record keeps it as given.
        std::string filename_as_given = mail_text(request.attachment, "attachment path");
        job.mail.filename = filename_as_given == "0" ? std::string() : filename_as_given;
        job.mail.type = o.type;
        job.mail.encode = o.encode == 1 ? kEncodeBase64 : kEncode7bit;
        job.mail.header8bit = o.header8bit;
        job.mail.width = o.width;
        job.mail.priority = o.priority;
        job.mail.charset = o.charset;
        std::string log_file = cp932(request.logFile, "log file name");
        outcome.warnings = mail_text.TakeWarnings();
        for (TextWarning& warning : cp932.TakeWarnings()) outcome.warnings.push_back(std::move(warning));
        std::int32_t status;
        if (auto refused = RefusedOutright(job)) {
            status = refused->first;
            outcome.failure = Refused(std::move(refused->second));
            // As the control: a send refused for its arguments leaves no record.
            if (status == kSendMissingArgument) {
                outcome.status = mailcore::SendStatus::MissingArgument;
                return outcome;
            }
        } else {
            impl_->cancelled = false;
            impl_->engine.Socket().SetSendTimeout(job.send_timeout_ms);
            impl_->engine.Socket().SetReceiveTimeout(job.recv_timeout_ms);
            OneShotOutcome sent = RunOneShot(job, impl_->engine, &impl_->cancelled);
            status = sent.status;
            outcome.failure = std::move(sent.failure);
        }
        outcome.status = static_cast<mailcore::SendStatus>(status);
        if (!log_file.empty()) {
            // The log is in the host's code page whatever the mail was written in.
            auto logged = [utf8](const std::string& text) {
                return utf8 ? mailcore::Utf8ToCp932(text) : text;
            };
            SendRecord record{status,
                              job.server,
                              logged(job.mail.to),
                              logged(job.mail.from),
                              logged(job.mail.subject),
                              logged(job.mail.body),
                              logged(filename_as_given),
                              job.port,
                              job.mail.type,
                              job.mail.encode,
                              job.mail.header8bit,
                              job.mail.width,
                              job.send_timeout_ms / 1000,
                              job.recv_timeout_ms / 1000,
                              1};
            outcome.logWritten = WriteSendRecord(log_file, record);
        }
    } catch (const std::exception& e) {
        outcome.status = mailcore::SendStatus::NotStarted;
        outcome.failure = Failure{FailureKind::Internal, 0, {}, std::string("send: ") + e.what()};
    }
    return outcome;
}

}  // namespace outlark
