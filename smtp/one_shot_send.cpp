#include "smtp/one_shot_send.h"

#include "smtp/attachment_check.h"
#include "smtp/file_type.h"
#include "smtp/smtp_engine.h"
#include "smtp/smtp_failure.h"

namespace outlark {
namespace {

std::string_view StepOf(std::int32_t status) {
    switch (status) {
        case kSendHeloRefused:
            return "HELO";
        case kSendMailRefused:
            return "MAIL";
        case kSendRcptRefused:
            return "RCPT";
        case kSendTlsFailed:
            return "STARTTLS";
        case kSendAuthRefused:
            return "AUTH";
        default:
            return "DATA";
    }
}

}  // namespace

OneShotOutcome RunOneShot(const SendJob& job) {
    SmtpEngine engine;
    return RunOneShot(job, engine);
}

OneShotOutcome RunOneShot(const SendJob& job, SmtpEngine& engine, const std::atomic<bool>* cancelled) {
    // A file that cannot be read fails the send before the server sees anything.
    const bool utf8 = job.mail.charset == kCharsetUtf8;
    if (!job.mail.filename.empty() && !AttachmentReadable(job.mail.filename, utf8)) {
        return {kSendAttachmentUnreadable,
                {mailcore::FailureKind::BadArgument,
                 0,
                 {},
                 "attachment \"" + NativePath(job.mail.filename, utf8) + "\""}};
    }
    auto resolution = job.kind == SendJob::Resolve::kByAddress ? mailcore::MailEngine::Resolution::kByAddress
                                                               : mailcore::MailEngine::Resolution::kByName;
    engine.PrepareSecurity(job.security, job.server);
    if (engine.Connect(job.server, job.port, resolution) != mailcore::kResultSuccess) {
        const mailcore::FailureKind kind = engine.LastFailure().kind;
        const bool handshake =
            kind == mailcore::FailureKind::TlsHandshake || kind == mailcore::FailureKind::CertificateVerify;
        return {handshake ? kSendTlsFailed : kSendConnectFailed,
                ConnectFailure(engine.LastFailure(), "connect to " + NativePath(job.server),
                               cancelled != nullptr && cancelled->load())};
    }
    engine.Socket().SetSendTimeout(job.send_timeout_ms);
    engine.Socket().SetReceiveTimeout(job.recv_timeout_ms);
    engine.ClearResults();
    std::string failed_reply;
    mailcore::Failure step_failure;
    SendSecurity security;
    security.start_tls = job.security.mode == mailcore::Security::kStartTls;
    security.log_in = job.log_in;
    security.user = job.user;
    security.password = job.password;
    security.upgrade = [&engine, &job] { return engine.Socket().StartTls(job.server) == 1; };
    OneShotOutcome outcome{RunSendSteps(engine.Wire(), job.mail, &failed_reply, &step_failure, security), {}};
    if (outcome.status != kSendOk) {
        outcome.failure =
            StepFailure(step_failure.IsFailure() ? step_failure : engine.LastFailure(),
                        StepOf(outcome.status), failed_reply, cancelled != nullptr && cancelled->load());
    }
    // Closing without QUIT after a failure: the server sees the connection drop.
    engine.Disconnect();
    return outcome;
}

}  // namespace outlark
