#pragma once
// Recording doubles of the two components and the view, and an engine wired to them in a temporary
// program folder, for the engine tests.

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <vector>

#include "agent/engine/agent_engine.h"
#include "agent/engine/tests/engine_test_support.h"

namespace mirelo::testing_support {

struct FakeMail {
    QString from;
    QString subject;
    QString body;  // CR LF line breaks
    QString contentType = QStringLiteral("text/plain; charset=iso-2022-jp");
    int attachments = 0;
    QStringList to;
    QStringList cc;
};

inline FakeMail Mail(QString from, QString subject, QString body = {}) {
    FakeMail mail;
    mail.from = std::move(from);
    mail.subject = std::move(subject);
    mail.body = std::move(body);
    return mail;
}

// A mailbox behind the POP3 calls. Every call is recorded as "NAME(args)"; a call named in `failing`
// (for example "TOP_(2)", "RETR(3)", "Authorize") returns 0 and sets LastError to `failError`.
class FakePop3 final : public Pop3Component {
  public:
    std::vector<FakeMail> mails;
    std::set<QString> failing;
    std::int32_t failError = -7;
    QString failCause;  // LastErrorText after a failed call
    std::set<std::int32_t> deleted;
    QStringList calls;
    std::map<QString, std::int32_t> properties;
    std::optional<QString> trustFile;
    QStringList parsedTexts;  // what MakeDataEx was given

    void SetPort(std::int32_t v) override { properties[QStringLiteral("Port")] = v; }
    void SetSync(std::int32_t v) override { properties[QStringLiteral("Sync")] = v; }
    void SetSendTimeout(std::int32_t v) override { properties[QStringLiteral("SendTimeout")] = v; }
    void SetRecvTimeout(std::int32_t v) override { properties[QStringLiteral("RecvTimeout")] = v; }
    void SetDecodeCharsets(std::int32_t v) override { properties[QStringLiteral("DecodeCharsets")] = v; }
    void SetSecurity(std::int32_t v) override { properties[QStringLiteral("Security")] = v; }
    void SetTrustFile(const QString& v) override { trustFile = v; }
    std::int32_t LastError() override { return lastError_; }
    QString LastErrorText() override { return lastError_ != 0 ? failCause : QString(); }

    std::int32_t ConnectByName(const QString& server) override { return Result(u"ConnectByName", server); }
    std::int32_t Authorize(const QString& user, const QString&) override {
        return Result(u"Authorize", user);
    }
    std::int32_t STAT() override {
        reply_ = QStringLiteral("+OK %1 0").arg(mails.size());
        return Result(u"STAT");
    }
    std::int32_t LIST(std::int32_t n) override {
        if (!Exists(n)) return Fail(QStringLiteral("LIST(%1)").arg(n));
        reply_ = QStringLiteral("+OK %1 %2").arg(n).arg(1000 + n);
        return Result(u"LIST", n);
    }
    std::int32_t TOP_(std::int32_t n, std::int32_t lines) override;
    std::int32_t RETR(std::int32_t n) override;
    std::int32_t DELE(std::int32_t n) override {
        if (!Exists(n)) return Fail(QStringLiteral("DELE(%1)").arg(n));
        const std::int32_t r = Result(u"DELE", n);
        if (r) deleted.insert(n);
        return r;
    }
    std::int32_t QUIT() override { return Result(u"QUIT"); }
    std::int32_t Destroy() override { return Result(u"Destroy"); }

    std::int32_t GetCount() override { return 1; }
    std::int32_t GetNo(std::int32_t) override { return static_cast<std::int32_t>(mails.size()); }
    QString GetMessage() override { return reply_; }
    void ReleaseData() override { record_.reset(); }

    std::int32_t MakeData() override;
    std::int32_t MakeDataEx(const QString& message) override;
    QString GetSubject() override { return record_ ? record_->subject : QString(); }
    QString GetFrom() override { return record_ ? record_->from : QString(); }
    QString GetBody() override { return record_ ? record_->body : QString(); }
    std::int32_t GetFileNameCount() override { return record_ ? record_->attachments : 0; }
    std::int32_t GetToCount() override { return record_ ? static_cast<std::int32_t>(record_->to.size()) : 0; }
    QString GetTo(std::int32_t k) override { return record_->to.value(k - 1); }
    std::int32_t GetCcCount() override { return record_ ? static_cast<std::int32_t>(record_->cc.size()) : 0; }
    QString GetCc(std::int32_t k) override { return record_->cc.value(k - 1); }

