// The engine with the real libraries against scripted loopback servers that fail at one chosen step:
// each fault is logged and shown, the rest of the check goes on, and no mail is deleted that the phone
// did not ask to delete.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "agent/engine/agent_engine.h"
#include "agent/engine/during_check.h"
#include "agent/engine/library_components.h"
#include "agent/engine/tests/engine_test_support.h"
#include "log_messages.h"
#include "mailcore/unique_fd.h"
#include "mailcore/wide_text.h"
#include "testing/scripted_server/scripted_server.h"

namespace mirelo {
namespace {

using scripted::Script;
using scripted::ScriptedServer;
using testing::Contains;
using testing::ElementsAreArray;
using testing::HasSubstr;

constexpr const char* kPhone = "phone@mirelo.test";
constexpr const char* kAgent = "agent@mirelo.test";

// The port settings are 16-bit, so the servers listen below 32768, away from the ephemeral range.
std::uint16_t FreeLowPort() {
    static std::uint16_t next = static_cast<std::uint16_t>(20000 + ::getpid() % 6000 * 2);
    for (int tries = 0; tries < 2000; ++tries) {
        const std::uint16_t port = next;
        next = next >= 32000 ? 20000 : next + 1;
        mailcore::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return port;
    }
    return 0;
}

std::unique_ptr<ScriptedServer> ServeOnLowPort(std::vector<Script> scripts) {
    for (int tries = 0; tries < 20; ++tries) {
        try {
            return std::make_unique<ScriptedServer>(scripts, FreeLowPort());
        } catch (const std::system_error&) {
            // Taken between the probe and the listen: the next one.
        }
    }
    return nullptr;
}

struct Mail {
    std::string from, subject, body;  // body lines end in CR LF
};

std::string Header(const Mail& mail) {
    return "From: " + mail.from + "\r\nSubject: " + mail.subject +
           "\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n\r\n";
}

std::string FirstLines(const std::string& body, int count) {
    std::size_t pos = 0;
    for (int i = 0; i < count && pos != std::string::npos; ++i) {
        pos = body.find("\r\n", pos);
        if (pos != std::string::npos) pos += 2;
    }
    return pos == std::string::npos ? body : body.substr(0, pos);
}

// The server's side of one POP3 session over `mails`, step by step as the engine is expected to ask.
class Pop3Session {
  public:
    explicit Pop3Session(std::vector<Mail> mails) : mails_(std::move(mails)) {
        script_.Reply("+OK ready\r\n").Expect("USER agent\r\n").Reply("+OK\r\n").Expect("PASS secret\r\n");
    }
    Pop3Session& LoggedIn() { return Reply("+OK logged in\r\n"); }
    Pop3Session& Stat() {
        return Ask("STAT",
                   "+OK " + std::to_string(mails_.size()) + " " + std::to_string(mails_.size() * 100));
    }
    Pop3Session& Examine(std::size_t n) {
        List(n);
        const Mail& mail = mails_[n - 1];
        return Ask("TOP " + std::to_string(n) + " 2",
                   "+OK\r\n" + Header(mail) + FirstLines(mail.body, 2) + ".");
    }
    Pop3Session& List(std::size_t n) { return Ask("LIST " + std::to_string(n), ListReply(n)); }
    Pop3Session& Retr(std::size_t n) {
        const Mail& mail = mails_[n - 1];
        return Ask("RETR " + std::to_string(n), "+OK\r\n" + Header(mail) + mail.body + ".");
    }
    Pop3Session& Dele(std::size_t n) { return Ask("DELE " + std::to_string(n), "+OK marked"); }
    Pop3Session& Quit() { return Ask("QUIT", "+OK bye"); }
    // `command` answered with "-ERR".
    Pop3Session& Refuse(const std::string& command) { return Ask(command, "-ERR refused"); }
    Pop3Session& Reply(const std::string& line) {
        script_.Reply(line);
        return *this;
    }
    [[nodiscard]] Script Done() const { return script_; }

    static std::string ListReply(std::size_t n) {
        return "+OK " + std::to_string(n) + " " + std::to_string(100 + n);
    }

