// What the Pop3 control does around its engine: a null pVal on every method, the catch-all, and the
// failure text of LastErrorText for the control's own refusals.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "inlark/pop3.h"
#include "pop3/pop3_internals.h"
#include "testing/scripted_server/scripted_server.h"

namespace inlark {
namespace {

using scripted::Script;
using scripted::ScriptedServer;

template <typename... F>
struct Overloaded : F... {
    using F::operator()...;
};

// Every shape of method with an out-parameter.
using IntOut = void (Pop3::*)(std::int32_t*);
using IndexIntOut = void (Pop3::*)(std::int32_t, std::int32_t*);
using TwoIndexIntOut = void (Pop3::*)(std::int32_t, std::int32_t, std::int32_t*);
using TextIntOut = void (Pop3::*)(const std::u16string&, std::int32_t*);
using TwoTextIntOut = void (Pop3::*)(const std::u16string&, const std::u16string&, std::int32_t*);
using IndexTextIntOut = void (Pop3::*)(std::int32_t, const std::u16string&, std::int32_t*);
using TextOut = void (Pop3::*)(std::u16string*);
using IndexTextOut = void (Pop3::*)(std::int32_t, std::u16string*);
using DateOut = void (Pop3::*)(double*);
using Method = std::variant<IntOut, IndexIntOut, TwoIndexIntOut, TextIntOut, TwoTextIntOut, IndexTextIntOut,
                            TextOut, IndexTextOut, DateOut>;

struct Row {
    const char* name;
    Method method;
};

// QUIT and Destroy last: the others should meet an engine while there is one.
const Row kMethods[] = {
    {"ConnectByName", &Pop3::ConnectByName},
    {"ConnectByAddr", &Pop3::ConnectByAddr},
    {"Authorize", &Pop3::Authorize},
    {"USER", &Pop3::USER},
    {"PASS", &Pop3::PASS},
    {"STAT", &Pop3::STAT},
    {"LIST", &Pop3::LIST},
    {"LAST", &Pop3::LAST},
    {"UIDL", &Pop3::UIDL},
    {"TOP_", &Pop3::TOP_},
    {"RETR", &Pop3::RETR},
    {"DELE", &Pop3::DELE},
    {"NOOP", &Pop3::NOOP},
    {"RSET", &Pop3::RSET},
    {"GetCount", &Pop3::GetCount},
    {"GetNo", &Pop3::GetNo},
    {"GetData", &Pop3::GetData},
    {"GetMessage", &Pop3::GetMessage},
    {"MakeData", &Pop3::MakeData},
    {"MakeDataEx", &Pop3::MakeDataEx},
    {"GetFromNickName", &Pop3::GetFromNickName},
    {"GetFrom", &Pop3::GetFrom},
    {"GetSubject", &Pop3::GetSubject},
    {"GetReplyTo", &Pop3::GetReplyTo},
    {"GetBody", &Pop3::GetBody},
    {"GetToCount", &Pop3::GetToCount},
    {"GetCcCount", &Pop3::GetCcCount},
    {"GetBcCount", &Pop3::GetBcCount},
    {"GetExMessageCount", &Pop3::GetExMessageCount},
    {"GetFileNameCount", &Pop3::GetFileNameCount},
    {"GetToNickName", &Pop3::GetToNickName},
    {"GetTo", &Pop3::GetTo},
    {"GetCcNickName", &Pop3::GetCcNickName},
    {"GetCc", &Pop3::GetCc},
    {"GetBcNickName", &Pop3::GetBcNickName},
    {"GetBc", &Pop3::GetBc},
    {"GetExMessage", &Pop3::GetExMessage},
    {"GetFileName", &Pop3::GetFileName},
    {"GetDate", &Pop3::GetDate},
    {"TransferToFile", &Pop3::TransferToFile},
    {"GetFileSize", &Pop3::GetFileSize},
    {"ReleaseData", &Pop3::ReleaseData},
    {"QUIT", &Pop3::QUIT},
    {"Destroy", &Pop3::Destroy},
};

// Calls the method with a null out-parameter and harmless arguments (message 1, the message itself).
void CallWithNullOut(Pop3& pop3, const Method& method) {
    const std::u16string text = u"Subject: x\r\n\r\nbody\r\n";
    std::visit(Overloaded{
                   [&](IntOut m) { (pop3.*m)(nullptr); },
                   [&](IndexIntOut m) { (pop3.*m)(1, nullptr); },
                   [&](TwoIndexIntOut m) { (pop3.*m)(1, 1, nullptr); },
                   [&](TextIntOut m) { (pop3.*m)(text, nullptr); },
                   [&](TwoTextIntOut m) { (pop3.*m)(u"user", u"pass", nullptr); },
                   [&](IndexTextIntOut m) { (pop3.*m)(1, u"/nonexistent-dir", nullptr); },
                   [&](TextOut m) { (pop3.*m)(nullptr); },
                   [&](IndexTextOut m) { (pop3.*m)(1, nullptr); },
                   [&](DateOut m) { (pop3.*m)(nullptr); },
               },
               method);
}

// A server that answers every line with a positive status line and a short message.
Script Agreeable() {
    Script script;
    script.Reply("+OK ready\r\n");
    for (int i = 0; i < 60; ++i) script.ExpectAnyLine().Reply("+OK 1 2\r\nA: b\r\n\r\n.\r\n");
    return script;
}

TEST(Pop3Shell, NullPValIsIgnoredWithoutAnEngine) {
    Pop3 pop3;
    pop3.SetPort(1);  // no server: a connect fails at once
    for (const Row& row : kMethods) {
        SCOPED_TRACE(row.name);
        CallWithNullOut(pop3, row.method);
    }
    EXPECT_EQ(pop3.LastError(), -5) << "an index outside an empty list";
}

TEST(Pop3Shell, NullPValIsIgnoredOnAConnection) {
    ScriptedServer server(Agreeable());
    Pop3 pop3;
    Pop3Internals::SetTimeoutsMs(pop3, 2000, 300);
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    ASSERT_EQ(result, 1);
    for (const Row& row : kMethods) {
        SCOPED_TRACE(row.name);
        CallWithNullOut(pop3, row.method);
    }
    EXPECT_EQ(Pop3Internals::Engine(pop3), nullptr) << "Destroy ran";
}

TEST(Pop3Shell, OwnRefusalsAreTold) {
    Pop3 pop3;
    EXPECT_EQ(pop3.LastErrorText(), u"");
    std::int32_t result = -99;
    pop3.STAT(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(pop3.LastErrorText(), u"STAT: not connected");

    ScriptedServer server(Script().Reply("+OK ready\r\n").Expect("NOOP\r\n").Reply("+OK\r\n"));
    pop3.SetPort(server.Port());
    pop3.ConnectByName(u"127.0.0.1", &result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(pop3.LastErrorText(), u"");
    pop3.DELE(0, &result);
    EXPECT_EQ(result, -2);
    EXPECT_EQ(pop3.LastErrorText(), u"DELE (bad argument): bad argument");
    pop3.Authorize(std::u16string(33, u'u'), u"p", &result);
    EXPECT_EQ(result, -3);
    EXPECT_EQ(pop3.LastErrorText(), u"Authorize (user name longer than 32 bytes): bad argument");
    pop3.ConnectByName(u"127.0.0.1", &result);
    EXPECT_EQ(result, -5);
    EXPECT_EQ(pop3.LastErrorText(), u"ConnectByName (already connected): bad argument");
    pop3.NOOP(&result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(pop3.LastErrorText(), u"") << "a success clears it";
    EXPECT_EQ(pop3.LastError(), 0) << "LastError is not touched";
}

// Drains events on the test's thread once the worker says one waits.
class Host : public Pop3Events {
  public:
    explicit Host(Pop3& pop3) : pop3_(pop3) {
        pop3_.Advise(this);
        pop3_.SetWakeUp([this] {
            std::lock_guard lock(mutex_);
            ++wakeups_;
            woken_.notify_all();
        });
    }
    void EndOfCommand(std::int32_t lStatus) override { statuses.push_back(lStatus); }
    bool WaitFor(std::size_t count) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (statuses.size() < count) {
            std::unique_lock lock(mutex_);
            if (!woken_.wait_until(lock, deadline, [&] { return wakeups_ > 0; })) return false;
            wakeups_ = 0;
            lock.unlock();
            pop3_.ProcessEvents();
        }
        return true;
    }
    std::vector<std::int32_t> statuses;

  private:
    Pop3& pop3_;
    std::mutex mutex_;
    std::condition_variable woken_;
    int wakeups_ = 0;
};

TEST(Pop3Shell, BusyRefusalIsTold) {
    ScriptedServer server(Script()
                              .Reply("+OK ready\r\n")
                              .Expect("STAT\r\n")
                              .Delay(scripted::Milliseconds(200))
                              .Reply("-ERR locked\r\n"));
    Pop3 pop3;
    Host host(pop3);
    pop3.SetSync(0);
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    ASSERT_EQ(result, 1);
    ASSERT_TRUE(host.WaitFor(1));
    pop3.STAT(&result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(pop3.LastErrorText(), u"") << "nothing is known while the command runs";
    pop3.NOOP(&result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(pop3.LastErrorText(), u"NOOP: busy");
    ASSERT_TRUE(host.WaitFor(2));
    EXPECT_EQ(host.statuses, (std::vector<std::int32_t>{1, 0}));
}

// The traffic observer is the engine's seam; one that throws stands for any exception inside.
void ThrowOnTraffic(Pop3& pop3) {
    Pop3Internals::EnsureEngine(pop3).SetObserver(
        [](std::string_view) { throw std::runtime_error("observer failed"); });
}

TEST(Pop3Shell, ExceptionOnTheHostThreadBecomesZeroAndARecord) {
    ScriptedServer server(Script().Reply("+OK ready\r\n"));
    Pop3 pop3;
    ThrowOnTraffic(pop3);
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(pop3.LastErrorText(), u"observer failed: internal error");
    pop3.Destroy(&result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(pop3.LastErrorText(), u"observer failed: internal error") << "Destroy keeps it";
}

TEST(Pop3Shell, ExceptionOnTheWorkerBecomesAFailedOutcomeAndARecord) {
    ScriptedServer server(Script().Reply("+OK ready\r\n"));
    Pop3 pop3;
    Host host(pop3);
    ThrowOnTraffic(pop3);
    pop3.SetSync(0);
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    EXPECT_EQ(result, 1);
    ASSERT_TRUE(host.WaitFor(1));
    EXPECT_EQ(host.statuses, std::vector<std::int32_t>{0});
    EXPECT_EQ(pop3.LastErrorText(), u"observer failed: internal error");
}

TEST(Pop3Shell, SinkThatThrowsLeavesTheOtherEventsDelivered) {
    ScriptedServer server(Script().Reply("+OK ready\r\n").Expect("NOOP\r\n").Reply("+OK\r\n"));
    Pop3 pop3;
    struct Throwing : Pop3Events {
        void EndOfCommand(std::int32_t) override { throw std::runtime_error("host handler"); }
    } throwing;
    Host host(pop3);  // advised first, hears every event
    pop3.Advise(&throwing);
    pop3.SetSync(0);
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    ASSERT_TRUE(host.WaitFor(1));
    pop3.NOOP(&result);
    ASSERT_TRUE(host.WaitFor(2));
    EXPECT_EQ(host.statuses, (std::vector<std::int32_t>{1, 1}));
    EXPECT_EQ(pop3.LastErrorText(), u"host handler: internal error");
}

}  // namespace
}  // namespace inlark
