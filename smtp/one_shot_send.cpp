#include "smtp/one_shot_send.h"

#include "smtp/attachment_check.h"
#include "smtp/smtp_engine.h"

namespace outlark {

std::int32_t RunOneShot(const SendJob& job) {
    // A file that cannot be read fails the send before the server sees anything.
    if (!job.mail.filename.empty() && !AttachmentReadable(job.mail.filename))
        return kSendAttachmentUnreadable;
    SmtpEngine engine;
    auto resolution = job.kind == SendJob::Resolve::kByAddress ? mailcore::MailEngine::Resolution::kByAddress
                                                               : mailcore::MailEngine::Resolution::kByName;
    if (engine.Connect(job.server, job.port, resolution) != mailcore::kResultSuccess)
        return kSendConnectFailed;
    engine.Socket().SetSendTimeout(job.send_timeout_ms);
    engine.Socket().SetReceiveTimeout(job.recv_timeout_ms);
    engine.ClearResults();
    std::int32_t status = RunSendSteps(engine.Wire(), job.mail);
    // Closing without QUIT after a failure: the server sees the connection drop.
    engine.Disconnect();
    return status;
}

}  // namespace outlark
