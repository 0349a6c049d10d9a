#include <QDir>

#include "agent/engine/agent_engine.h"
#include "agent/engine/during_check.h"
#include "agent/engine/log_texts.h"

namespace mirelo {

AgentEngine::AgentEngine(Parts parts) : parts_(std::move(parts)), settings_(parts_.settings) {}

void AgentEngine::Load() {
    AddCounts(0, 0, 0, 0);
    SetStatus(status_code::kIdle);
    state_ = WaitingState{};
    quitRequested_ = false;

    Pop3Component& pop3 = parts_.pop3;
    pop3.SetPort(settings_.POP3Port);
    pop3.SetSync(1);
    pop3.SetSendTimeout(60);
    pop3.SetRecvTimeout(60);
    pop3.SetDecodeCharsets(settings_.DecodeCharsets ? 1 : 0);
    // A relative CA file sits beside "Mirelo.ini", wherever the agent was started from.
    const QString trustFile = settings_.CAFile.isEmpty()
                                  ? QString()
                                  : QDir(parts_.programFolder).absoluteFilePath(settings_.CAFile);
    pop3.SetSecurity(settings_.POP3Security);
    pop3.SetTrustFile(trustFile);

    SmtpComponent& smtp = parts_.smtp;
    smtp.SetPort(settings_.SMTPPort);
    smtp.SetSync(1);
    smtp.SetHeader8bit(1);
    smtp.SetWidth(80);
    smtp.SetSendTimeout(60);
    smtp.SetRecvTimeout(60);
    smtp.SetLogFilename(QString());
    smtp.SetSecurity(settings_.SMTPSecurity);
    smtp.SetTrustFile(trustFile);
    smtp.SetSmtpUser(settings_.SMTPUser);
    smtp.SetSmtpPassword(settings_.SMTPPasswd);
}

void AgentEngine::Activate() {
    ShowUser();
    WriteLog(log_text::ChangeWaitingMode());
}

void AgentEngine::Unload() { WriteLog(log_text::ExitWaitingMode()); }

TickOutcome AgentEngine::Tick() {
    state_.ElapsedMinutes = SaturatingAdd(state_.ElapsedMinutes, 1);
    if (settings_.AutoInform) state_.AutoInformMinutes = SaturatingAdd(state_.AutoInformMinutes, 1);
    const bool autoInformDue =
        settings_.AutoInform && state_.AutoInformMinutes >= settings_.AutoInformInterval;
    if (state_.ElapsedMinutes < settings_.CheckInterval && !autoInformDue && !state_.ForceCheck)
        return TickOutcome::Idle;
    return RunDueCheck();
}

TickOutcome AgentEngine::CheckNow() {
    TickOutcome outcome = RunDueCheck();
    if (outcome == TickOutcome::Checked && state_.ForceCheck) outcome = RunDueCheck();
    return outcome;
}

TickOutcome AgentEngine::RunDueCheck() {
    const QString owner = ReadDuringCheck();
    if (!owner.isEmpty() && owner != parts_.programFolder) {
        SetStatus(status_code::kOtherCopyChecking);
        return TickOutcome::OtherCopy;
    }
    WriteDuringCheck(parts_.programFolder);

    bool ok;
    if (state_.ForceCheck) {
        ok = CheckMail(CheckMode::AfterDelete);
        if (ok) {
            state_.ForceCheck = false;
            state_.AutoInformMinutes = 0;
        }
    } else if (settings_.AutoInform && state_.AutoInformMinutes >= settings_.AutoInformInterval) {
        ok = CheckMail(CheckMode::AutoInform);
        if (ok) state_.AutoInformMinutes = 0;
    } else {
        ok = CheckMail(CheckMode::Regular);
    }
    if (ok) state_.ElapsedMinutes = 0;

    // Cleared also before a quit, or every other copy would wait for this one for good.
    WriteDuringCheck(QString());
    if (quitRequested_) return TickOutcome::QuitCommand;
    if (!ok) {
        SetStatus(status_code::kRetry, QStringLiteral("接続できませんでした。リトライします。"));
        return TickOutcome::CheckFailed;
    }
    return TickOutcome::Checked;
}

bool AgentEngine::CheckMail(CheckMode mode) {
    CheckState check;
    check.ListAddress = settings_.MailAddr1;
    check.MailNumber = state_.NextNumber;
    SetStatus(status_code::kAccessing);

    Pop3Component& pop3 = parts_.pop3;
    if (pop3.ConnectByName(settings_.POP3Server) == 0) {
        WriteLog(log_text::ErrorConnectByName(pop3.LastError(), pop3.LastErrorText()));
        SetStatus(status_code::kConnectFailed);
        return false;
    }

    bool ok = true;
    if (pop3.Authorize(settings_.SvLogin, settings_.SvPasswd) == 0) {
        WriteLog(log_text::ErrorAuthorize(pop3.LastError(), pop3.LastErrorText()));
        SetStatus(status_code::kAuthorizeFailed);
        ok = false;
    } else {
        if (pop3.STAT() == 0) {
            WriteLog(log_text::ErrorStat(pop3.LastError(), pop3.LastErrorText()));
            SetStatus(status_code::kStatFailed);
        } else if (pop3.GetCount() == 1) {
            const std::int32_t messages = pop3.GetNo(1);
            SetStatus(status_code::kListing);
            for (std::int32_t i = state_.NextNumber; i <= messages; ++i) ExamineMail(i, check);
            Dispatch(check, mode);
        }
        pop3.QUIT();
        SetStatus(status_code::kIdle);
    }
    pop3.Destroy();

    if (check.QuitRequested) {
        WriteLog(log_text::QuitCommandAccept());
        quitRequested_ = true;
    }
    return ok;
}

void AgentEngine::Dispatch(const CheckState& check, CheckMode mode) {
    // The highest list number once this check's command mails are gone from the server.
    const auto lastNumber = SaturatingAdd(check.MailNumber, -1);
    if (mode != CheckMode::Regular || check.ListKind != ListRequest::None) {
        SendMailList(check.ListKind, lastNumber, check.ListAddress, mode,
                     check.ListAddress != settings_.MailAddr1);
        state_.AutoInformMinutes = 0;
    }
    if (check.BodyRequested) SendMailBodies(check.BodyNumbers, lastNumber, settings_.MailAddr1, false);
    state_.NextNumber = check.MailNumber;
    if (check.DeleteRequested) {
        DeleteMails(check.DeleteNumbers, lastNumber);
        state_.ReportedCount = 0;
        state_.NextNumber = 1;
        ClearMailList();
        state_.ForceCheck = true;
    }
}

void AgentEngine::SetStatus(std::int16_t code, const QString& text) {
    parts_.view.ShowStatus(MakeStatusLine(code, text, settings_));
    switch (code) {
        case status_code::kListRequest:
            AddCounts(1, 0, 0, 0);
            break;
        case status_code::kBodyRequest:
            AddCounts(0, 1, 0, 0);
            break;
        case status_code::kTransferRequest:
            AddCounts(0, 0, 1, 0);
            break;
        case status_code::kDeleteRequest:
            AddCounts(0, 0, 0, 1);
            break;
        default:
            break;
    }
}

void AgentEngine::AddCounts(int list, int body, int transfer, int deletions) {
    RequestCounts& counts = state_.Counts;
    if (list == 0 && body == 0 && transfer == 0 && deletions == 0) {
        counts = {};
    } else {
        const int deltas[] = {list, body, transfer, deletions};
        for (std::size_t i = 0; i < counts.size(); ++i) counts[i] = SaturatingAdd(counts[i], deltas[i]);
    }
    parts_.view.ShowCounters(CountersText(counts));
}

void AgentEngine::ShowUser() {
    parts_.view.ShowUser(QStringLiteral("Mirelo - ") + settings_.MailAddr1, settings_.MailAddr1);
}

void AgentEngine::WriteLog(const QString& message) const { parts_.log.WriteLog(message); }

}  // namespace mirelo
