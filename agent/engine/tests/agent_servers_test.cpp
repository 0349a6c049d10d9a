// The engine end to end with the real libraries against the real Dovecot and Postfix: the phone's
// command mails go through Postfix, other people's mails are dropped into the agent's Maildir, and every
// reply is read back from the receiving mailbox with inlark.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <inlark/pop3.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "agent/config/settings_file.h"
#include "agent/engine/agent_engine.h"
#include "agent/engine/during_check.h"
#include "agent/engine/library_components.h"
#include "agent/engine/tests/engine_test_support.h"
#include "log_messages.h"
#include "mailcore/wide_text.h"
#include "testing/mail_servers_env/japanese_message.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/real_servers_test.h"
#include "testing/mail_servers_env/smtp_delivery.h"

namespace mirelo {
namespace {

namespace ms = mail_servers;
using testing::ElementsAre;
using testing::IsSupersetOf;

constexpr auto kDeliveryWait = std::chrono::seconds(10);

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }
std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

class RecordingView final : public EngineView {
  public:
    std::vector<std::int16_t> codes;
    QString title;
    void ShowStatus(const StatusLine& status) override { codes.push_back(status.code); }
    void ShowCounters(const QString&) override {}
    void ShowUser(const QString& t, const QString&) override { title = t; }
};

struct ReceivedMail {
    QString subject, from, body;
    int size = 0;  // as LIST reports it
};

// Every mail of `box`, in server order, read and parsed by inlark; nothing is deleted.
std::vector<ReceivedMail> ReadMailbox(const ms::MailServersEnv& env, const ms::Mailbox& box) {
    std::vector<ReceivedMail> mails;
    inlark::Pop3 pop3;
    pop3.SetPort(env.pop3Port);
    std::int32_t r = 0;
    pop3.ConnectByName(Wide(env.host), &r);
    EXPECT_EQ(r, 1) << "connect to " << box.user;
    if (r != 1) return mails;
    pop3.Authorize(Wide(box.user), Wide(box.password), &r);
    EXPECT_EQ(r, 1) << "log-in of " << box.user;
    pop3.STAT(&r);
    std::int32_t count = 0;
    pop3.GetNo(1, &count);
    for (std::int32_t n = 1; n <= count; ++n) {
        ReceivedMail mail;
        std::u16string text;
        pop3.LIST(n, &r);
        pop3.GetMessage(&text);
        mail.size = QString::fromStdU16String(text).section(u' ', -1).trimmed().toInt();
        pop3.RETR(n, &r);
        EXPECT_EQ(r, 1) << "RETR " << n;
        pop3.MakeData(&r);
        EXPECT_EQ(r, 1) << "MakeData " << n;
        pop3.GetSubject(&text);
        mail.subject = QString::fromStdU16String(text);
        pop3.GetFrom(&text);
        mail.from = QString::fromStdU16String(text);
        pop3.GetBody(&text);
        mail.body = QString::fromStdU16String(text);
        pop3.ReleaseData(&r);
        mails.push_back(mail);
    }
    pop3.QUIT(&r);
    pop3.Destroy(&r);
    return mails;
}

class AgentOnRealServers : public ms::RealServersTest {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(RealServersTest::SetUp());
        if (IsSkipped()) return;
        ASSERT_EQ(agentLease_.Acquire(env(), "agent"), "");
        ASSERT_EQ(phoneLease_.Acquire(env(), "phone"), "");
        testing_support::UseTemporaryConfigHome();
        WriteDuringCheck(QString());

        settings.POP3Server = settings.SMTPServer = Q(env().host);
        settings.POP3Port = static_cast<std::int16_t>(env().pop3Port);
        settings.SMTPPort = static_cast<std::int16_t>(env().smtpPort);
        settings.SvLogin = Q(agent().user);
        settings.SvPasswd = Q(agent().password);
        settings.FromMailAddr = Q(agent().address);
        settings.MailAddr1 = Q(phone().address);
        settings.MailAddr2 = Q(transfer().address);
        settings.CheckInterval = 1;
        settings.SpecialCommandAccept = true;
    }

