// What the Smtp control does around its engines: a null pVal on every method, the busy guards of the
// read-outs and DATA, the catch-all, and LastErrorText.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "outlark/smtp.h"
#include "testing/scripted_server/scripted_server.h"

namespace outlark {
namespace {

using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;
using testing::HasSubstr;

const std::u16string kLocal = u"127.0.0.1";

// The control's failure text narrowed for matching; the texts here are ASCII.
std::string ErrorText(const Smtp& smtp) {
    const std::u16string wide = smtp.LastErrorText();
    return std::string(wide.begin(), wide.end());
}

template <typename... F>
struct Overloaded : F... {
    using F::operator()...;
};

// Every shape of method with an out-parameter.
using IntOut = void (Smtp::*)(std::int32_t*);
using TextIntOut = void (Smtp::*)(const std::u16string&, std::int32_t*);
using TwoTextIntOut = void (Smtp::*)(const std::u16string&, const std::u16string&, std::int32_t*);
using IndexTextOut = void (Smtp::*)(std::int32_t, std::u16string*);
using SendOut = void (Smtp::*)(const std::u16string&, const std::u16string&, const std::u16string&,
                               const std::u16string&, const std::u16string&, const std::u16string&,
                               std::int32_t*);
using Method = std::variant<IntOut, TextIntOut, TwoTextIntOut, IndexTextOut, SendOut>;

struct Row {
    const char* name;
    Method method;
};

// QUIT and Destroy last: the others should meet an engine while there is one.
const Row kMethods[] = {
    {"ConnectByName", &Smtp::ConnectByName},
    {"ConnectByAddr", &Smtp::ConnectByAddr},
    {"HELO", &Smtp::HELO},
    {"EHLO", &Smtp::EHLO},
    {"MAIL", &Smtp::MAIL},
    {"RCPT", &Smtp::RCPT},
    {"MakeDataFROM", &Smtp::MakeDataFROM},
    {"MakeDataTO", &Smtp::MakeDataTO},
    {"MakeDataCC", &Smtp::MakeDataCC},
    {"MakeDataBC", &Smtp::MakeDataBC},
    {"MakeDataREPLYTO", &Smtp::MakeDataREPLYTO},
    {"MakeDataSUBJECT", &Smtp::MakeDataSUBJECT},
    {"MakeDataEXMESSAGE", &Smtp::MakeDataEXMESSAGE},
    {"DATA", &Smtp::DATA},
    {"MakeDataFileName", &Smtp::MakeDataFileName},
    {"DATA with a missing attachment", &Smtp::DATA},
    {"RSET", &Smtp::RSET},
    {"NOOP", &Smtp::NOOP},
    {"VRFY", &Smtp::VRFY},
    {"EXPN", &Smtp::EXPN},
    {"HELP", &Smtp::HELP},
    {"GetCount", &Smtp::GetCount},
    {"GetData", &Smtp::GetData},
    {"ReleaseData", &Smtp::ReleaseData},
    {"SendMail", &Smtp::SendMail},
    {"SendMailByAddr", &Smtp::SendMailByAddr},
    {"QUIT", &Smtp::QUIT},
    {"Destroy", &Smtp::Destroy},
};

// Calls the method with a null out-parameter; the texts are addresses, the send goes nowhere (no server
// text), and the attachment does not exist.
void CallWithNullOut(Smtp& smtp, const Method& method) {
    std::visit(Overloaded{
                   [&](IntOut m) { (smtp.*m)(nullptr); },
                   [&](TextIntOut m) { (smtp.*m)(u"/nonexistent/a@b", nullptr); },
                   [&](TwoTextIntOut m) { (smtp.*m)(u"a@b", u"A", nullptr); },
                   [&](IndexTextOut m) { (smtp.*m)(1, nullptr); },
                   [&](SendOut m) { (smtp.*m)(u"", u"t@x", u"f@x", u"Hi", u"Body", u"0", nullptr); },
               },
               method);
}

TEST(SmtpShell, NullPValIsIgnoredWithoutAnEngine) {
    Smtp smtp;
    smtp.SetLogFilename(u"");
    smtp.SetPort(1);
    for (const Row& row : kMethods) {
        SCOPED_TRACE(row.name);
        CallWithNullOut(smtp, row.method);
    }
}

TEST(SmtpShell, NullPValIsIgnoredOnAConnection) {
    Script script;
    script.Reply("220 ready\r\n");
    for (int i = 0; i < 40; ++i) script.ExpectAnyLine().Reply("250 ok\r\n");
    ScriptedServer server(std::move(script));
    Smtp smtp;
    smtp.SetLogFilename(u"");
    smtp.SetRecvTimeout(1);
    smtp.SetPort(server.Port());
    std::int32_t result = -99;
    smtp.ConnectByName(kLocal, &result);
    ASSERT_EQ(result, 1);
    for (const Row& row : kMethods) {
        SCOPED_TRACE(row.name);
        CallWithNullOut(smtp, row.method);
    }
    smtp.GetCount(&result);
    EXPECT_EQ(result, 0) << "Destroy ran";
    EXPECT_EQ(smtp.LastError(), -6) << "DATA found the attachment missing";
}

// Counts EndOfCommand events; waits for them on the test's thread as a host's event loop would.
class Host : public SmtpEvents {
  public:
    explicit Host(Smtp& smtp) : smtp_(smtp) {
        smtp_.SetWakeUp([this] {
            std::lock_guard lock(mutex_);
            ++wakeups_;
            woken_.notify_all();
        });
        smtp_.Advise(this);
    }
    void EndOfCommand(std::int32_t lStatus) override { statuses.push_back(lStatus); }
    bool WaitFor(std::size_t count) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (statuses.size() < count) {
            std::unique_lock lock(mutex_);
            if (!woken_.wait_until(lock, deadline, [&] { return wakeups_ > 0; })) return false;
            wakeups_ = 0;
            lock.unlock();
            smtp_.ProcessEvents();
        }
        return true;
    }
    std::vector<std::int32_t> statuses;