  private:
    bool Exists(std::int32_t n) const { return n >= 1 && n <= static_cast<std::int32_t>(mails.size()); }
    std::int32_t Fail(const QString& call) {
        calls.append(call);
        lastError_ = failError;
        return 0;
    }
    std::int32_t Result(QStringView name, const QString& arg = {});
    std::int32_t Result(QStringView name, std::int32_t n) { return Result(name, QString::number(n)); }

    QString reply_;
    std::int32_t current_ = 0;
    bool retrievedWhole_ = false;
    std::optional<FakeMail> record_;
    std::int32_t lastError_ = 0;
};

struct SentMail {
    QString server, to, from, subject, body, fileName;
};

class FakeSmtp final : public SmtpComponent {
  public:
    std::vector<SentMail> sent;  // also the refused ones
    std::set<int> refused;       // 1-based numbers of the SendMail calls that fail
    std::int32_t lastError = -4;
    QString failCause;  // LastErrorText
    std::map<QString, QString> properties;

    void SetPort(std::int32_t v) override { properties[QStringLiteral("Port")] = QString::number(v); }
    void SetSync(std::int32_t v) override { properties[QStringLiteral("Sync")] = QString::number(v); }
    void SetHeader8bit(std::int32_t v) override {
        properties[QStringLiteral("Header8bit")] = QString::number(v);
    }
    void SetWidth(std::int32_t v) override { properties[QStringLiteral("Width")] = QString::number(v); }
    void SetSendTimeout(std::int32_t v) override {
        properties[QStringLiteral("SendTimeout")] = QString::number(v);
    }
    void SetRecvTimeout(std::int32_t v) override {
        properties[QStringLiteral("RecvTimeout")] = QString::number(v);
    }
    void SetLogFilename(const QString& v) override { properties[QStringLiteral("LogFilename")] = v; }
    void SetSecurity(std::int32_t v) override { properties[QStringLiteral("Security")] = QString::number(v); }
    void SetTrustFile(const QString& v) override { properties[QStringLiteral("TrustFile")] = v; }
    void SetSmtpUser(const QString& v) override { properties[QStringLiteral("SmtpUser")] = v; }
    void SetSmtpPassword(const QString& v) override { properties[QStringLiteral("SmtpPassword")] = v; }
    std::int32_t LastError() override { return lastError; }
    QString LastErrorText() override { return failCause; }
    std::int32_t SendMail(const QString& server, const QString& to, const QString& from,
                          const QString& subject, const QString& body, const QString& fileName) override {
        sent.push_back({server, to, from, subject, body, fileName});
        return refused.count(static_cast<int>(sent.size())) ? -4 : 1;
    }
};

class FakeView final : public EngineView {
  public:
    std::vector<StatusLine> statuses;
    QString counters;
    QString title;
    QString phoneAddress;
    void ShowStatus(const StatusLine& status) override { statuses.push_back(status); }
    void ShowCounters(const QString& line) override { counters = line; }
    void ShowUser(const QString& t, const QString& address) override {
        title = t;
        phoneAddress = address;
    }
    [[nodiscard]] std::vector<std::int16_t> Codes() const {
        std::vector<std::int16_t> codes;
        for (const auto& s : statuses) codes.push_back(s.code);
        return codes;
    }
};

// Settings for a phone at phone@mirelo.test and an agent with its servers, no splitting surprises.
AgentSettings PhoneSettings();

// An engine over the doubles in a fresh program folder, with the per-user store in a temporary folder.
class EngineRig {
  public:
    EngineRig();
    AgentSettings settings = PhoneSettings();
    FakePop3 pop3;
    FakeSmtp smtp;
    FakeView view;

    [[nodiscard]] const QString& Folder() const { return folder_; }
    AgentEngine& Engine();  // made on first use, after the test has changed the settings; loaded
    // The log's lines without their date-time.
    [[nodiscard]] QStringList LogLines() const;
    // A mail from the phone whose Subject is `subject`.
    void FromPhone(const QString& subject, const QString& body = {});
    void FromOther(const QString& subject, const QString& sender = QStringLiteral("friend@example.jp"));

  private:
    QTemporaryDir dir_;
    QString folder_;
    std::unique_ptr<AgentLog> log_;
    std::unique_ptr<AgentEngine> engine_;
};

}  // namespace mirelo::testing_support