  private:
    Pop3Session& Ask(const std::string& command, const std::string& reply) {
        script_.Expect(command + "\r\n").Reply(reply + "\r\n");
        return *this;
    }
    std::vector<Mail> mails_;
    Script script_;
};

Script SmtpAccepting() {
    return Script()
        .Reply("220 ready\r\n")
        .Expect("HELO Outlark\r\n")
        .Reply("250 hello\r\n")
        .Expect(std::string("MAIL FROM:<") + kAgent + ">\r\n")
        .Reply("250 ok\r\n")
        .Expect(std::string("RCPT TO:<") + kPhone + ">\r\n")
        .Reply("250 ok\r\n")
        .Expect("DATA\r\n")
        .Reply("354 go\r\n")
        .ExpectThrough(".\r\n")
        .Reply("250 queued\r\n")
        .Expect("QUIT\r\n")
        .Reply("221 bye\r\n");
}

Script SmtpRefusingData() {
    return Script()
        .Reply("220 ready\r\n")
        .Expect("HELO Outlark\r\n")
        .Reply("250 hello\r\n")
        .ExpectAnyLine()
        .Reply("250 ok\r\n")
        .ExpectAnyLine()
        .Reply("250 ok\r\n")
        .Expect("DATA\r\n")
        .Reply("554 refused\r\n");
}

class RecordingView final : public EngineView {
  public:
    std::vector<std::int16_t> codes;
    void ShowStatus(const StatusLine& status) override { codes.push_back(status.code); }
    void ShowCounters(const QString&) override {}
    void ShowUser(const QString&, const QString&) override {}
};

// An engine with the library components in a fresh program folder.
class Rig {
  public:
    Rig(std::uint16_t pop3Port, std::uint16_t smtpPort) {
        testing_support::UseTemporaryConfigHome();
        WriteDuringCheck(QString());
        settings.POP3Server = settings.SMTPServer = QStringLiteral("127.0.0.1");
        settings.POP3Port = static_cast<std::int16_t>(pop3Port);
        settings.SMTPPort = static_cast<std::int16_t>(smtpPort);
        settings.SvLogin = QStringLiteral("agent");
        settings.SvPasswd = QStringLiteral("secret");
        settings.FromMailAddr = QString::fromLatin1(kAgent);
        settings.MailAddr1 = QString::fromLatin1(kPhone);
        settings.AddTo = settings.AddCc = settings.AddFrom = false;
        log_ = std::make_unique<AgentLog>(folder_.path(), settings);
        engine_ = std::make_unique<AgentEngine>(
            AgentEngine::Parts{settings, folder_.path(), *log_, *pop3_, *smtp_, view});
        engine_->Load();
    }
    AgentEngine& Engine() { return *engine_; }

    QStringList LogLines() const { return testing_support::LogMessages(folder_.path()); }

    AgentSettings settings;
    RecordingView view;