    const ms::Mailbox& agent() const { return agentLease_.mailbox(); }
    const ms::Mailbox& phone() const { return phoneLease_.mailbox(); }
    const ms::Mailbox& transfer() const { return mailbox(); }
    QString Folder() const { return folder_.path(); }

    AgentEngine& Engine() {
        if (!engine_) {
            log_ = std::make_unique<AgentLog>(folder_.path(), settings);
            engine_ = std::make_unique<AgentEngine>(
                AgentEngine::Parts{settings, folder_.path(), *log_, *pop3_, *smtp_, view});
            engine_->Load();
            engine_->Activate();
        }
        return *engine_;
    }

    // A mail from someone else, straight into the agent's Maildir.
    void FromOther(const std::string& from, const std::string& subject, const std::string& body) {
        const std::size_t before = ms::CountMessages(agent().maildir);
        ASSERT_EQ(ms::DropMessage(agent().maildir, ms::JapaneseMessage(from, agent().address, subject, body)),
                  "");
        ASSERT_EQ(ms::CountMessages(agent().maildir), before + 1);
    }

    // A mail that `from` sends through Postfix; returns once it is in the agent's Maildir, so mails keep
    // the order in which they were sent.
    void SendThroughPostfix(const std::string& from, const std::string& subject, const std::string& body) {
        const std::size_t before = ms::CountMessages(agent().maildir);
        ASSERT_EQ(ms::DeliverMail(env(), from, {agent().address},
                                  ms::JapaneseMessage(from, agent().address, subject, body)),
                  "");
        ASSERT_EQ(ms::WaitForMessages(agent().maildir, before + 1, kDeliveryWait), "");
    }
    void FromPhone(const std::string& subject, const std::string& body = {}) {
        SendThroughPostfix(phone().address, subject, body);
    }

    QStringList LogLines() const { return testing_support::LogMessages(folder_.path()); }

    // The mails the engine sent to `box`, once Postfix delivered as many as the log says were sent.
    std::vector<ReceivedMail> Replies(const ms::Mailbox& box) {
        const auto sent = LogLines().filter(QRegularExpression(QStringLiteral("^  Send to ") +
                                                               QRegularExpression::escape(Q(box.address)) +
                                                               QStringLiteral("[ (]")));
        EXPECT_EQ(ms::WaitForMessages(box.maildir, static_cast<std::size_t>(sent.size()), kDeliveryWait), "");
        return ReadMailbox(env(), box);
    }

    AgentSettings settings;
    RecordingView view;

  private:
    ms::MailboxLease agentLease_, phoneLease_;
    QTemporaryDir folder_;
    std::unique_ptr<Pop3Component> pop3_ = MakeLibraryPop3();
    std::unique_ptr<SmtpComponent> smtp_ = MakeLibrarySmtp();
    std::unique_ptr<AgentLog> log_;
    std::unique_ptr<AgentEngine> engine_;
};

// Lines of a reply body, without the empty text after its last line break.
QStringList Lines(const QString& body) {
    QStringList lines = body.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

TEST_F(AgentOnRealServers, ListRequestIsAnsweredAndItsMailDeleted) {
    FromOther("boss@example.jp", "会議の件", "明日の会議は十時からです。\n");
    FromOther("news@example.com", "Weekly news", "plain ASCII\n");
    FromPhone("LIST");
    const std::vector<ReceivedMail> before = ReadMailbox(env(), agent());
    ASSERT_EQ(before.size(), 3u);

    EXPECT_EQ(Engine().CheckNow(), TickOutcome::Checked);

    const std::vector<ReceivedMail> replies = Replies(phone());
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].subject, QStringLiteral("Mirelo 2lists"));
    EXPECT_EQ(replies[0].from, Q(agent().address));
    EXPECT_EQ(Lines(replies[0].body),
              (QStringList{QStringLiteral("1 会議の件[%1] boss@example.jp").arg(before[0].size),
                           QStringLiteral("2 Weekly news[%1] news@example.com").arg(before[1].size)}));
    // Only the command mail is gone.
    const std::vector<ReceivedMail> after = ReadMailbox(env(), agent());
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].subject, QStringLiteral("会議の件"));
    EXPECT_EQ(after[1].subject, QStringLiteral("Weekly news"));
    EXPECT_EQ(Engine().State().Counts[0], 1);
}

