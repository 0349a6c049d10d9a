#include "engine_doubles.h"

#include "log_messages.h"

namespace mirelo::testing_support {
namespace {

const QString kLineBreak = QStringLiteral("\r\n");

QString FirstLines(const QString& body, int count) {
    qsizetype pos = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype brk = body.indexOf(kLineBreak, pos);
        if (brk < 0) return body;
        pos = brk + 2;
    }
    return body.left(pos);
}

QString HeaderOf(const FakeMail& mail) {
    return QStringLiteral("From: ") + mail.from + kLineBreak + QStringLiteral("Subject: ") + mail.subject +
           kLineBreak + QStringLiteral("Content-Type: ") + mail.contentType + kLineBreak + kLineBreak;
}

}  // namespace

std::int32_t FakePop3::Result(QStringView name, const QString& arg) {
    const QString call = name.toString() + u'(' + arg + u')';
    calls.append(call);
    if (failing.count(call) || failing.count(name.toString())) {
        lastError_ = failError;
        return 0;
    }
    if (name == u"QUIT") {
        // The server removes what was marked; the mailbox is numbered afresh.
        for (auto it = deleted.rbegin(); it != deleted.rend(); ++it) mails.erase(mails.begin() + (*it - 1));
    }
    if (name == u"QUIT" || name == u"Destroy") deleted.clear();
    return 1;
}

std::int32_t FakePop3::TOP_(std::int32_t n, std::int32_t lines) {
    if (!Exists(n)) return Fail(QStringLiteral("TOP_(%1)").arg(n));
    const std::int32_t r = Result(u"TOP_", n);
    if (r) {
        current_ = n;
        reply_ = HeaderOf(mails[n - 1]) + FirstLines(mails[n - 1].body, lines);
        retrievedWhole_ = false;
    }
    return r;
}

std::int32_t FakePop3::RETR(std::int32_t n) {
    if (!Exists(n) || deleted.count(n)) return Fail(QStringLiteral("RETR(%1)").arg(n));
    const std::int32_t r = Result(u"RETR", n);
    if (r) {
        current_ = n;
        reply_ = HeaderOf(mails[n - 1]) + mails[n - 1].body;
        retrievedWhole_ = true;
    }
    return r;
}

std::int32_t FakePop3::MakeData() {
    if (Result(u"MakeData", current_) == 0) return 0;
    record_ = mails[current_ - 1];
    return 1;
}

std::int32_t FakePop3::MakeDataEx(const QString& message) {
    parsedTexts.append(message);
    if (Result(u"MakeDataEx", current_) == 0) return 0;
    record_ = mails[current_ - 1];
    if (!retrievedWhole_) record_->body = FirstLines(record_->body, 2);
    return 1;
}

AgentSettings PhoneSettings() {
    AgentSettings s;
    s.POP3Server = QStringLiteral("pop.mirelo.test");
    s.SMTPServer = QStringLiteral("smtp.mirelo.test");
    s.POP3Port = 11110;
    s.SMTPPort = 10025;
    s.FromMailAddr = QStringLiteral("agent@mirelo.test");
    s.MailAddr1 = QStringLiteral("phone@mirelo.test");
    s.MailAddr2 = QStringLiteral("office@mirelo.test");
    s.SvLogin = QStringLiteral("agent");
    s.SvPasswd = QStringLiteral("agentpass");
    s.CheckInterval = 1;
    s.SpecialCommandAccept = true;
    return s;
}

EngineRig::EngineRig() {
    UseTemporaryConfigHome();
    folder_ = dir_.path();
}

AgentEngine& EngineRig::Engine() {
    if (!engine_) {
        log_ = std::make_unique<AgentLog>(folder_, settings,
                                          [] { return QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)); });
        engine_ =
            std::make_unique<AgentEngine>(AgentEngine::Parts{settings, folder_, *log_, pop3, smtp, view});
        engine_->Load();
        engine_->Activate();
    }
    return *engine_;
}

QStringList EngineRig::LogLines() const { return LogMessages(folder_); }

void EngineRig::FromPhone(const QString& subject, const QString& body) {
    pop3.mails.push_back(Mail(settings.MailAddr1, subject, body));
}

void EngineRig::FromOther(const QString& subject, const QString& sender) {
    pop3.mails.push_back(Mail(sender, subject, QStringLiteral("こんにちは\r\n")));
}

}  // namespace mirelo::testing_support