  private:
    QTemporaryDir folder_;
    std::unique_ptr<Pop3Component> pop3_ = MakeLibraryPop3();
    std::unique_ptr<SmtpComponent> smtp_ = MakeLibrarySmtp();
    std::unique_ptr<AgentLog> log_;
    std::unique_ptr<AgentEngine> engine_;
};

// The DELE commands among what the server received.
std::vector<std::string> Deletions(const std::string& received) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while ((pos = received.find("DELE ", pos)) != std::string::npos) {
        const std::size_t end = received.find("\r\n", pos);
        lines.push_back(received.substr(pos, end - pos));
        pos = end;
    }
    return lines;
}

Mail Ordinary(const std::string& subject,
              const std::string& body = "line one\r\nline two\r\nline three\r\n") {
    return {"friend@example.jp", subject, body};
}
Mail FromPhone(const std::string& subject) { return {kPhone, subject, ""}; }

std::string LongBody() {
    std::string body;
    for (int i = 0; i < 50; ++i) body += "0123456789\r\n";
    return body;
}

struct FaultCase {
    const char* name;
    std::vector<Mail> mails;
    std::function<void(Pop3Session&)> play;  // after USER and PASS
    std::vector<Script> smtp;                // one per SendMail
    bool checkSucceeds;
    const char* errorLine;  // the whole log line: LastError and the cause
    std::int16_t shownStatus;
    std::int16_t lastStatus;
    bool quits;  // QUIT is sent
    std::vector<std::string> deletions;
    std::vector<std::string> smtpReceived;  // a text each SMTP connection received, in order
    std::optional<QString> mailList;
};

const std::vector<FaultCase>& FaultCases() {
    static const std::vector<FaultCase> cases = {
        {"LogIn",
         {Ordinary("a")},
         [](Pop3Session& s) { s.Reply("-ERR wrong password\r\n"); },
         {},
         false,
         "ERROR Authorize:0 PASS: negative reply: -ERR wrong password",
         -12,
         -12,
         false,
         {},
         {},
         std::nullopt},
        {"Stat",
         {Ordinary("a")},
         [](Pop3Session& s) { s.LoggedIn().Refuse("STAT").Quit(); },
         {},
         true,
         "ERROR STAT:0 STAT: negative reply: -ERR refused",
         -11,
         0,
         true,
         {},
         {},
         std::nullopt},
        {"TopOfOneMail",
         {Ordinary("first"), Ordinary("second"), Ordinary("third"), FromPhone("LIST")},
         [](Pop3Session& s) {
             s.LoggedIn().Stat().Examine(1).List(2).Refuse("TOP 2 2").Examine(3).Examine(4).Dele(4).Quit();
         },
         {SmtpAccepting()},
         true,
         "ERROR TOP_:0 TOP 2 2: negative reply: -ERR refused",
         20,
         0,
         true,
         {"DELE 4"},
         {"Subject: Mirelo 3lists\r\n"},
         QStringLiteral(
             "1 first[101] friend@example.jp\r\n2 Mail cannot TOP_.\r\n3 third[103] friend@example.jp\r\n")},
        {"RetrOfAChosenMail",
         {Ordinary("first"), Ordinary("second"), FromPhone("BODY 1,2")},
         [](Pop3Session& s) {
             s.LoggedIn().Stat().Examine(1).Examine(2).Examine(3).Dele(3).Retr(1).Refuse("RETR 2").Quit();
         },
         {SmtpAccepting(), SmtpAccepting()},
         true,
         "ERROR RETR:0 RETR 2: negative reply: -ERR refused",
         30,
         0,
         true,
         {"DELE 3"},
         {"Subject: MireloFw:first\r\n", "Subject: Sorry cannot get mail(No.2)\r\n"},
         std::nullopt},
        {"SmtpRefusesOnePart",
         {Ordinary("long", LongBody()), FromPhone("BODY 1")},
         [](Pop3Session& s) { s.LoggedIn().Stat().Examine(1).Examine(2).Dele(2).Retr(1).Quit(); },
         {SmtpAccepting(), SmtpRefusingData(), SmtpAccepting()},
         true,
         "ERROR SendMail:0 DATA: negative reply: 554 refused",
         -100,
         0,
         true,
         {"DELE 2"},
         {"Subject: [1]MireloFw:long\r\n", "", "Subject: [3]MireloFw:long\r\n"},
         std::nullopt},
    };
    return cases;
}

class Faults : public testing::TestWithParam<FaultCase> {};

TEST_P(Faults, AreLoggedShownAndDeleteNothingUnasked) {
    const FaultCase& c = GetParam();
    Pop3Session session(c.mails);
    c.play(session);
    const auto pop3 = ServeOnLowPort({session.Done()});
    ASSERT_NE(pop3, nullptr);
    // Without SMTP in the case, a server that answers nothing shows any unexpected send.
    const auto smtp = ServeOnLowPort(c.smtp.empty() ? std::vector<Script>{Script().Drop()} : c.smtp);
    ASSERT_NE(smtp, nullptr);
    Rig rig(pop3->Port(), smtp->Port());

    EXPECT_EQ(rig.Engine().CheckMail(CheckMode::Regular), c.checkSucceeds);

    ASSERT_TRUE(pop3->WaitForFinished(1));
    EXPECT_THAT(pop3->Failures(), ElementsAreArray(std::vector<std::string>{}));
    EXPECT_THAT(Deletions(pop3->Received()), ElementsAreArray(c.deletions));
    EXPECT_EQ(pop3->Received().ends_with("QUIT\r\n"), c.quits) << pop3->Received();
    EXPECT_EQ(rig.LogLines().count(QString::fromUtf8(c.errorLine)), 1)
        << rig.LogLines().join(u'|').toStdString();
    EXPECT_THAT(rig.view.codes, Contains(c.shownStatus));
    EXPECT_EQ(rig.view.codes.back(), c.lastStatus);
    if (c.mailList) {
        EXPECT_EQ(rig.Engine().State().MailList, *c.mailList);
    }

    smtp->Stop();
    EXPECT_EQ(smtp->Accepted(), c.smtpReceived.size());
    for (std::size_t i = 0; i < c.smtpReceived.size(); ++i) {
        EXPECT_THAT(smtp->Received(i), HasSubstr(c.smtpReceived[i])) << "SMTP connection " << i;
    }
    EXPECT_THAT(smtp->Failures(), ElementsAreArray(std::vector<std::string>{}));
}

INSTANTIATE_TEST_SUITE_P(Engine, Faults, testing::ValuesIn(FaultCases()),
                         [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST(FaultsAtConnect, NothingListeningIsRetriedAtTheNextTick) {
    // Bound but not listening: every connect there is refused.
    const std::uint16_t port = FreeLowPort();
    mailcore::UniqueFd holder(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    ASSERT_EQ(::bind(holder.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    Rig rig(port, port);

    EXPECT_EQ(rig.Engine().CheckNow(), TickOutcome::CheckFailed);
    EXPECT_FALSE(rig.Engine().CheckMail(CheckMode::Regular));

    EXPECT_EQ(
        rig.LogLines()
            .filter(QRegularExpression(QStringLiteral("^ERROR ConnectByName:0 connect 127\\.0\\.0\\.1:\\d+: "
                                                      "connection refused \\(Connection refused\\)$")))
            .size(),
        2);
    const std::vector<std::int16_t> codes(rig.view.codes.begin() + 1, rig.view.codes.end());  // after load
    EXPECT_EQ(codes, (std::vector<std::int16_t>{10, -13, -1, 10, -13}));
}

}  // namespace
}  // namespace mirelo