TEST_F(AgentOnRealServers, LongJapaneseBodyArrivesInPartsWithinThePhoneLimits) {
    settings.OneMailMaxChar = 100;
    settings.OneMailMaxLine = 5;
    std::string body;
    for (int i = 1; i <= 24; ++i) body += "第" + std::to_string(i) + "行　日本語の本文です。\n";
    FromOther("boss@example.jp", "長い報告", body);
    FromPhone("BODY 1");

    Engine().CheckNow();

    std::vector<ReceivedMail> parts = Replies(phone());
    ASSERT_GE(parts.size(), 3u);
    // Postfix may deliver the parts in any order.
    std::sort(parts.begin(), parts.end(), [](const ReceivedMail& a, const ReceivedMail& b) {
        return a.subject.section(u']', 0, 0).mid(1).toInt() < b.subject.section(u']', 0, 0).mid(1).toInt();
    });
    QString joined;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        SCOPED_TRACE(k + 1);
        EXPECT_EQ(parts[k].subject, QStringLiteral("[%1]MireloFw:長い報告").arg(k + 1));
        EXPECT_LE(parts[k].body.size(), settings.OneMailMaxChar + 1) << parts[k].body.toStdString();
        EXPECT_LE(Lines(parts[k].body).size(), settings.OneMailMaxLine);
        joined += parts[k].body;
    }
    // Nothing lost or changed on the way, only cut.
    QString expected = QStringLiteral("To:%1\r\nCc:\r\nFrom:boss@example.jp\r\n").arg(Q(agent().address));
    expected += Q(body).replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    EXPECT_EQ(joined, expected);
    EXPECT_EQ(ms::CountMessages(agent().maildir), 1u);  // the mail itself stays
}

// Mail as today's programs send it: with the setting on, the phone reads its subject and body; the emoji,
// which the phone's charset cannot hold, becomes one "?".
TEST_F(AgentOnRealServers, Utf8MailIsListedAndSentReadablyWithTodaysReading) {
    settings.DecodeCharsets = true;
    ASSERT_EQ(ms::DropMessage(agent().maildir,
                              "From: =?UTF-8?B?5bCP5p6X?= <boss@example.jp>\r\nTo: " + agent().address +
                                  "\r\nSubject: =?UTF-8?B?"
                                  "5Lya6K2w44Gu44GK55+l44KJ44GbIPCfmIA=?=\r\n"
                                  "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                                  "Content-Transfer-Encoding: 8bit\r\n\r\n"
                                  "明日の会議は十時からです。\xF0\x9F\x98\x80\r\n"),
              "");
    const int size = ReadMailbox(env(), agent()).at(0).size;
    FromPhone("LIST");
    Engine().CheckNow();
    std::vector<ReceivedMail> replies = Replies(phone());
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(Lines(replies[0].body),
              QStringList{QStringLiteral("1 会議のお知らせ ?[%1] boss@example.jp").arg(size)});

    FromPhone("BODY 1");
    Engine().CheckNow();
    replies = Replies(phone());
    ASSERT_EQ(replies.size(), 2u);
    const auto body = std::find_if(replies.begin(), replies.end(),
                                   [](const ReceivedMail& m) { return m.subject.startsWith(u"MireloFw:"); });
    ASSERT_NE(body, replies.end());
    EXPECT_EQ(body->subject, QStringLiteral("MireloFw:会議のお知らせ ?"));
    EXPECT_THAT(body->body.toStdString(), testing::EndsWith("明日の会議は十時からです。?\r\n"));
}