  private:
    Smtp& smtp_;
    std::mutex mutex_;
    std::condition_variable woken_;
    int wakeups_ = 0;
};

TEST(SmtpShell, ReadOutsAndDataWaitForARunningEhlo) {
    Script s;
    s.Reply("220 ready\r\n").Expect("EHLO me\r\n").Delay(Milliseconds(300));
    s.Reply("250-mail.example\r\n250-SIZE 1000\r\n250 HELP\r\n");
    s.Expect("DATA\r\n").Reply("354 go\r\n").ExpectThrough(".\r\n").Reply("250 queued\r\n");
    ScriptedServer server(std::move(s));
    Smtp smtp;
    Host host(smtp);
    smtp.SetPort(server.Port());
    smtp.SetSync(0);
    std::int32_t result = -99;
    smtp.ConnectByName(kLocal, &result);
    ASSERT_EQ(result, 1);
    ASSERT_TRUE(host.WaitFor(1));
    smtp.MakeDataFROM(u"f@x", u"", &result);
    smtp.MakeDataTO(u"t@x", u"", &result);

    smtp.EHLO(u"me", &result);
    EXPECT_EQ(result, 1);
    // The worker is writing the reply lines now; the read-outs answer as if there were no engine.
    smtp.GetCount(&result);
    EXPECT_EQ(result, 0);
    std::u16string line = u"stale";
    smtp.GetData(1, &line);
    EXPECT_EQ(line, u"");
    smtp.DATA(u"Body", &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(smtp.LastErrorText(), u"DATA: busy");
    ASSERT_TRUE(host.WaitFor(2));

    smtp.GetCount(&result);
    EXPECT_EQ(result, 3);
    smtp.GetData(2, &line);
    EXPECT_EQ(line, u"SIZE 1000");
    smtp.DATA(u"Body", &result);
    EXPECT_EQ(result, 1);
    ASSERT_TRUE(host.WaitFor(3));
    EXPECT_EQ(host.statuses, (std::vector<std::int32_t>{1, 1, 1}));
    server.Stop();
    const std::string sent = server.Received();
    // The refused DATA added nothing: the mailer line went out once.
    EXPECT_EQ(sent.find("X-Mailer:"), sent.rfind("X-Mailer:"));
    EXPECT_THAT(sent, HasSubstr("X-Mailer: Outlark Version 1.6.2.1\r\n"));
}

TEST(SmtpShell, OneShotFailuresAreTold) {
    Smtp smtp;
    smtp.SetLogFilename(u"");
    std::int32_t result = 12345;
    smtp.SendMail(kLocal, u"t@x", u"", u"Hi", u"Body", u"0", &result);
    EXPECT_EQ(result, -99);
    EXPECT_EQ(smtp.LastErrorText(),
              u"SendMail (the server, recipient or sender is empty or holds a line break): bad argument");

    ScriptedServer server(Script()
                              .Reply("220 ready\r\n")
                              .Expect("HELO Outlark\r\n")
                              .Reply("250 hi\r\n")
                              .Expect("MAIL FROM:<f@x>\r\n")
                              .Reply("250 ok\r\n")
                              .Expect("RCPT TO:<t@x>\r\n")
                              .Reply("550 no such user\r\n"));
    smtp.SetPort(server.Port());
    smtp.SendMail(kLocal, u"t@x", u"f@x", u"Hi", u"Body", u"0", &result);
    EXPECT_EQ(result, -4);
    EXPECT_THAT(ErrorText(smtp), HasSubstr("RCPT"));
    EXPECT_THAT(ErrorText(smtp), HasSubstr("negative reply"));
    EXPECT_EQ(smtp.LastError(), 0) << "LastError is not touched";
}

TEST(SmtpShell, AsynchronousOneShotFailureIsToldAfterItsEvent) {
    ScriptedServer server(Script()
                              .Reply("220 ready\r\n")
                              .Expect("HELO Outlark\r\n")
                              .Delay(Milliseconds(200))
                              .Reply("554 go away\r\n"));
    Smtp smtp;
    smtp.SetLogFilename(u"");
    Host host(smtp);
    smtp.SetSync(0);
    smtp.SetPort(server.Port());
    std::int32_t result = 12345;
    smtp.SendMail(kLocal, u"t@x", u"f@x", u"Hi", u"Body", u"0", &result);
    EXPECT_EQ(result, 1);
    smtp.SendMail(kLocal, u"t@x", u"f@x", u"Hi", u"Body", u"0", &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(smtp.LastErrorText(), u"SendMail: busy");
    ASSERT_TRUE(host.WaitFor(1));
    EXPECT_EQ(host.statuses, std::vector<std::int32_t>{-2});
    EXPECT_THAT(ErrorText(smtp), HasSubstr("HELO"));
}

TEST(SmtpShell, SinkThatThrowsIsCaughtAndTheNextEventStillDelivered) {
    Script accept;
    accept.Reply("220 ready\r\n").Expect("NOOP\r\n").Reply("250 ok\r\n");
    ScriptedServer server(std::move(accept));
    Smtp smtp;
    struct Throwing : SmtpEvents {
        void EndOfCommand(std::int32_t) override { throw std::runtime_error("host handler"); }
    } throwing;
    Host host(smtp);  // advised first, hears every event
    smtp.Advise(&throwing);
    smtp.SetSync(0);
    smtp.SetPort(server.Port());
    std::int32_t result = -99;
    smtp.ConnectByName(kLocal, &result);
    ASSERT_TRUE(host.WaitFor(1));
    smtp.NOOP(&result);
    ASSERT_TRUE(host.WaitFor(2));
    EXPECT_EQ(host.statuses, (std::vector<std::int32_t>{1, 1}));
    EXPECT_EQ(smtp.LastErrorText(), u"host handler: internal error");
}

TEST(SmtpShell, WakeUpThatThrowsOnTheWorkerEndsNothing) {
    ScriptedServer server(Script().Reply("220 ready\r\n").Expect("NOOP\r\n").Reply("250 ok\r\n"));
    Smtp smtp;
    smtp.SetWakeUp([] { throw std::runtime_error("wake-up"); });
    smtp.SetSync(0);
    smtp.SetPort(server.Port());
    std::int32_t result = -99;
    smtp.ConnectByName(kLocal, &result);
    ASSERT_EQ(result, 1);
    // The host polls: the outcome was queued before the wake-up threw.
    std::int32_t delivered = 0;
    for (int i = 0; i < 2000 && delivered == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        delivered = smtp.ProcessEvents();
    }
    EXPECT_EQ(delivered, 1);
    smtp.NOOP(&result);
    EXPECT_EQ(result, 1);
    smtp.Destroy(&result);
    EXPECT_EQ(result, 1);
}

}  // namespace
}  // namespace outlark
