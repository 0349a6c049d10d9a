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
    if (engine.Connect(job.server, job.port, resolution) != mailcore::kResultSuccess) {
        return {kSendConnectFailed,
                ConnectFailure(engine.LastFailure(), "connect to " + NativePath(job.server),
                               cancelled != nullptr && cancelled->load())};
    }
    engine.Socket().SetSendTimeout(job.send_timeout_ms);
    engine.Socket().SetReceiveTimeout(job.recv_timeout_ms);
    engine.ClearResults();
    std::string failed_reply;
    mailcore::Failure step_failure;
    OneShotOutcome outcome{RunSendSteps(engine.Wire(), job.mail, &failed_reply, &step_failure), {}};
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