// As a provider asks today: POP3 in TLS from the connect, submission with STARTTLS and a log-in, both
// servers checked against their own CA.
TEST_F(AgentOnRealServers, ListRequestIsAnsweredOverTlsWithSmtpAuth) {
    settings.POP3Port = static_cast<std::int16_t>(env().pop3sPort);
    settings.POP3Security = 2;
    settings.SMTPPort = static_cast<std::int16_t>(env().submissionPort);
    settings.SMTPSecurity = 1;
    settings.SMTPUser = Q(agent().user);
    settings.SMTPPasswd = Q(agent().password);
    settings.CAFile = Q(env().caFile);
    FromOther("boss@example.jp", "会議の件", "明日の会議は十時からです。\n");
    FromPhone("LIST");

    EXPECT_EQ(Engine().CheckNow(), TickOutcome::Checked);

    const std::vector<ReceivedMail> replies = Replies(phone());
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].subject, QStringLiteral("Mirelo 1lists"));
    EXPECT_EQ(ReadMailbox(env(), agent()).size(), 1u);  // the command mail is gone
    for (const QString& line : LogLines()) EXPECT_FALSE(line.startsWith(u"ERROR")) << line.toStdString();
}

// The submission port refuses the wrong password: the reply is not sent, the log says why without the
// password, and the check goes on (the command mail is still deleted, as after any refused reply).
TEST_F(AgentOnRealServers, RefusedSmtpLogInIsLoggedWithoutThePassword) {
    settings.SMTPPort = static_cast<std::int16_t>(env().submissionPort);
    settings.SMTPSecurity = 1;
    settings.SMTPUser = Q(agent().user);
    settings.SMTPPasswd = QStringLiteral("not-the-password-9");
    settings.CAFile = Q(env().caFile);
    FromPhone("LIST");

    EXPECT_EQ(Engine().CheckNow(), TickOutcome::Checked);

    const QStringList errors = LogLines().filter(QRegularExpression(QStringLiteral("^ERROR SendMail:")));
    ASSERT_EQ(errors.size(), 1) << LogLines().join(u'\n').toStdString();
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("ERROR SendMail:-12"))) << errors[0].toStdString();
    for (const QString& line : LogLines()) {
        EXPECT_FALSE(line.contains(QStringLiteral("not-the-password-9"))) << line.toStdString();
    }
    EXPECT_EQ(ms::CountMessages(phone().maildir), 0u);
}

// Without the servers' CA the system's store does not know their certificate: nothing is sent in plain
// text and the log names the certificate.
TEST_F(AgentOnRealServers, UntrustedCertificateStopsTheCheckWithItsReason) {
    settings.POP3Port = static_cast<std::int16_t>(env().pop3sPort);
    settings.POP3Security = 2;
    FromPhone("LIST");

    EXPECT_EQ(Engine().CheckNow(), TickOutcome::CheckFailed);

    const QStringList lines = LogLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("ERROR ConnectByName:-11 ")))
        << lines.last().toStdString();
    EXPECT_TRUE(lines.last().contains(QStringLiteral("certificate"))) << lines.last().toStdString();
    EXPECT_EQ(ReadMailbox(env(), agent()).size(), 1u);  // the command mail stays for the next check
}

