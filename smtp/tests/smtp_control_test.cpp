// The exported class against the scripted loopback server: exact conversations and every status code.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>

#include "outlark/smtp.h"
#include "smtp/attachment_check.h"
#include "smtp/compose_message.h"
#include "smtp/smtp_session.h"
#include "smtp/stuff_dots.h"
#include "testing/scripted_server/scripted_server.h"

namespace outlark {
namespace {

namespace fs = std::filesystem;
using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;
using testing::HasSubstr;
using testing::Not;

const std::u16string kLocal = u"127.0.0.1";

// Lines the server reads for the DATA of a one-shot mail with this body and no attachment.
size_t MessageLines(const std::string& body, const std::string& subject = "Hi") {
    OneShotMail mail;
    mail.to = "t@x";
    mail.from = "f@x";
    mail.subject = subject;
    std::string text = StuffDots(ComposeMessage(OneShotMessage(mail), body));
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

Script& ExpectLines(Script& script, size_t count) {
    for (size_t i = 0; i < count; ++i) script.ExpectAnyLine();
    return script;
}

// The server's side of a complete one-shot send.
Script Accepting(const std::string& body) {
    Script s;
    s.Reply("220 ready\r\n").Expect("HELO Outlark\r\n").Reply("250 hello\r\n");
    s.Expect("MAIL FROM:<f@x>\r\n").Reply("250 ok\r\n").Expect("RCPT TO:<t@x>\r\n").Reply("250 ok\r\n");
    s.Expect("DATA\r\n").Reply("354 go\r\n");
    ExpectLines(s, MessageLines(body)).Reply("250 queued\r\n").Expect("QUIT\r\n").Reply("221 bye\r\n");
    return s;
}

// Counts EndOfCommand events; waits for them on the test's thread as a host's event loop would.
class EventHost : public SmtpEvents {
  public:
    explicit EventHost(Smtp& smtp) : smtp_(smtp) {
        smtp_.SetWakeUp([this] {
            std::lock_guard lock(mutex_);
            ++wakeups_;
            cv_.notify_all();
        });
        cookie_ = smtp_.Advise(this);
    }
    ~EventHost() override { smtp_.Unadvise(cookie_); }
    void EndOfCommand(std::int32_t lStatus) override { statuses.push_back(lStatus); }
    // Delivers events until `count` have arrived in all; false after 10 seconds without one.
    bool WaitFor(size_t count) {
        while (statuses.size() < count) {
            std::unique_lock lock(mutex_);
            if (!cv_.wait_for(lock, std::chrono::seconds(10), [&] { return wakeups_ > 0; })) return false;
            wakeups_ = 0;
            lock.unlock();
            smtp_.ProcessEvents();
        }
        return true;
    }
    std::vector<std::int32_t> statuses;

  private:
    Smtp& smtp_;
    std::int32_t cookie_ = 0;
    std::mutex mutex_;
    std::condition_variable cv_;
    int wakeups_ = 0;
};

void Short(Smtp& smtp) {
    smtp.SetSendTimeout(5);
    smtp.SetRecvTimeout(5);
}

std::int32_t Send(Smtp& smtp, const ScriptedServer& server, std::u16string body = u"Body",
                  std::u16string from = u"f@x", std::u16string to = u"t@x") {
    smtp.SetPort(server.Port());
    std::int32_t status = 12345;
    smtp.SendMail(kLocal, to, from, u"Hi", body, u"0", &status);
    return status;
}

// A port with nothing listening.
int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class SmtpControlTest : public testing::Test {
  protected:
    void SetUp() override { smtp.SetLogFilename(u""); }
    Smtp smtp;
};

TEST_F(SmtpControlTest, OneShotExactConversation) {
    ScriptedServer server(Accepting("line 1\r\n.\r\n.dot\r\n"));
    Short(smtp);
    EXPECT_EQ(Send(smtp, server, u"line 1\r\n.\r\n.dot\r\n"), 1);
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_THAT(server.Failures(), testing::IsEmpty());
    std::string received = std::regex_replace(server.Received(), std::regex("Date: [^\r]*"), "Date: D");
    EXPECT_EQ(received,
              "HELO Outlark\r\nMAIL FROM:<f@x>\r\nRCPT TO:<t@x>\r\nDATA\r\n"
              "X-Mailer: Outlark Version 1.6.2.1\r\nX-Priority: 3\r\nDate: D\r\nTo: <t@x>\r\nFrom: <f@x>\r\n"
              "Subject: Hi\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n"
              "Content-Transfer-Encoding: 7bit\r\n\r\nline 1\r\n..\r\n..dot\r\n.\r\nQUIT\r\n");
}

// UTF-16 in, UTF-8 out without the CP932 detour: an emoji (a surrogate pair), Latin-1 and an IBM-row kanji.
TEST_F(SmtpControlTest, OneShotInUtf8KeepsEveryCharacter) {
    Script s;
    s.Reply("220 ready\r\n").Expect("HELO Outlark\r\n").Reply("250 hello\r\n");
    s.Expect("MAIL FROM:<f@x>\r\n").Reply("250 ok\r\n").Expect("RCPT TO:<t@x>\r\n").Reply("250 ok\r\n");
    s.Expect("DATA\r\n").Reply("354 go\r\n").ExpectThrough(".\r\n").Reply("250 queued\r\n");
    s.Expect("QUIT\r\n").Reply("221 bye\r\n");
    ScriptedServer server(s);
    Short(smtp);
    smtp.SetCharset(1);
    smtp.SetPort(server.Port());
    std::int32_t status = 0;
    smtp.SendMail(kLocal, u"t@x", u"f@x", u"Zo\u00eb \U0001F600", u"Gr\u00fc\u00dfe \U0001F600 \u9ad9\r\n",
                  u"0", &status);
    EXPECT_EQ(status, 1);
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_THAT(server.Failures(), testing::IsEmpty());
    EXPECT_THAT(server.Received(), HasSubstr("Subject: =?UTF-8?B?Wm/DqyDwn5iA?=\r\nMIME-Version: 1.0\r\n"
                                             "Content-Type: text/plain; charset=UTF-8\r\n"
                                             "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                                             "Gr=C3=BC=C3=9Fe =F0=9F=98=80 =E9=AB=99\r\n.\r\nQUIT\r\n"));
}

struct StatusCase {
    const char* name;
    std::function<Script()> script;
    std::int32_t status;
};

// Test names carry the row; no byte dump of the row itself.
void PrintTo(const StatusCase& row, std::ostream* os) { *os << row.name; }

Script Upto(int stage) {
    Script s;
    s.Reply("220 ready\r\n").Expect("HELO Outlark\r\n");
    if (stage == 0) return s.Reply("500 who\r\n");
    s.Reply("250 hello\r\n").Expect("MAIL FROM:<f@x>\r\n");
    if (stage == 1) return s.Reply("550 no sender\r\n");
    s.Reply("250 ok\r\n").Expect("RCPT TO:<t@x>\r\n");
    if (stage == 2) return s.Reply("550 no such user\r\n");
    s.Reply("250 ok\r\n").Expect("DATA\r\n");
    if (stage == 3) return s.Reply("554 no data\r\n");
    s.Reply("354 go\r\n");
    return ExpectLines(s, MessageLines("Body")).Reply("552 too big\r\n");
}

class OneShotStatusTest : public testing::TestWithParam<StatusCase> {};

TEST_P(OneShotStatusTest, EndsWithItsCodeAndNoQuit) {
    Smtp smtp;
    smtp.SetLogFilename(u"");
    Short(smtp);
    ScriptedServer server(GetParam().script());
    EXPECT_EQ(Send(smtp, server), GetParam().status);
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_THAT(server.Received(), Not(HasSubstr("QUIT")));
}

INSTANTIATE_TEST_SUITE_P(Codes, OneShotStatusTest,
                         testing::Values(StatusCase{"NoGreeting", [] { return Script().Drop(); }, -1},
                                         StatusCase{"HeloRefused", [] { return Upto(0); }, -2},
                                         StatusCase{"MailRefused", [] { return Upto(1); }, -3},
                                         StatusCase{"RcptRefused", [] { return Upto(2); }, -4},
                                         StatusCase{"DataRefused", [] { return Upto(3); }, -5},
                                         StatusCase{"MessageRefused", [] { return Upto(4); }, -5}),
                         [](const auto& info) { return info.param.name; });

TEST_F(SmtpControlTest, ConnectRefusedIsMinusOne) {
    smtp.SetPort(ClosedPort());
    std::int32_t status = 0;
    smtp.SendMail(kLocal, u"t@x", u"f@x", u"s", u"b", u"", &status);
    EXPECT_EQ(status, -1);
}

struct ArgumentCase {
    const char* name;
    std::u16string server, to, from;
};

// Test names carry the row; no byte dump of the row itself.
void PrintTo(const ArgumentCase& row, std::ostream* os) { *os << row.name; }

class OneShotArgumentTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(OneShotArgumentTest, RefusedBeforeConnecting) {
    ScriptedServer server(Script().Reply("220 ready\r\n").Silence());
    Smtp smtp;
    smtp.SetPort(server.Port());
    std::int32_t status = 0;
    const ArgumentCase& c = GetParam();
    smtp.SendMail(c.server, c.to, c.from, u"s", u"b", u"", &status);
    EXPECT_EQ(status, -99);
    smtp.SetSync(2);
    smtp.SendMail(c.server, c.to, c.from, u"s", u"b", u"", &status);
    EXPECT_EQ(status, -99);
    server.Stop(Milliseconds(0));
    EXPECT_EQ(server.Accepted(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Texts, OneShotArgumentTest,
                         testing::Values(ArgumentCase{"EmptyServer", u"", u"t@x", u"f@x"},
                                         ArgumentCase{"EmptyTo", kLocal, u"", u"f@x"},
                                         ArgumentCase{"EmptyFrom", kLocal, u"t@x", u""},
                                         ArgumentCase{"LineBreakInTo", kLocal, u"t@x>\r\nRCPT TO:<evil@x",
                                                      u"f@x"},
                                         ArgumentCase{"LineBreakInFrom", kLocal, u"t@x", u"f@x\n"},
                                         ArgumentCase{"LineBreakInServer", u"127.0.0.1\r\n", u"t@x", u"f@x"}),
                         [](const auto& info) { return info.param.name; });

TEST_F(SmtpControlTest, SilentServerTimesOut) {
    ScriptedServer server(Script().Reply("220 ready\r\n").Expect("HELO Outlark\r\n").Silence());
    smtp.SetRecvTimeout(1);
    EXPECT_EQ(Send(smtp, server), -2);
}

TEST_F(SmtpControlTest, ExternalModeNeverConnects) {
    ScriptedServer server(Script().Reply("220 ready\r\n").Silence());
    smtp.SetPort(server.Port());
    smtp.SetSync(2);
    smtp.SetExecuteFilename(u"");
    std::int32_t status = 0;
    smtp.SendMailByAddr(kLocal, u"t@x", u"f@x", u"s", u"b", u"", &status);
    EXPECT_EQ(status, -1);
    smtp.SendMail(kLocal, u"t@x", u"f@x", u"s", u"b", u"", &status);
    EXPECT_EQ(status, 1) << "even though no program of that name exists";
    EXPECT_EQ(smtp.ExecuteFilename(), u"Outlark.exe");
    server.Stop(Milliseconds(0));
    EXPECT_EQ(server.Accepted(), 0u);
}

TEST_F(SmtpControlTest, StepByStepExactConversation) {
    Script s;
    s.Reply("220 ready\r\n");
    s.Expect("HELO me\r\n").Reply("250 hello\r\n");
    s.Expect("EHLO me\r\n").Reply("250-mail.example.com\r\n250-SIZE 1000\r\n250 HELP\r\n");
    s.Expect("MAIL FROM:<f@x>\r\n").Reply("250 ok\r\n");
    s.Expect("RCPT TO:<t@x>\r\n").Reply("250 ok\r\n");
    s.Expect("RSET\r\n").Reply("250 reset\r\n");
    s.Expect("NOOP\r\n").Reply("250 ok\r\n");
    s.Expect("VRFY someone\r\n").Reply("252 cannot verify\r\n");
    s.Expect("EXPN list\r\n").Reply("250-a@x\r\n250 b@x\r\n");
    s.Expect("HELP \r\n").Reply("214-Commands:\r\n214 HELO EHLO\r\n");
    s.Expect("QUIT\r\n").Reply("221 bye\r\n");
    ScriptedServer server(std::move(s));
    smtp.SetPort(server.Port());
    Short(smtp);
    std::int32_t r = 99;
    std::u16string item;
    smtp.ConnectByName(kLocal, &r);
    ASSERT_EQ(r, 1);
    smtp.HELO(u"me", &r);
    EXPECT_EQ(r, 1);
    smtp.EHLO(u"me", &r);
    EXPECT_EQ(r, 1);
    smtp.GetCount(&r);
    EXPECT_EQ(r, 3);
    smtp.GetData(2, &item);
    EXPECT_EQ(item, u"SIZE 1000");
    smtp.GetData(0, &item);
    EXPECT_EQ(item, u"");
    smtp.GetData(4, &item);
    EXPECT_EQ(item, u"");
    smtp.MAIL(u"f@x", &r);
    EXPECT_EQ(r, 1);
    smtp.RCPT(u"t@x", &r);
    EXPECT_EQ(r, 1);
    smtp.GetCount(&r);
    EXPECT_EQ(r, 3) << "other commands leave the reply lines alone";
    smtp.RSET(&r);
    EXPECT_EQ(r, 1);
    smtp.NOOP(&r);
    EXPECT_EQ(r, 1);
    smtp.VRFY(u"someone", &r);
    EXPECT_EQ(r, 0) << "252 is not accepted";
    smtp.GetCount(&r);
    EXPECT_EQ(r, 1) << "a synchronous failure keeps the server's lines";
    smtp.GetData(1, &item);
    EXPECT_EQ(item, u"cannot verify");
    smtp.EXPN(u"list", &r);
    EXPECT_EQ(r, 1);
    smtp.GetCount(&r);
    EXPECT_EQ(r, 2);
    smtp.HELP(u"", &r);
    EXPECT_EQ(r, 1);
    smtp.GetData(2, &item);
    EXPECT_EQ(item, u"HELO EHLO");
    smtp.QUIT(&r);
    EXPECT_EQ(r, 1);
    smtp.NOOP(&r);
    EXPECT_EQ(r, 0) << "not connected after QUIT";
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_THAT(server.Failures(), testing::IsEmpty());
    smtp.Destroy(&r);
    EXPECT_EQ(r, 1);
    smtp.Destroy(&r);
    EXPECT_EQ(r, 0);
}

TEST_F(SmtpControlTest, SecondConnectIsRefusedAndTheFirstStaysUsable) {
    ScriptedServer server(Script().Reply("220 ready\r\n").Expect("NOOP\r\n").Reply("250 ok\r\n"));
    smtp.SetPort(server.Port());
    Short(smtp);
    std::int32_t r = 99;
    smtp.ConnectByAddr(kLocal, &r);
    ASSERT_EQ(r, 1);
    smtp.ConnectByName(kLocal, &r);
    EXPECT_EQ(r, -5);
    smtp.NOOP(&r);
    EXPECT_EQ(r, 1);
    smtp.ConnectByName(u"", &r);
    EXPECT_EQ(r, -2);
}

TEST_F(SmtpControlTest, StatusLineTooLongForItsBufferFails) {
    Script s;
    s.Reply("220 ready\r\n").Expect("HELO a\r\n").Reply("250 " + std::string(248, 'x') + "\r\n");
    s.Expect("HELO b\r\n").Reply("250 " + std::string(249, 'y') + "\r\n");
    ScriptedServer server(std::move(s));
    smtp.SetPort(server.Port());
    Short(smtp);
    std::int32_t r = 99;
    smtp.ConnectByName(kLocal, &r);
    ASSERT_EQ(r, 1);
    smtp.HELO(u"a", &r);
    EXPECT_EQ(r, 1) << "a 254-byte line fits the 256-byte buffer";
    smtp.HELO(u"b", &r);
    EXPECT_EQ(r, 0) << "a 255-byte line does not";
}

TEST_F(SmtpControlTest, LineBreakInCommandTextIsRefusedAndNothingSent) {
    ScriptedServer server(Script().Reply("220 ready\r\n").Expect("NOOP\r\n").Reply("250 ok\r\n"));
    smtp.SetPort(server.Port());
    Short(smtp);
    std::int32_t r = 99;
    smtp.ConnectByName(kLocal, &r);
    ASSERT_EQ(r, 1);
    for (auto call :
         {&Smtp::HELO, &Smtp::EHLO, &Smtp::MAIL, &Smtp::RCPT, &Smtp::VRFY, &Smtp::EXPN, &Smtp::HELP}) {
        r = 99;
        (smtp.*call)(u"x\r\nDATA", &r);
        EXPECT_EQ(r, -2);
    }
    smtp.NOOP(&r);
    EXPECT_EQ(r, 1);
    smtp.Destroy(&r);
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_EQ(server.Received(), "NOOP\r\n");
}

TEST_F(SmtpControlTest, CommandsWithoutEngineOrConnection) {
    std::int32_t r = 99;
    smtp.NOOP(&r);
    EXPECT_EQ(r, 0);
    smtp.DATA(u"x", &r);
    EXPECT_EQ(r, 0);
    smtp.GetCount(&r);
    EXPECT_EQ(r, 0);
    smtp.ReleaseData(&r);
    EXPECT_EQ(r, 0);
    r = 99;
    smtp.MakeDataTO(u"t@x", u"", &r);
    EXPECT_EQ(r, 0);
    smtp.SetPort(ClosedPort());
    smtp.ConnectByName(kLocal, &r);
    EXPECT_EQ(r, 0);
    smtp.NOOP(&r);
    EXPECT_EQ(r, 0);
    r = 99;
    smtp.MakeDataTO(u"", u"", &r);
    EXPECT_EQ(r, 99) << "pVal is not written";
    EXPECT_EQ(smtp.LastError(), -5);
    smtp.MakeDataFROM(u"0", u"", &r);
    EXPECT_EQ(r, 99);
    smtp.MakeDataTO(u"t@x", u"", &r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(smtp.LastError(), -5) << "never cleared";
}

TEST_F(SmtpControlTest, DataTwiceRepeatsRecipientsAndMailerLines) {
    Script s;
    s.Reply("220 ready\r\n");
    for (int i = 0; i < 2; ++i) {
        s.Expect("DATA\r\n").Reply("354 go\r\n");
        // X-Mailer and X-Priority once more each time, 8 + 2 * (i + 1) lines with the closing ".".
        ExpectLines(s, 12 + 2 * static_cast<size_t>(i)).Reply("250 ok\r\n");
    }
    ScriptedServer server(std::move(s));
    smtp.SetPort(server.Port());
    Short(smtp);
    std::int32_t r = 99;
    smtp.ConnectByName(kLocal, &r);
    ASSERT_EQ(r, 1);
    smtp.MakeDataFROM(u"f@x", u"", &r);
    smtp.MakeDataTO(u"t@x", u"", &r);
    smtp.MakeDataSUBJECT(u"\u3042", &r);
    smtp.DATA(u"body", &r);
    EXPECT_EQ(r, 1);
    smtp.DATA(u"body", &r);
    EXPECT_EQ(r, 1);
    smtp.Destroy(&r);
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_THAT(server.Failures(), testing::IsEmpty());
    std::string received = server.Received();
    size_t second = received.find("DATA\r\n", 1);
    std::string first_message = received.substr(0, second);
    std::string second_message = received.substr(second);
    EXPECT_THAT(first_message, HasSubstr("To: <t@x>\r\n"));
    EXPECT_THAT(first_message, HasSubstr("Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\n"));
    EXPECT_THAT(second_message, HasSubstr("X-Mailer: Outlark Version 1.6.2.1\r\nX-Priority: 3\r\n"
                                          "X-Mailer: Outlark Version 1.6.2.1\r\nX-Priority: 3\r\n"));
}

TEST_F(SmtpControlTest, AsynchronousCommandsAndTheBusyRule) {
    Script s;
    s.Reply("220 ready\r\n").Expect("NOOP\r\n").Delay(Milliseconds(300)).Reply("250 ok\r\n");
    s.Expect("MAIL FROM:<f@x>\r\n").Reply("550 no\r\n");
    ScriptedServer server(std::move(s));
    EventHost host(smtp);
    smtp.SetPort(server.Port());
    Short(smtp);
    smtp.SetSync(0);
    std::int32_t r = 99;
    smtp.ConnectByName(kLocal, &r);
    EXPECT_EQ(r, 1);
    ASSERT_TRUE(host.WaitFor(1));
    smtp.NOOP(&r);
    EXPECT_EQ(r, 1) << "started";
    smtp.RSET(&r);
    EXPECT_EQ(r, -1) << "busy while the worker waits";
    ASSERT_TRUE(host.WaitFor(2));
    smtp.MAIL(u"f@x", &r);
    EXPECT_EQ(r, 1);
    ASSERT_TRUE(host.WaitFor(3));
    EXPECT_EQ(host.statuses, (std::vector<std::int32_t>{1, 1, 0}));
    smtp.Destroy(&r);
}

// How many chained sends: MIRELO_CHAINED_SENDS, else a count that stays short under ThreadSanitizer.
int ChainedSends() {
    const char* text = std::getenv("MIRELO_CHAINED_SENDS");
    int count = text != nullptr ? std::atoi(text) : 0;
    return count > 0 ? count : 3000;
}

// A host that sends a queue of mails starts the next send from EndOfCommand: the worker of the send
// that just ended must never make that call look busy, nor be overwritten while it can still be joined.
TEST_F(SmtpControlTest, SendsChainedFromEndOfCommandAreNeverBusy) {
    const int sends = ChainedSends();
    // Every connection after the first plays the same script.
    ScriptedServer server(Accepting("Body"));
    Short(smtp);
    smtp.SetPort(server.Port());
    smtp.SetSync(0);

    class Chain : public EventHost {
      public:
        Chain(Smtp& smtp, int left) : EventHost(smtp), smtp_(smtp), left_(left) {}
        void EndOfCommand(std::int32_t lStatus) override {
            EventHost::EndOfCommand(lStatus);
            if (--left_ <= 0) return;
            std::int32_t started = 12345;
            smtp_.SendMail(kLocal, u"t@x", u"f@x", u"Hi", u"Body", u"0", &started);
            starts.push_back(started);
        }
        std::vector<std::int32_t> starts;

      private:
        Smtp& smtp_;
        int left_;
    } host(smtp, sends);

    EXPECT_EQ(Send(smtp, server), 1);
    ASSERT_TRUE(host.WaitFor(static_cast<size_t>(sends)));
    EXPECT_EQ(std::count(host.starts.begin(), host.starts.end(), 1), sends - 1) << "no false -1";
    EXPECT_EQ(std::count(host.statuses.begin(), host.statuses.end(), 1), sends);
    EXPECT_EQ(smtp.LastErrorText(), u"");
}

TEST_F(SmtpControlTest, WithoutWindowSyncZeroRunsSynchronously) {
    ScriptedServer server(Script().Reply("220 ready\r\n").Expect("NOOP\r\n").Reply("250 ok\r\n"));
    smtp.SetPort(server.Port());
    smtp.SetSync(0);
    EXPECT_EQ(smtp.Advise(nullptr), 0);  // a null sink gives no window
    std::int32_t r = 99;
    smtp.ConnectByName(kLocal, &r);
    EXPECT_EQ(r, 1);
    smtp.NOOP(&r);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(smtp.ProcessEvents(), 0);
}

TEST_F(SmtpControlTest, AsynchronousOneShotAndSecondCallBusy) {
    Script s = Accepting("Body");
    Script slow;
    slow.Delay(Milliseconds(300));
    for (const auto& step : s.Steps()) {
        if (step.kind == Script::Step::Kind::kReply) slow.Reply(step.text);
        if (step.kind == Script::Step::Kind::kExpect) slow.Expect(step.text);
        if (step.kind == Script::Step::Kind::kExpectAny) slow.ExpectAnyLine();
    }
    ScriptedServer server(std::move(slow));
    EventHost host(smtp);
    Short(smtp);
    smtp.SetSync(0);
    EXPECT_EQ(Send(smtp, server), 1);
    EXPECT_EQ(Send(smtp, server), -1) << "the first send still runs";
    smtp.SetSync(1);
    EXPECT_EQ(Send(smtp, server), -1) << "in any mode";
    ASSERT_TRUE(host.WaitFor(1));
    EXPECT_EQ(host.statuses.front(), 1);
    EXPECT_THAT(server.Received(), HasSubstr("X-Mailer: Outlark Version 1.6.0.1\r\n"));
}

class SendLogProtocolTest : public SmtpControlTest {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/outlark-sendlog-XXXXXX";
        dir_ = mkdtemp(pattern);
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        smtp.SetLogFilename(std::u16string(u"") + std::u16string(dir_.u16string()) + u"/Outlark.log");
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Log() const {
        std::ifstream in(dir_ / "Outlark.log", std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    fs::path dir_;
};

TEST_F(SendLogProtocolTest, SuccessAndRefusalRecords) {
    {
        ScriptedServer server(Accepting("Body"));
        Short(smtp);
        EXPECT_EQ(Send(smtp, server), 1);
    }
    {
        ScriptedServer server(Upto(2));
        EXPECT_EQ(Send(smtp, server), -4);
    }
    std::string log = Log();
    EXPECT_THAT(log, HasSubstr("Status:\r\n  \x90\xac\x8c\xf7 (P="));
    EXPECT_THAT(log, HasSubstr("W=76, ST=5, RT=5, S=1)\r\nServer:\r\n  127.0.0.1\r\n"));
    EXPECT_THAT(log, HasSubstr("Status:\r\n  -4 (P="));
    EXPECT_THAT(log, HasSubstr("Filename:\r\n  0\r\n\r\n"));
}

TEST_F(SendLogProtocolTest, WorkerRecordHasSyncZeroAndEmptyTextsAsNothing) {
    ScriptedServer server(Accepting(" "));
    EventHost host(smtp);
    Short(smtp);
    smtp.SetSync(0);
    EXPECT_EQ(Send(smtp, server, u""), 1);
    ASSERT_TRUE(host.WaitFor(1));
    EXPECT_EQ(host.statuses.front(), 1);
    std::string log = Log();
    EXPECT_THAT(log, HasSubstr("ST=5, RT=5, S=0)\r\n"));
    EXPECT_THAT(log, HasSubstr("Body:\r\n  \r\nFilename:\r\n  \r\n\r\n"));
}

TEST_F(SendLogProtocolTest, EmptyLogNameWritesNothing) {
    smtp.SetLogFilename(u"0");
    EXPECT_EQ(smtp.LogFilename(), u"");
    ScriptedServer server(Accepting("Body"));
    EXPECT_EQ(Send(smtp, server), 1);
    EXPECT_FALSE(fs::exists(dir_ / "Outlark.log"));
}

TEST_F(SendLogProtocolTest, UnwritableLogKeepsTheStatus) {
    smtp.SetLogFilename(u"/nonexistent-folder/Outlark.log");
    ScriptedServer server(Accepting("Body"));
    EXPECT_EQ(Send(smtp, server), 1);
}

// Attachments that cannot be read: the send fails with -6 before any connection, and the log says so.
struct BadAttachment {
    const char* name;
    std::function<void(const fs::path&)> make;  // creates dir/"attach" (or not)
    bool needs_non_root;                        // root reads a mode 000 file
};

void PrintTo(const BadAttachment& row, std::ostream* os) { *os << row.name; }

class BadAttachmentTest : public SendLogProtocolTest, public testing::WithParamInterface<BadAttachment> {
  protected:
    void SetUp() override {
        SendLogProtocolTest::SetUp();
        if (GetParam().needs_non_root && ::geteuid() == 0) GTEST_SKIP() << "root can read a mode 000 file";
        GetParam().make(dir_);
    }
    std::u16string Attachment() const { return dir_.u16string() + u"/attach"; }
};

TEST_P(BadAttachmentTest, OneShotFailsBeforeConnecting) {
    ScriptedServer server(Script{});
    smtp.SetPort(server.Port());
    for (std::int32_t type : {0, 1}) {
        smtp.SetType(type);
        std::int32_t status = 0;
        smtp.SendMail(kLocal, u"t@x", u"f@x", u"s", u"b", Attachment(), &status);
        EXPECT_EQ(status, -6) << "type " << type;
    }
    EXPECT_EQ(server.Accepted(), 0u);
    EXPECT_THAT(Log(), HasSubstr("Status:\r\n  -6 (P="));
    EXPECT_THAT(Log(), Not(HasSubstr("\x90\xac\x8c\xf7")));
}

TEST_P(BadAttachmentTest, WorkerReportsItThroughTheEvent) {
    ScriptedServer server(Script{});
    smtp.SetPort(server.Port());
    EventHost host(smtp);
    smtp.SetSync(0);
    std::int32_t status = 0;
    smtp.SendMail(kLocal, u"t@x", u"f@x", u"s", u"b", Attachment(), &status);
    EXPECT_EQ(status, 1);
    ASSERT_TRUE(host.WaitFor(1));
    EXPECT_EQ(host.statuses.front(), -6);
    EXPECT_EQ(server.Accepted(), 0u);
}

TEST_P(BadAttachmentTest, StepByStepDataSendsNothing) {
    Script script;
    script.Reply("220 ready\r\n").Expect("HELO d\r\n").Reply("250 hello\r\n").Expect("QUIT\r\n");
    script.Reply("221 bye\r\n");
    ScriptedServer server(script);
    smtp.SetPort(server.Port());
    std::int32_t status = 0;
    smtp.ConnectByAddr(kLocal, &status);
    ASSERT_EQ(status, 1);
    smtp.HELO(u"d", &status);
    ASSERT_EQ(status, 1);
    smtp.MakeDataFileName(Attachment(), &status);
    smtp.DATA(u"b", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(smtp.LastError(), -6);
    smtp.QUIT(&status);
    EXPECT_EQ(status, 1);
    EXPECT_THAT(server.Received(), Not(HasSubstr("DATA")));
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadAttachmentTest,
    testing::Values(
        BadAttachment{"Missing", [](const fs::path&) {}, false},
        BadAttachment{"Folder", [](const fs::path& d) { fs::create_directory(d / "attach"); }, false},
        BadAttachment{"Fifo", [](const fs::path& d) { ::mkfifo((d / "attach").c_str(), 0644); }, false},
        BadAttachment{"ModeZero",
                      [](const fs::path& d) {
                          std::ofstream(d / "attach") << "secret";
                          fs::permissions(d / "attach", fs::perms::none);
                      },
                      true}),
    [](const auto& info) { return std::string(info.param.name); });

// Root reads a mode 000 file; a child that drops to an ordinary user checks what such a user meets.
TEST_F(SendLogProtocolTest, ModeZeroFileIsUnreadableForAnOrdinaryUser) {
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    std::ofstream(dir_ / "closed") << "secret";
    std::ofstream(dir_ / "open") << "shared";
    fs::permissions(dir_ / "closed", fs::perms::none);
    fs::permissions(dir_ / "open", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (::geteuid() != 0) {
        EXPECT_FALSE(AttachmentReadable((dir_ / "closed").string()));
        EXPECT_TRUE(AttachmentReadable((dir_ / "open").string()));
        return;
    }
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(2);
        bool right =
            !AttachmentReadable((dir_ / "closed").string()) && AttachmentReadable((dir_ / "open").string());
        _exit(right ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not become an ordinary user";
}

TEST_F(SendLogProtocolTest, LostRecordIsToldThroughLastError) {
    ScriptedServer server(Accepting("Body"));
    EXPECT_EQ(Send(smtp, server), 1);
    EXPECT_EQ(smtp.LastError(), 0);
    smtp.SetLogFilename(dir_.u16string());  // a folder: the record cannot be written
    ScriptedServer second(Accepting("Body"));
    EXPECT_EQ(Send(smtp, second), 1) << "the send itself succeeded";
    EXPECT_EQ(smtp.LastError(), -7);
}

TEST(SmtpPropertiesTest, PutRules) {
    Smtp smtp;
    EXPECT_EQ(smtp.Port(), 25);
    EXPECT_EQ(smtp.Header8bit(), 1);
    EXPECT_EQ(smtp.Width(), 76);
    EXPECT_EQ(smtp.SendTimeout(), 30);
    EXPECT_EQ(smtp.LogFilename(), u"Outlark.log");
    EXPECT_EQ(smtp.ExecuteFilename(), u"Outlark.exe");
    EXPECT_EQ(smtp.Sync(), 1);
    EXPECT_EQ(smtp.Priority(), 3);
    smtp.SetType(2);
    EXPECT_EQ(smtp.Type(), 0);
    smtp.SetEncode(1);
    EXPECT_EQ(smtp.Encode(), 1);
    smtp.SetEncode(2);
    EXPECT_EQ(smtp.Encode(), 1);
    smtp.SetSync(3);
    EXPECT_EQ(smtp.Sync(), 1);
    smtp.SetSync(2);
    EXPECT_EQ(smtp.Sync(), 2);
    smtp.SetPriority(6);
    EXPECT_EQ(smtp.Priority(), 3);
    smtp.SetHeader8bit(5);
    EXPECT_EQ(smtp.Header8bit(), 1);
    smtp.SetRecvTimeout(1);
    EXPECT_EQ(smtp.RecvTimeout(), 1);
    smtp.SetExecuteFilename(u"");
    EXPECT_EQ(smtp.ExecuteFilename(), u"");
    EXPECT_EQ(smtp.Charset(), 0);
    smtp.SetCharset(1);
    smtp.SetCharset(2);
    EXPECT_EQ(smtp.Charset(), 1);
}

}  // namespace
}  // namespace outlark
