#include "agent/engine/agent_engine.h"
#include "agent/engine/log_texts.h"
#include "agent/engine/number_list.h"
#include "agent/engine/reply_text.h"

namespace mirelo {
namespace {

const QString kLineBreak = QStringLiteral("\r\n");

// The mail list without its first `reported` lines.
QString UnreportedLines(const QString& mailList, int reported) {
    qsizetype pos = 0;
    for (int i = 0; i < reported; ++i) {
        const qsizetype brk = mailList.indexOf(kLineBreak, pos);
        if (brk < 0) return {};
        pos = brk + 2;
    }
    return mailList.mid(pos);
}

// "To:", "Cc:": the addresses joined by ",".
template <typename Count, typename Get>
QString AddressLine(const QString& name, Count count, Get get) {
    QString line = name;
    const std::int32_t n = count();
    for (std::int32_t k = 1; k <= n; ++k) {
        if (k > 1) line += u',';
        line += get(k);
    }
    return line + kLineBreak;
}

}  // namespace

void AgentEngine::SendMailList(ListRequest kind, std::int16_t lastNumber, const QString& address,
                               CheckMode mode, bool toOther) {
    QString text;
    int count;
    if (kind == ListRequest::All) {
        WriteLog(log_text::AllListSendStart());
        text = state_.MailList;
        count = lastNumber;
    } else {
        WriteLog(log_text::LatestListSendStart());
        text = UnreportedLines(state_.MailList, state_.ReportedCount);
        count = static_cast<int>(text.count(kLineBreak));
    }
    if (!IsValidAddress(address)) {
        WriteLog(log_text::IllegalMailAddress(address));
        WriteLog(log_text::MailListSendFailed());
        return;
    }
    state_.ReportedCount = lastNumber;
    if (mode == CheckMode::AutoInform) WriteLog(log_text::AutoInformListing());
    if (mode == CheckMode::AfterDelete) WriteLog(log_text::AfterDeleteListing());

    QString subject = settings_.ListSubject;
    subject.replace(QStringLiteral("%t"), QString::number(count));
    if (count == 0)
        text = kind == ListRequest::Latest ? QStringLiteral("新着メールはありません。")
                                           : QStringLiteral("メールはありません。");
    if (mode == CheckMode::AfterDelete) text = QStringLiteral("***Delete result***") + kLineBreak + text;
    // An automatic list with nothing new would only disturb the owner.
    if (count != 0 || mode != CheckMode::AutoInform) SendReply(address, subject, text, toOther);
    WriteLog(log_text::MailListSendEnd(count));
}

void AgentEngine::SendMailBodies(const QString& numbers, std::int16_t lastNumber, const QString& address,
                                 bool transfer) {
    WriteLog(transfer ? log_text::TransferBodyStart(numbers) : log_text::MailBodySendStart(numbers));
    if (!IsValidAddress(address)) {
        WriteLog(log_text::IllegalMailAddress(address));
        WriteLog(transfer ? log_text::TransferBodyFailed() : log_text::MailBodySendFailed());
        return;
    }
    Pop3Component& pop3 = parts_.pop3;
    for (const std::int16_t j : NumberList(numbers, lastNumber)) {
        QString subject;
        QString text;
        if (pop3.RETR(j) == 0) {
            subject = text = QStringLiteral("Sorry cannot get mail(No.%1)").arg(j);
            WriteLog(log_text::ErrorRetr(pop3.LastError(), pop3.LastErrorText()));
        } else if (pop3.MakeData() == 0) {
            subject = text = QStringLiteral("Sorry cannot make data(No.%1)").arg(j);
            WriteLog(log_text::ErrorMakeData(pop3.LastError(), pop3.LastErrorText()));
        } else {
            subject = settings_.TransHeader + pop3.GetSubject();
            if (settings_.AddTo)
                text += AddressLine(
                    QStringLiteral("To:"), [&] { return pop3.GetToCount(); },
                    [&](std::int32_t k) { return pop3.GetTo(k); });
            if (settings_.AddCc)
                text += AddressLine(
                    QStringLiteral("Cc:"), [&] { return pop3.GetCcCount(); },
                    [&](std::int32_t k) { return pop3.GetCc(k); });
            if (settings_.AddFrom) text += QStringLiteral("From:") + pop3.GetFrom() + kLineBreak;
            if (settings_.AddSubject) text += QStringLiteral("Subject:") + pop3.GetSubject() + kLineBreak;
            text += pop3.GetBody();
            pop3.ReleaseData();
        }
        WriteLog(log_text::SendingMailNo(j));
        SendReply(address, subject, text, transfer);
    }
    WriteLog(transfer ? log_text::TransferBodyEnd() : log_text::MailBodySendEnd());
}

void AgentEngine::DeleteMails(const QString& numbers, std::int16_t lastNumber) {
    WriteLog(log_text::DeleteMailStart(numbers));
    Pop3Component& pop3 = parts_.pop3;
    for (const std::int16_t j : NumberList(numbers, lastNumber)) {
        if (pop3.DELE(j) != 0)
            WriteLog(log_text::DeleteMailNo(j));
        else
            WriteLog(log_text::ErrorDele(j, pop3.LastError(), pop3.LastErrorText()));
    }
    WriteLog(log_text::DeleteMailEnd());
}

void AgentEngine::SendReply(const QString& address, const QString& subject, const QString& text,
                            bool toOther) {
    if (address.isEmpty()) {
        WriteLog(log_text::ErrorSendMailIllegalAddress());
        SetStatus(status_code::kIllegalAddress);
        return;
    }
    // Mail for another address goes as it is: its quote marks are taken off and put back unchanged.
    const ShapingRules rules{QuoteMarks(settings_.QuoteTop), settings_.TrimLine && !toOther,
                             settings_.RemoveBlankLine && !toOther};
    const QString output = ShapeReplyText(text, rules);

    const int maxChars = settings_.OneMailMaxChar;
    if (toOther || maxChars <= 0 || output.size() <= maxChars) {
        WriteLog(log_text::SendTo(address, static_cast<int>(output.size())));
        SendOne(address, subject, output);
        return;
    }
    const QStringList parts = SplitReplyText(
        output, {maxChars, settings_.OneMailMaxLine, settings_.SeparateMax, settings_.RemoveBlankLine});
    for (int k = 1; k <= parts.size(); ++k) {
        const QString& part = parts[k - 1];
        WriteLog(log_text::SendToPart(address, k, static_cast<int>(part.size())));
        SendOne(address, PartSubject(settings_.MultiSendSubject, subject, k), part);
    }
}

void AgentEngine::SendOne(const QString& address, const QString& subject, const QString& body) {
    SetStatus(status_code::kSending);
    // "0" is the component's word for "no attachment".
    if (parts_.smtp.SendMail(settings_.SMTPServer, address, settings_.FromMailAddr, subject, body,
                             QStringLiteral("0")) != 1) {
        WriteLog(log_text::ErrorSendMail(parts_.smtp.LastError(), parts_.smtp.LastErrorText()));
        SetStatus(status_code::kSendFailed);
    }
}

}  // namespace mirelo