TEST_F(AgentOnRealServers, TransferArrivesWholeAtTheSecondAddress) {
    const std::string body = ">>  引用された行\n\n  字下げした行  \n　全角空白の行\n";
    FromOther("boss@example.jp", "資料の件", body);
    FromPhone("TRAN 1");

    Engine().CheckNow();

    const std::vector<ReceivedMail> forwarded = Replies(transfer());
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(forwarded[0].subject, QStringLiteral("MireloFw:資料の件"));
    EXPECT_EQ(forwarded[0].body,
              QStringLiteral("To:%1\r\nCc:\r\nFrom:boss@example.jp\r\n").arg(Q(agent().address)) +
                  Q(body).replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
    EXPECT_EQ(ms::CountMessages(phone().maildir), 0u);
}

TEST_F(AgentOnRealServers, DeleteRemovesExactlyThatMailAndTheFreshListFollows) {
    FromOther("a@example.jp", "一通目", "一\n");
    FromOther("b@example.jp", "二通目", "二\n");
    FromOther("c@example.jp", "三通目", "三\n");
    FromPhone("DEL 2");
    const std::vector<ReceivedMail> before = ReadMailbox(env(), agent());

    EXPECT_EQ(Engine().CheckNow(), TickOutcome::Checked);

    const std::vector<ReceivedMail> after = ReadMailbox(env(), agent());
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].subject, QStringLiteral("一通目"));
    EXPECT_EQ(after[1].subject, QStringLiteral("三通目"));
    EXPECT_EQ(ms::CountMessages(agent().maildir), 2u);

    const std::vector<ReceivedMail> replies = Replies(phone());
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].subject, QStringLiteral("Mirelo 2lists"));
    EXPECT_EQ(Lines(replies[0].body),
              (QStringList{QStringLiteral("***Delete result***"),
                           QStringLiteral("1 一通目[%1] a@example.jp").arg(before[0].size),
                           QStringLiteral("2 三通目[%1] c@example.jp").arg(before[2].size)}));
    EXPECT_THAT(LogLines(), IsSupersetOf({QStringLiteral("+Delete mail start--> 2,"),
                                          QStringLiteral("  Delete mail No.2"),
                                          QStringLiteral("  After delete listing.")}));
}

TEST_F(AgentOnRealServers, AddressChangeIsSavedToTheSettingsFile) {
    const std::string newAddress = "newphone@" + env().domain;
    FromPhone("!!ADDRESS!!", newAddress + "\n");

    Engine().CheckNow();

    EXPECT_EQ(settings.MailAddr1, Q(newAddress));
    AgentSettings loaded;
    (void)LoadSettings(SettingsFilePath(Folder()), loaded);
    EXPECT_EQ(loaded.MailAddr1, Q(newAddress));
    EXPECT_EQ(view.title, Q("Mirelo - " + newAddress));
    EXPECT_THAT(LogLines(), IsSupersetOf({Q("!!MASTER ADDRESS CHANGED!!--> " + newAddress)}));
    EXPECT_EQ(ms::CountMessages(agent().maildir), 0u);
}

TEST_F(AgentOnRealServers, CommandWordsFromOthersAreListedNeverObeyed) {
    FromOther("friend@example.jp", "最初のメール", "本文\n");
    // The transfer mailbox plays a stranger who knows the command words.
    SendThroughPostfix(transfer().address, "DEL 1", "");
    SendThroughPostfix(transfer().address, "LIST", transfer().address + "\n");
    SendThroughPostfix(transfer().address, "TRAN 1", transfer().address + "\n");

    EXPECT_EQ(Engine().CheckNow(), TickOutcome::Checked);

    EXPECT_EQ(ms::CountMessages(agent().maildir), 4u);
    EXPECT_EQ(ms::CountMessages(transfer().maildir), 0u);
    EXPECT_EQ(ms::CountMessages(phone().maildir), 0u);
    EXPECT_EQ(LogLines(),
              QStringList{QStringLiteral("<-- Change Waiting Mode -->")});  // nothing sent or deleted
    const QStringList list = Lines(Engine().State().MailList);
    ASSERT_EQ(list.size(), 4);
    EXPECT_TRUE(list[1].startsWith(QStringLiteral("2 DEL 1["))) << list[1].toStdString();
    EXPECT_TRUE(list[2].startsWith(QStringLiteral("3 LIST["))) << list[2].toStdString();
    EXPECT_TRUE(list[3].endsWith(Q("] " + transfer().address))) << list[3].toStdString();
}

}  // namespace
}  // namespace mirelo
