#include "outlark/smtp.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>

#include "mailcore/completion_queue.h"
#include "mailcore/connection_point.h"
#include "mailcore/control_shell.h"
#include "mailcore/result_code.h"
#include "mailcore/wide_text.h"
#include "mailcore/worker_thread.h"
#include "smtp/attachment_check.h"
#include "smtp/compose_message.h"
#include "smtp/external_sender.h"
#include "smtp/one_shot_send.h"
#include "smtp/send_log.h"
#include "smtp/smtp_engine.h"
#include "smtp/utf8_text.h"

namespace outlark {
namespace {

using mailcore::Cp932ToWide;
using mailcore::FailureKind;
using mailcore::Put;
using mailcore::WideToCp932;

// "0" stands for the empty text in the host's calls.
std::string TextOrEmpty(const std::u16string& text) {
    std::string converted = WideToCp932(text);
    return converted == "0" ? std::string() : converted;
}

constexpr std::int32_t kLastErrorEmptyText = mailcore::ToInt(mailcore::SmtpLastError::EmptyText);
// After a one-shot send whose send-log record could not be written (its status is unchanged).
constexpr std::int32_t kLastErrorLogNotWritten = mailcore::ToInt(mailcore::SmtpLastError::LogNotWritten);
constexpr std::int32_t kLastErrorAttachmentUnreadable =
    mailcore::ToInt(mailcore::SmtpLastError::AttachmentUnreadable);

// LastError after a failure that was about TLS or the log-in; 0 for any other.
std::int32_t SecurityLastError(const mailcore::Failure& failure) {
    switch (failure.kind) {
        case FailureKind::CertificateVerify:
            return mailcore::ToInt(mailcore::SmtpLastError::CertificateRejected);
        case FailureKind::TlsHandshake:
            return mailcore::ToInt(mailcore::SmtpLastError::TlsFailed);
        default:
            return 0;
    }
}

std::int32_t SecondsToMs(std::int32_t seconds) {
    std::int64_t ms = static_cast<std::int64_t>(seconds) * 1000;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(ms, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

struct Smtp::Impl {
    std::int32_t port = 25;
    std::int32_t type = kTypeMime;
    std::int32_t encode = kEncode7bit;  // stored form
    std::int32_t header8bit = 1;
    std::int32_t width = 76;
    std::int32_t send_timeout_ms = 30000;
    std::int32_t recv_timeout_ms = 30000;
    std::string log_filename = "Outlark.log";
    std::int32_t sync = 1;
    std::int32_t priority = 3;
    std::string execute_filename = "Outlark.exe";
    std::int32_t charset = kCharsetIso2022Jp;
    std::int32_t security = 0;
    std::u16string trust_file;
    std::u16string smtp_user;
    std::u16string smtp_password;
    // Written by the send worker too (a log record it could not write).
    std::atomic<std::int32_t> last_error{0};

    mailcore::ControlShell shell;
    mailcore::CompletionQueue queue;
    mailcore::ConnectionPoint<SmtpEvents> sinks;
    // Declared after the queue it posts into, so it is joined before the queue goes.
    std::unique_ptr<SmtpEngine> engine;

    // Why the last asynchronous one-shot send failed; the worker leaves it here before it posts.
    std::mutex send_failure_mutex;
    std::optional<mailcore::Failure> send_failure;
    mailcore::WorkerThread send_worker;
    ChildReaper children;

    bool HasWindow() const { return !sinks.empty() || queue.HasWakeup(); }
    void RefreshNotify() {
        if (engine) engine->SetNotifyQueue(sync == 0 && HasWindow() ? &queue : nullptr);
    }
    const SmtpEngine* Idle() const { return mailcore::IdleEngine(engine); }

    mailcore::ConnectionSecurity SecuritySettings() const {
        return {static_cast<mailcore::Security>(security), WideToUtf8(trust_file)};
    }
    // A synchronous connect or command that failed for TLS leaves its LastError.
    void NoteEngineFailure(std::int32_t result) {
        if (result != mailcore::kResultFailure || !engine || engine->IsBusy()) return;
        if (std::int32_t value = SecurityLastError(engine->LastFailure()); value != 0) last_error = value;
    }
    // A one-shot send refused for TLS or its log-in leaves its LastError.
    void NoteSendFailure(std::int32_t status, const mailcore::Failure& failure) {
        if (status == kSendTlsFailed) {
            std::int32_t value = SecurityLastError(failure);
            last_error = value != 0 ? value : mailcore::ToInt(mailcore::SmtpLastError::TlsFailed);
        } else if (status == kSendAuthRefused) {
            last_error = mailcore::ToInt(mailcore::SmtpLastError::AuthRefused);
        }
    }

    void Connect(const char* method, const std::u16string& server, SendJob::Resolve kind,
                 std::int32_t* pVal) {
        shell.Guard(pVal, [&] {
            std::string host = WideToCp932(server);
            if (engine) {
                // A running worker owns the results until it ends; the connect below then reports busy.
                if (!engine->IsBusy()) engine->ClearResults();
            } else {
                engine = std::make_unique<SmtpEngine>();
            }
            RefreshNotify();
            auto resolution = kind == SendJob::Resolve::kByAddress
                                  ? mailcore::MailEngine::Resolution::kByAddress
                                  : mailcore::MailEngine::Resolution::kByName;
            if (!engine->IsBusy() && !engine->IsConnected()) {
                // Handed over before the connect: the greeting may be read by a worker, which must never
                // race with a later write of them, and it is read with the host's time-outs too.
                engine->Socket().SetSendTimeout(send_timeout_ms);
                engine->Socket().SetReceiveTimeout(recv_timeout_ms);
                engine->PrepareSecurity(SecuritySettings(), host);
            }
            std::int32_t result = shell.Connect(
                method, *engine, [&](SmtpEngine& e) { return e.Connect(host, port, resolution); });
            NoteEngineFailure(result);
            Put(pVal, result);
        });
    }

    void Destroy(std::int32_t* pVal) {
        shell.Guard(pVal, [&] {
            if (!engine) {
                Put(pVal, 0);
                return;
            }
            engine->DiscardMessage();
            engine->Disconnect();
            engine->ClearResults();
            // The record of the last command outlives the engine, for a host that logs it after Destroy.
            shell.KeepEngineFailure(engine.get());
            engine.reset();
            Put(pVal, 1);
        });
    }

    void Command(const char* method, SmtpCommand command, const std::u16string& argument,
                 std::int32_t* pVal) {
        shell.Guard(pVal, [&] {
            std::string text = WideToCp932(argument);
            std::int32_t result =
                shell.Command(method, engine.get(), [&](SmtpEngine& e) { return e.Command(command, text); });
            NoteEngineFailure(result);
            Put(pVal, result);
        });
    }

    void AddRecipient(std::vector<Recipient> ComposedMessage::*list, const std::u16string& user,
                      const std::u16string& nickname, std::int32_t* pVal) {
        shell.Guard(pVal, [&] {
            if (!engine) {
                Put(pVal, 0);
                return;
            }
            std::string address = TextOrEmpty(user);
            if (address.empty()) {
                last_error = kLastErrorEmptyText;
                return;
            }
            (engine->Message().*list).push_back({TextOrEmpty(nickname), address});
            Put(pVal, 1);
        });
    }

    // Replaces an optional field; empty text is allowed.
    void SetField(std::optional<std::string> ComposedMessage::*field, const std::u16string& text,
                  std::int32_t* pVal) {
        shell.Guard(pVal, [&] {
            if (!engine) {
                Put(pVal, 0);
                return;
            }
            engine->Message().*field = TextOrEmpty(text);
            Put(pVal, 1);
        });
    }

    void AddText(std::vector<std::string> ComposedMessage::*list, const std::u16string& text,
                 std::int32_t* pVal) {
        shell.Guard(pVal, [&] {
            if (!engine) {
                Put(pVal, 0);
                return;
            }
            std::string value = TextOrEmpty(text);
            if (value.empty()) {
                last_error = kLastErrorEmptyText;
                return;
            }
            (engine->Message().*list).push_back(std::move(value));
            Put(pVal, 1);
        });
    }

    std::int32_t Data(const std::u16string& body);
    // The failure an asynchronous one-shot send left, if any, becomes the one LastErrorText tells.
    void AdoptSendFailure() {
        std::lock_guard lock(send_failure_mutex);
        if (send_failure) shell.Adopt(*std::exchange(send_failure, std::nullopt));
    }

    std::int32_t SendMail(const char* method, const std::u16string& server, const std::u16string& to,
                          const std::u16string& from, const std::u16string& subject,
                          const std::u16string& body, const std::u16string& filename, SendJob::Resolve kind);
};

Smtp::Smtp() : impl_(std::make_unique<Impl>()) {}

Smtp::~Smtp() {
    impl_->Destroy(nullptr);
    impl_->shell.Guard([&] {
        impl_->send_worker.Join();
        impl_->children.ReapFinished();
    });
}

std::int32_t Smtp::Advise(SmtpEvents* sink) {
    return impl_->shell.GuardValue(0, [&] {
        std::int32_t cookie = impl_->sinks.Advise(sink);
        impl_->RefreshNotify();
        return cookie;
    });
}

void Smtp::Unadvise(std::int32_t cookie) {
    impl_->shell.Guard([&] {
        impl_->sinks.Unadvise(cookie);
        impl_->RefreshNotify();
    });
}

void Smtp::SetWakeUp(std::function<void()> wakeUp) {
    impl_->shell.Guard([&] {
        impl_->queue.SetWakeup(std::move(wakeUp));
        impl_->RefreshNotify();
    });
}

std::int32_t Smtp::ProcessEvents() {
    impl_->shell.Guard([&] { impl_->AdoptSendFailure(); });
    return impl_->shell.DeliverEvents(impl_->queue, impl_->sinks);
}

std::int32_t Smtp::Port() const { return impl_->port; }
void Smtp::SetPort(std::int32_t value) { impl_->port = value; }
std::int32_t Smtp::Type() const { return impl_->type; }
void Smtp::SetType(std::int32_t value) {
    if (value == 0 || value == 1) impl_->type = value;
}
std::int32_t Smtp::Encode() const { return impl_->encode == kEncodeBase64 ? 1 : 0; }
void Smtp::SetEncode(std::int32_t value) {
    if (value == 0 || value == 1) impl_->encode = value == 1 ? kEncodeBase64 : kEncode7bit;
}
std::int32_t Smtp::Header8bit() const { return impl_->header8bit; }
void Smtp::SetHeader8bit(std::int32_t value) {
    if (value == 0 || value == 1) impl_->header8bit = value;
}
std::int32_t Smtp::Width() const { return impl_->width; }
void Smtp::SetWidth(std::int32_t value) { impl_->width = value; }
std::int32_t Smtp::SendTimeout() const { return impl_->send_timeout_ms / 1000; }
void Smtp::SetSendTimeout(std::int32_t seconds) { impl_->send_timeout_ms = SecondsToMs(seconds); }
std::int32_t Smtp::RecvTimeout() const { return impl_->recv_timeout_ms / 1000; }
void Smtp::SetRecvTimeout(std::int32_t seconds) { impl_->recv_timeout_ms = SecondsToMs(seconds); }
std::u16string Smtp::LogFilename() const {
    return impl_->shell.GuardValue(std::u16string(), [&] { return Cp932ToWide(impl_->log_filename); });
}
void Smtp::SetLogFilename(const std::u16string& value) {
    impl_->shell.Guard([&] { impl_->log_filename = TextOrEmpty(value); });
}
std::int32_t Smtp::Sync() const { return impl_->sync; }
void Smtp::SetSync(std::int32_t value) {
    impl_->shell.Guard([&] {
        if (value >= 0 && value <= 2) impl_->sync = value;
        impl_->RefreshNotify();
    });
}
std::int32_t Smtp::Priority() const { return impl_->priority; }
void Smtp::SetPriority(std::int32_t value) {
    if (value >= 1 && value <= 5) impl_->priority = value;
}
std::u16string Smtp::ExecuteFilename() const {
    return impl_->shell.GuardValue(std::u16string(), [&] { return Cp932ToWide(impl_->execute_filename); });
}
void Smtp::SetExecuteFilename(const std::u16string& value) {
    impl_->shell.Guard([&] { impl_->execute_filename = WideToCp932(value); });
}
std::int32_t Smtp::Security() const { return impl_->security; }
void Smtp::SetSecurity(std::int32_t value) {
    if (value >= 0 && value <= 2) impl_->security = value;
}
std::u16string Smtp::TrustFile() const {
    return impl_->shell.GuardValue(std::u16string(), [&] { return impl_->trust_file; });
}
void Smtp::SetTrustFile(const std::u16string& value) {
    impl_->shell.Guard([&] { impl_->trust_file = value; });
}
std::u16string Smtp::SmtpUser() const {
    return impl_->shell.GuardValue(std::u16string(), [&] { return impl_->smtp_user; });
}
void Smtp::SetSmtpUser(const std::u16string& value) {
    impl_->shell.Guard([&] { impl_->smtp_user = value; });
}
std::u16string Smtp::SmtpPassword() const {
    return impl_->shell.GuardValue(std::u16string(), [&] { return impl_->smtp_password; });
}
void Smtp::SetSmtpPassword(const std::u16string& value) {
    impl_->shell.Guard([&] { impl_->smtp_password = value; });
}

std::int32_t Smtp::Charset() const { return impl_->charset; }
void Smtp::SetCharset(std::int32_t value) {
    if (value == kCharsetIso2022Jp || value == kCharsetUtf8) impl_->charset = value;
}
std::int32_t Smtp::LastError() const { return impl_->last_error; }
std::u16string Smtp::LastErrorText() const {
    return impl_->shell.GuardValue(std::u16string(), [&] {
        impl_->AdoptSendFailure();
        return impl_->shell.LastErrorText(impl_->Idle());
    });
}

void Smtp::ConnectByName(const std::u16string& strServerName, std::int32_t* pVal) {
    impl_->Connect("ConnectByName", strServerName, SendJob::Resolve::kByName, pVal);
}
void Smtp::ConnectByAddr(const std::u16string& strServerAddr, std::int32_t* pVal) {
    impl_->Connect("ConnectByAddr", strServerAddr, SendJob::Resolve::kByAddress, pVal);
}
void Smtp::Destroy(std::int32_t* pVal) { impl_->Destroy(pVal); }

void Smtp::HELO(const std::u16string& strDomain, std::int32_t* pVal) {
    impl_->Command("HELO", kHelo, strDomain, pVal);
}
void Smtp::EHLO(const std::u16string& strDomain, std::int32_t* pVal) {
    impl_->Command("EHLO", kEhlo, strDomain, pVal);
}
void Smtp::MAIL(const std::u16string& strUser, std::int32_t* pVal) {
    impl_->Command("MAIL", kMail, strUser, pVal);
}
void Smtp::RCPT(const std::u16string& strUser, std::int32_t* pVal) {
    impl_->Command("RCPT", kRcpt, strUser, pVal);
}
void Smtp::RSET(std::int32_t* pVal) { impl_->Command("RSET", kRset, {}, pVal); }
void Smtp::NOOP(std::int32_t* pVal) { impl_->Command("NOOP", kNoop, {}, pVal); }
void Smtp::VRFY(const std::u16string& strData, std::int32_t* pVal) {
    impl_->Command("VRFY", kVrfy, strData, pVal);
}
void Smtp::EXPN(const std::u16string& strData, std::int32_t* pVal) {
    impl_->Command("EXPN", kExpn, strData, pVal);
}
void Smtp::HELP(const std::u16string& strData, std::int32_t* pVal) {
    impl_->Command("HELP", kHelp, strData, pVal);
}
void Smtp::QUIT(std::int32_t* pVal) { impl_->Command("QUIT", kQuit, {}, pVal); }

std::int32_t Smtp::Impl::Data(const std::u16string& body) {
    bool unreadable = false;
    std::int32_t result = shell.Command("DATA", engine.get(), [&](SmtpEngine& e) {
        // Refused before anything changes: a running command must not see the message grow.
        if (e.IsBusy()) return mailcore::kResultBusy;
        ComposedMessage& message = e.Message();
        // An attachment that cannot be read would go out as an empty part; send nothing instead.
        if (FirstUnreadableAttachment(message.attachments) != nullptr) {
            last_error = kLastErrorAttachmentUnreadable;
            unreadable = true;
            return mailcore::kResultFailure;
        }
        message.extra_headers.push_back("X-Mailer: Outlark Version 1.6.2.1");
        message.extra_headers.push_back("X-Priority: " + std::to_string(priority));
        // The step-by-step message always has these settings; the properties are for the one-shot send.
        ComposedMessage fixed = message;
        fixed.type = kTypeMime;
        fixed.encode = kEncode7bit;
        fixed.header8bit = 0;
        fixed.width = 76;
        return e.Data(ComposeMessage(fixed, WideToCp932(body)));
    });
    if (unreadable) {
        shell.Refuse(
            FailureKind::BadArgument,
            std::string("DATA (") + mailcore::SmtpLastErrorText(kLastErrorAttachmentUnreadable) + ")");
    }
    return result;
}

void Smtp::DATA(const std::u16string& strBody, std::int32_t* pVal) {
    impl_->shell.Guard(pVal, [&] { Put(pVal, impl_->Data(strBody)); });
}

void Smtp::GetCount(std::int32_t* pVal) {
    impl_->shell.Guard(pVal, [&] {
        // The lines belong to a running command until it ends.
        const SmtpEngine* engine = impl_->Idle();
        Put(pVal, engine != nullptr ? static_cast<std::int32_t>(engine->ReplyLines().size()) : 0);
    });
}

void Smtp::GetData(std::int32_t lIndex, std::u16string* pVal) {
    impl_->shell.Guard(pVal, [&] {
        std::u16string text;
        if (const SmtpEngine* engine = impl_->Idle()) {
            const std::vector<std::string>& lines = engine->ReplyLines();
            if (lIndex >= 1 && static_cast<size_t>(lIndex) <= lines.size())
                text = Cp932ToWide(lines[lIndex - 1]);
        }
        Put(pVal, std::move(text));
    });
}

void Smtp::MakeDataFROM(const std::u16string& strUser, const std::u16string& strNickName,
                        std::int32_t* pVal) {
    impl_->shell.Guard(pVal, [&] {
        if (!impl_->engine) {
            Put(pVal, 0);
            return;
        }
        std::string address = TextOrEmpty(strUser);
        if (address.empty()) {
            impl_->last_error = kLastErrorEmptyText;
            return;
        }
        impl_->engine->Message().from = Recipient{TextOrEmpty(strNickName), address};
        Put(pVal, 1);
    });
}
void Smtp::MakeDataTO(const std::u16string& strUser, const std::u16string& strNickName, std::int32_t* pVal) {
    impl_->AddRecipient(&ComposedMessage::to, strUser, strNickName, pVal);
}
void Smtp::MakeDataCC(const std::u16string& strUser, const std::u16string& strNickName, std::int32_t* pVal) {
    impl_->AddRecipient(&ComposedMessage::cc, strUser, strNickName, pVal);
}
void Smtp::MakeDataBC(const std::u16string& strUser, const std::u16string& strNickName, std::int32_t* pVal) {
    impl_->AddRecipient(&ComposedMessage::bc, strUser, strNickName, pVal);
}
void Smtp::MakeDataREPLYTO(const std::u16string& strReplyTo, std::int32_t* pVal) {
    impl_->SetField(&ComposedMessage::reply_to, strReplyTo, pVal);
}
void Smtp::MakeDataSUBJECT(const std::u16string& strSubject, std::int32_t* pVal) {
    impl_->SetField(&ComposedMessage::subject, strSubject, pVal);
}
void Smtp::MakeDataEXMESSAGE(const std::u16string& strExMessage, std::int32_t* pVal) {
    impl_->AddText(&ComposedMessage::extra_headers, strExMessage, pVal);
}
void Smtp::MakeDataFileName(const std::u16string& strFilename, std::int32_t* pVal) {
    impl_->AddText(&ComposedMessage::attachments, strFilename, pVal);
}
void Smtp::ReleaseData(std::int32_t* pVal) {
    impl_->shell.Guard(pVal, [&] {
        if (!impl_->engine) {
            Put(pVal, 0);
            return;
        }
        impl_->engine->DiscardMessage();
        Put(pVal, 1);
    });
}

std::int32_t Smtp::Impl::SendMail(const char* method, const std::u16string& server_text,
                                  const std::u16string& to_text, const std::u16string& from_text,
                                  const std::u16string& subject_text, const std::u16string& body_text,
                                  const std::u16string& filename_text, SendJob::Resolve kind) {
    SendJob job;
    job.server = WideToCp932(server_text);
    job.mail.to = WideToCp932(to_text);
    job.mail.from = WideToCp932(from_text);
    job.mail.subject = WideToCp932(subject_text);
    job.mail.body = WideToCp932(body_text);
    std::string filename_as_given = WideToCp932(filename_text);
    job.mail.filename = filename_as_given == "0" ? std::string() : filename_as_given;
    // A line break in these would reach a command line; refuse before anything is sent.
    if (job.server.empty() || job.mail.to.empty() || job.mail.from.empty() || HasLineBreak(job.server) ||
        HasLineBreak(job.mail.to) || HasLineBreak(job.mail.from)) {
        shell.Refuse(FailureKind::BadArgument,
                     std::string(method) + " (" + mailcore::SendStatusText(kSendMissingArgument) + ")");
        return kSendMissingArgument;
    }
    if (send_worker.Running()) {
        shell.Refuse(FailureKind::Busy, method);
        return kSendConnectFailed;
    }
    job.port = port;
    job.send_timeout_ms = send_timeout_ms;
    job.recv_timeout_ms = recv_timeout_ms;
    job.kind = kind;
    job.mail.type = type;
    job.mail.encode = encode;
    job.mail.header8bit = header8bit;
    job.mail.width = width;
    job.mail.priority = priority;
    job.security = SecuritySettings();
    job.log_in = !smtp_user.empty() || !smtp_password.empty();
    job.user = WideToUtf8(smtp_user);
    job.password = WideToUtf8(smtp_password);

    if (sync == 2) {
        if (kind == SendJob::Resolve::kByAddress) {
            shell.Refuse(FailureKind::BadArgument, std::string(method) + " (not with the external sender)");
            return kSendConnectFailed;
        }
        ExternalMail mail{job.server,       job.mail.to,   job.mail.from,
                          job.mail.subject, job.mail.body, job.mail.filename};
        std::int32_t status = ExternalSend(execute_filename, log_filename, std::move(mail), children);
        if (status == kSendOk) {
            shell.Adopt({});
        } else {
            shell.Refuse(FailureKind::BadArgument,
                         std::string(method) + " (external sender command line too long)");
        }
        return status;
    }

    SendRecord record{0,
                      job.server,
                      job.mail.to,
                      job.mail.from,
                      job.mail.subject,
                      job.mail.body,
                      job.mail.filename,
                      port,
                      type,
                      encode,
                      header8bit,
                      width,
                      send_timeout_ms / 1000,
                      recv_timeout_ms / 1000,
                      sync};
    if (charset == kCharsetUtf8) {
        // The mail itself keeps every character; the log record above stays in the host's code page.
        job.mail.charset = kCharsetUtf8;
        job.mail.to = WideToUtf8(to_text);
        job.mail.from = WideToUtf8(from_text);
        job.mail.subject = WideToUtf8(subject_text);
        job.mail.body = WideToUtf8(body_text);
        if (!job.mail.filename.empty()) job.mail.filename = WideToUtf8(filename_text);
    }
    if (sync == 1) {
        OneShotOutcome outcome = RunOneShot(job);
        NoteSendFailure(outcome.status, outcome.failure);
        shell.Adopt(std::move(outcome.failure));
        if (!log_filename.empty()) {
            record.status = outcome.status;
            record.filename = filename_as_given;
            if (!WriteSendRecord(log_filename, record)) last_error = kLastErrorLogNotWritten;
        }
        return outcome.status;
    }

    // Sync 0: the worker owns copies of everything but the queue and the failure slot, which outlive it.
    if (job.mail.body.empty()) job.mail.body.push_back(' ');
    job.mail.mailer = "X-Mailer: Outlark Version 1.6.0.1";
    bool started = send_worker.Start(
        [this, job = std::move(job), record = std::move(record), log = log_filename]() mutable {
            mailcore::Failure failure;
            try {
                OneShotOutcome outcome = RunOneShot(job);
                record.status = outcome.status;
                NoteSendFailure(outcome.status, outcome.failure);
                failure = std::move(outcome.failure);
                if (!log.empty() && !WriteSendRecord(log, record)) last_error = kLastErrorLogNotWritten;
            } catch (const std::exception& e) {
                record.status = kSendNotStarted;
                failure = {FailureKind::Internal, 0, {}, e.what()};
            }
            std::lock_guard lock(send_failure_mutex);
            send_failure = std::move(failure);
            return record.status;
        },
        queue);
    if (!started) {
        shell.Refuse(FailureKind::Internal, std::string(method) + " (no worker thread)");
        return kSendNotStarted;
    }
    shell.Adopt({});
    return kSendOk;
}

void Smtp::SendMail(const std::u16string& strServerName, const std::u16string& strTo,
                    const std::u16string& strFrom, const std::u16string& strSubject,
                    const std::u16string& strBody, const std::u16string& strFilename, std::int32_t* pVal) {
    impl_->shell.Guard(pVal, [&] {
        Put(pVal, impl_->SendMail("SendMail", strServerName, strTo, strFrom, strSubject, strBody, strFilename,
                                  SendJob::Resolve::kByName));
    });
}

void Smtp::SendMailByAddr(const std::u16string& strServerAddr, const std::u16string& strTo,
                          const std::u16string& strFrom, const std::u16string& strSubject,
                          const std::u16string& strBody, const std::u16string& strFilename,
                          std::int32_t* pVal) {
    impl_->shell.Guard(pVal, [&] {
        Put(pVal, impl_->SendMail("SendMailByAddr", strServerAddr, strTo, strFrom, strSubject, strBody,
                                  strFilename, SendJob::Resolve::kByAddress));
    });
}

}  // namespace outlark
