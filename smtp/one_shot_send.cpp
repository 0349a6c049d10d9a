#include "smtp/one_shot_send.h"

#include "smtp/attachment_check.h"
#include "smtp/smtp_engine.h"

namespace outlark {
namespace {

using mailcore::Failure;
using mailcore::FailureKind;

// When the connection gave no cause of its own, the step that was refused is the cause.
Failure StepFailure(std::int32_t status, const SendJob& job) {
    switch (status) {
        case kSendConnectFailed:
            return {FailureKind::NotConnected, 0, {}, "connect to " + job.server};
        case kSendHeloRefused:
            return {FailureKind::NegativeReply, 0, {}, "HELO"};
        case kSendMailRefused:
            return {FailureKind::NegativeReply, 0, {}, "MAIL"};
        case kSendRcptRefused:
            return {FailureKind::NegativeReply, 0, {}, "RCPT"};
        case kSendDataRefused:
            return {FailureKind::NegativeReply, 0, {}, "DATA"};
        default:
            return {};
    }
}

OneShotOutcome Ended(std::int32_t status, const mailcore::MailEngine& engine, const SendJob& job) {
    if (status == kSendOk) return {status, {}};
    Failure failure = engine.LastFailure();
    if (!failure.IsFailure()) failure = StepFailure(status, job);
    return {status, std::move(failure)};
}

}  // namespace

OneShotOutcome RunOneShot(const SendJob& job) {
    // A file that cannot be read fails the send before the server sees anything.
    if (!job.mail.filename.empty() && !AttachmentReadable(job.mail.filename)) {
        return {kSendAttachmentUnreadable,
                {FailureKind::BadArgument,
                 0,
                 {},
                 "attachment " + job.mail.filename + " (" +
                     mailcore::SendStatusText(kSendAttachmentUnreadable) + ")"}};
    }
    SmtpEngine engine;
    auto resolution = job.kind == SendJob::Resolve::kByAddress ? mailcore::MailEngine::Resolution::kByAddress
                                                               : mailcore::MailEngine::Resolution::kByName;
    if (engine.Connect(job.server, job.port, resolution) != mailcore::kResultSuccess) {
        return Ended(kSendConnectFailed, engine, job);
    }
    engine.Socket().SetSendTimeout(job.send_timeout_ms);
    engine.Socket().SetReceiveTimeout(job.recv_timeout_ms);
    engine.ClearResults();
    std::int32_t status = RunSendSteps(engine.Wire(), job.mail);
    OneShotOutcome outcome = Ended(status, engine, job);
    // Closing without QUIT after a failure: the server sees the connection drop.
    engine.Disconnect();
    return outcome;
}

}  // namespace outlark
