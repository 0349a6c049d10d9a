// The Pop3 control: properties, connection life cycle, asynchronous commands and their events, faults.

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "inlark/pop3.h"
#include "pop3/pop3_internals.h"
#include "pop3/tests/wakeable_host.h"
#include "testing/scripted_server/scripted_server.h"

namespace inlark {
namespace {

using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;

constexpr const char* kGreeting = "+OK POP3 ready\r\n";

std::int32_t ConnectTo(Pop3& pop3, const ScriptedServer& server, std::int32_t recvMs = 5000) {
    Pop3Internals::SetTimeoutsMs(pop3, 5000, recvMs);
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    return result;
}

std::int32_t Call(Pop3& pop3, void (Pop3::*method)(std::int32_t*)) {
    std::int32_t result = -99;
    (pop3.*method)(&result);
    return result;
}

std::u16string Message(Pop3& pop3) {
    std::u16string text = u"stale";
    pop3.GetMessage(&text);
    return text;
}

std::int32_t Count(Pop3& pop3) {
    std::int32_t count = -99;
    pop3.GetCount(&count);
    return count;
}

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

TEST(Pop3Control, PropertiesStartAsSpecified) {
    Pop3 pop3;
    EXPECT_EQ(pop3.Port(), 110);
    EXPECT_EQ(pop3.SendTimeout(), 120);
    EXPECT_EQ(pop3.RecvTimeout(), 120);
    EXPECT_EQ(pop3.LogFilename(), u"Inlark.log");
    EXPECT_EQ(pop3.Sync(), 1);
    EXPECT_EQ(pop3.LastError(), 0);
}

TEST(Pop3Control, PropertyPuts) {
    Pop3 pop3;
    pop3.SetSendTimeout(1);
    EXPECT_EQ(pop3.SendTimeout(), 1);
    EXPECT_EQ(Pop3Internals::SendTimeoutMs(pop3), 1000);
    pop3.SetRecvTimeout(7);
    EXPECT_EQ(Pop3Internals::RecvTimeoutMs(pop3), 7000);
    Pop3Internals::SetTimeoutsMs(pop3, 1999, 999);
    EXPECT_EQ(pop3.SendTimeout(), 1);  // integer division
    EXPECT_EQ(pop3.RecvTimeout(), 0);
    pop3.SetSync(0);
    pop3.SetSync(2);
    pop3.SetSync(-1);
    EXPECT_EQ(pop3.Sync(), 0);
    pop3.SetPort(-7);  // not validated
    EXPECT_EQ(pop3.Port(), -7);
    pop3.SetLogFilename(u"\u53d7\u4fe1.log");
    EXPECT_EQ(pop3.LogFilename(), u"\u53d7\u4fe1.log");
}

TEST(Pop3Control, WithoutEngine) {
    Pop3 pop3;
    EXPECT_EQ(Call(pop3, &Pop3::Destroy), 0);
    EXPECT_EQ(Call(pop3, &Pop3::STAT), 0);
    EXPECT_EQ(Count(pop3), 0);
    std::int32_t number = -99;
    pop3.GetNo(1, &number);
    EXPECT_EQ(number, 0);
    std::u16string data = u"stale";
    pop3.GetData(1, &data);
    EXPECT_EQ(data, u"");
    EXPECT_EQ(pop3.LastError(), 0);
    EXPECT_EQ(Message(pop3), u"");
    std::int32_t untouched = 77;
    pop3.ReleaseData(&untouched);
    EXPECT_EQ(untouched, 77);
}

TEST(Pop3Control, GreetingIsTheMessageAfterConnect) {
    ScriptedServer server(Script().Reply(kGreeting));
    Pop3 pop3;
    ASSERT_EQ(ConnectTo(pop3, server), 1);
    EXPECT_EQ(Message(pop3), u"+OK POP3 ready\r\n");
    EXPECT_EQ(Call(pop3, &Pop3::Destroy), 1);
    EXPECT_EQ(Call(pop3, &Pop3::Destroy), 0);
}

TEST(Pop3Control, SecondConnectIsRefusedAndTheFirstStaysUsable) {
    ScriptedServer server(Script().Reply(kGreeting).Expect("NOOP\r\n").Reply("+OK\r\n"));
    Pop3 pop3;
    ASSERT_EQ(ConnectTo(pop3, server), 1);
    EXPECT_EQ(ConnectTo(pop3, server), -5);
    std::int32_t result = -99;
    pop3.ConnectByAddr(u"127.0.0.1", &result);
    EXPECT_EQ(result, -5);
    EXPECT_EQ(Call(pop3, &Pop3::NOOP), 1);
    pop3.Destroy(&result);
    server.Stop();
    EXPECT_EQ(server.Accepted(), 1u);
    EXPECT_TRUE(server.Failures().empty());
}

TEST(Pop3Control, ConnectRefusesBadServerTextsWithoutTraffic) {
    ScriptedServer server(Script().Reply(kGreeting));
    Pop3 pop3;
    pop3.SetPort(server.Port());
    for (const std::u16string& text : {std::u16string(), std::u16string(u"127.0.0.1\r\nUSER x"),
                                       std::u16string(u"127.0.0.1\n"), std::u16string(u"127.0.0.1\r")}) {
        std::int32_t result = -99;
        pop3.ConnectByName(text, &result);
        EXPECT_EQ(result, -2);
        pop3.ConnectByAddr(text, &result);
        EXPECT_EQ(result, -2);
    }
    server.Stop(Milliseconds(0));
    EXPECT_EQ(server.Accepted(), 0u);
}

TEST(Pop3Control, ConnectByAddress) {
    ScriptedServer server(Script().Reply(kGreeting));
    Pop3 pop3;
    Pop3Internals::SetTimeoutsMs(pop3, 5000, 5000);
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByAddr(u"localhost", &result);  // not an address
    EXPECT_EQ(result, 0);
    pop3.ConnectByAddr(u"127.0.0.1", &result);
    EXPECT_EQ(result, 1);
}

TEST(Pop3Control, ConnectByAddressWithoutReverseEntryMakesNoAttempt) {
    ScriptedServer server(Script().Reply(kGreeting));
    Pop3 pop3;
    auto resolver = mailcore::MailSocket::SystemResolver();
    resolver.hasReverseEntry = [](const sockaddr_storage&) { return false; };
    Pop3Internals::EnsureEngine(pop3).Socket().SetResolver(resolver);
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByAddr(u"127.0.0.1", &result);
    EXPECT_EQ(result, 0);
    server.Stop(Milliseconds(0));
    EXPECT_EQ(server.Accepted(), 0u);
}

TEST(Pop3Control, ConnectFailures) {
    struct Row {
        const char* name;
        Script script;
    };
    const std::vector<Row> rows = {
        {"no greeting", Script().Silence()},
        {"dropped", Script().Drop()},
        {"negative greeting", Script().Reply("-ERR full\r\n").Silence()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server(row.script);
        Pop3 pop3;
        EXPECT_EQ(ConnectTo(pop3, server, 100), 0);
        EXPECT_EQ(Call(pop3, &Pop3::NOOP), 0);
        ScriptedServer good(Script().Reply(kGreeting));
        EXPECT_EQ(ConnectTo(pop3, good), 1);  // the same engine connects again
    }
    Pop3 pop3;
    pop3.SetPort(0);
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    EXPECT_EQ(result, 0);
}

TEST(Pop3Control, QuitClosesAndANegativeQuitKeepsTheConnection) {
    ScriptedServer server(Script()
                              .Reply(kGreeting)
                              .Expect("QUIT\r\n")
                              .Reply("-ERR not now\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK bye\r\n"));
    Pop3 pop3;
    ASSERT_EQ(ConnectTo(pop3, server), 1);
    EXPECT_EQ(Call(pop3, &Pop3::QUIT), 0);
    EXPECT_EQ(Call(pop3, &Pop3::QUIT), 1);
    EXPECT_TRUE(server.WaitForFinished(1));
    EXPECT_EQ(Call(pop3, &Pop3::NOOP), 0);  // not connected
    ScriptedServer next(Script().Reply(kGreeting));
    EXPECT_EQ(ConnectTo(pop3, next), 1);
}

TEST(Pop3Control, LastErrorIsSetByAnIndexOutsideTheListAndNeverCleared) {
    ScriptedServer server(Script().Reply(kGreeting).Expect("STAT\r\n").Reply("+OK 3 4520\r\n"));
    Pop3 pop3;
    ASSERT_EQ(ConnectTo(pop3, server), 1);
    std::u16string data = u"stale";
    pop3.GetData(1, &data);  // count 0
    EXPECT_EQ(data, u"");
    EXPECT_EQ(pop3.LastError(), -5);
    ASSERT_EQ(Call(pop3, &Pop3::STAT), 1);
    pop3.GetData(1, &data);
    EXPECT_EQ(data, u"4520");
    EXPECT_EQ(pop3.LastError(), -5);
    std::int32_t number = -99;
    pop3.GetNo(0, &number);
    EXPECT_EQ(number, -2);
    pop3.GetData(2, &data);
    EXPECT_EQ(data, u"");
}

TEST(Pop3Control, MessageFollowsTheLastCommandKind) {
    ScriptedServer server(Script()
                              .Reply(kGreeting)
                              .Expect("RETR 1\r\n")
                              .Reply("+OK\r\nA: b\r\n\r\n.\r\n")
                              .Expect("NOOP\r\n")
                              .Reply("+OK noop\r\n")
                              .Expect("TOP 1 1\r\n")
                              .Reply("+OK\r\nA: b\r\n\r\n.\r\n"));
    Pop3 pop3;
    ASSERT_EQ(ConnectTo(pop3, server), 1);
    std::int32_t result;
    pop3.RETR(1, &result);
    EXPECT_EQ(Message(pop3), u"A: b\r\n\r\n.\r\n");
    pop3.NOOP(&result);
    EXPECT_EQ(Message(pop3), u"+OK noop\r\n");
    pop3.TOP_(1, 1, &result);
    EXPECT_EQ(Message(pop3), u"A: b\r\n\r\n.\r\n");
    pop3.DELE(0, &result);  // refused, but a method other than TOP_ and RETR
    EXPECT_EQ(Message(pop3), u"+OK\r\n");
}

TEST(Pop3Control, ReleaseDataClearsResultsAndLeavesPValAlone) {
    ScriptedServer server(Script().Reply(kGreeting).Expect("RETR 1\r\n").Reply("+OK\r\nA: b\r\n\r\n.\r\n"));
    Pop3 pop3;
    ASSERT_EQ(ConnectTo(pop3, server), 1);
    std::int32_t result;
    pop3.RETR(1, &result);
    ASSERT_EQ(Count(pop3), 11);
    std::int32_t untouched = 42;
    pop3.ReleaseData(&untouched);
    EXPECT_EQ(untouched, 42);
    EXPECT_EQ(Count(pop3), 0);
    EXPECT_EQ(Message(pop3), u"");
}

// An oversized, endless or cut-off reply fails, and the control still ends and connects afresh.
TEST(Pop3Control, BadRepliesFailAndTheControlRecovers) {
    struct Row {
        const char* name;
        Script script;
        std::function<void(Pop3&, std::int32_t*)> call;
    };
    const std::vector<Row> rows = {
        {"status line beyond its buffer",
         Script().Reply(kGreeting).ExpectAnyLine().Reply(std::string(4000, 's')),
         [](Pop3& p, std::int32_t* r) { p.NOOP(r); }},
        {"message beyond 10 MiB",
         Script().Reply(kGreeting).ExpectAnyLine().Reply("+OK\r\n").Flood(0xA00000 + 1000, 'm', 76),
         [](Pop3& p, std::int32_t* r) { p.RETR(1, r); }},
        {"listing beyond 10 MiB",
         Script().Reply(kGreeting).ExpectAnyLine().Reply("+OK\r\n").Flood(0xA00000 + 1000, '1', 76),
         [](Pop3& p, std::int32_t* r) { p.LIST(0, r); }},
        {"closed mid message",
         Script().Reply(kGreeting).ExpectAnyLine().Reply("+OK\r\nA: b\r\n\r\nbo").Drop(),
         [](Pop3& p, std::int32_t* r) { p.RETR(1, r); }},
        {"closed mid listing", Script().Reply(kGreeting).ExpectAnyLine().Reply("+OK\r\n1 100\r\n2 2").Drop(),
         [](Pop3& p, std::int32_t* r) { p.UIDL(0, r); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server(row.script);
        Pop3 pop3;
        ASSERT_EQ(ConnectTo(pop3, server, 300), 1);
        std::int32_t result = -99;
        row.call(pop3, &result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(Count(pop3), 0);
        EXPECT_EQ(Call(pop3, &Pop3::Destroy), 1);
        ScriptedServer next(Script().Reply(kGreeting).Expect("STAT\r\n").Reply("+OK 1 5\r\n"));
        ASSERT_EQ(ConnectTo(pop3, next), 1);
        EXPECT_EQ(Call(pop3, &Pop3::STAT), 1);
        EXPECT_EQ(Count(pop3), 1);
    }
}

TEST(Pop3Control, RepeatedSessionsDoNotGrowDescriptors) {
    const std::string message = "Subject: cycle\r\n\r\n" + std::string(5000, 'b') + "\r\n.\r\n";
    ScriptedServer server(Script()
                              .Reply(kGreeting)
                              .Expect("USER u\r\n")
                              .Reply("+OK\r\n")
                              .Expect("PASS p\r\n")
                              .Reply("+OK\r\n")
                              .Expect("RETR 1\r\n")
                              .Reply("+OK\r\n" + message));
    auto cycle = [&] {
        Pop3 pop3;
        std::int32_t result;
        ASSERT_EQ(ConnectTo(pop3, server), 1);
        pop3.Authorize(u"u", u"p", &result);
        ASSERT_EQ(result, 1);
        pop3.RETR(1, &result);
        ASSERT_EQ(result, 1);
        pop3.Destroy(&result);
    };
    Pop3 reused;
    auto reusedCycle = [&] {
        std::int32_t result;
        ASSERT_EQ(ConnectTo(reused, server), 1);
        reused.Authorize(u"u", u"p", &result);
        reused.RETR(1, &result);
        ASSERT_EQ(result, 1);
        reused.Destroy(&result);
    };
    cycle();
    reusedCycle();
    ASSERT_TRUE(server.WaitForFinished(2));
    const std::size_t before = OpenDescriptors();
    for (int i = 0; i < 40; ++i) {
        cycle();
        reusedCycle();
    }
    ASSERT_TRUE(server.WaitForFinished(82));
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_TRUE(server.Failures().empty());
}

// Records the events it receives and on which thread.
class EventLog : public Pop3Events {
  public:
    void EndOfCommand(std::int32_t lStatus) override {
        statuses.push_back(lStatus);
        threads.push_back(std::this_thread::get_id());
    }
    std::vector<std::int32_t> statuses;
    std::vector<std::thread::id> threads;
};

TEST(Pop3Control, AsynchronousCommandsRaiseEndOfCommandOnTheHostThread) {
    ScriptedServer server(Script()
                              .Reply(kGreeting)
                              .Expect("STAT\r\n")
                              .Delay(Milliseconds(100))
                              .Reply("+OK 3 4520\r\n")
                              .Expect("LIST\r\n")
                              .Reply("-ERR no\r\n")
                              .Expect("RETR 1\r\n")
                              .Reply("+OK\r\nA: b\r\n\r\n.\r\n"));
    Pop3 pop3;
    EventLog log;
    pop3.Advise(&log);
    WakeableHost host(pop3);
    pop3.SetSync(0);

    ASSERT_EQ(ConnectTo(pop3, server), 1);
    host.AwaitEvent();
    EXPECT_EQ(Message(pop3), u"+OK POP3 ready\r\n");

    EXPECT_EQ(Call(pop3, &Pop3::STAT), 1);
    EXPECT_EQ(Call(pop3, &Pop3::STAT), -1);  // still waiting for the reply
    std::int32_t result = -99;
    pop3.DELE(0, &result);  // argument checks come first, raise no event
    EXPECT_EQ(result, -2);
    host.AwaitEvent();
    EXPECT_EQ(Count(pop3), 1);
    std::u16string data;
    pop3.GetData(1, &data);
    EXPECT_EQ(data, u"4520");

    pop3.LIST(0, &result);
    EXPECT_EQ(result, 1);
    host.AwaitEvent();
    EXPECT_EQ(Message(pop3), u"-ERR no\r\n");

    pop3.RETR(1, &result);
    EXPECT_EQ(result, 1);
    host.AwaitEvent();
    EXPECT_EQ(Message(pop3), u"A: b\r\n\r\n.\r\n");

    EXPECT_EQ(log.statuses, (std::vector<std::int32_t>{1, 1, 0, 1}));
    for (auto id : log.threads) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_NE(host.WakeupThread(), std::this_thread::get_id());
}

TEST(Pop3Control, ReadOutsWaitForTheWorker) {
    ScriptedServer server(
        Script().Reply(kGreeting).Expect("STAT\r\n").Delay(Milliseconds(100)).Reply("+OK 3 9\r\n"));
    Pop3 pop3;
    EventLog log;
    pop3.Advise(&log);
    ASSERT_EQ(ConnectTo(pop3, server), 1);  // synchronous: no event
    pop3.SetSync(0);
    EXPECT_EQ(Call(pop3, &Pop3::STAT), 1);
    EXPECT_EQ(Count(pop3), 0);
    EXPECT_EQ(Message(pop3), u"");
    // A host without a wake-up polls.
    for (int i = 0; i < 1000 && log.statuses.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        pop3.ProcessEvents();
    }
    EXPECT_EQ(log.statuses, std::vector<std::int32_t>{1});
    EXPECT_EQ(Count(pop3), 1);
}

TEST(Pop3Control, SyncZeroWithoutAWindowRunsSynchronously) {
    ScriptedServer server(Script().Reply(kGreeting).Expect("STAT\r\n").Reply("+OK 3 4520\r\n"));
    Pop3 pop3;
    pop3.SetSync(0);
    EXPECT_EQ(pop3.Advise(nullptr), 0);  // a null sink gives no window
    ASSERT_EQ(ConnectTo(pop3, server), 1);
    EXPECT_EQ(Message(pop3), u"+OK POP3 ready\r\n");
    EXPECT_EQ(Call(pop3, &Pop3::STAT), 1);
    EXPECT_EQ(Count(pop3), 1);
    EventLog log;
    pop3.Advise(&log);
    EXPECT_EQ(pop3.ProcessEvents(), 0);
    EXPECT_TRUE(log.statuses.empty());
}

TEST(Pop3Control, UnadvisedSinksHearNothing) {
    ScriptedServer server(Script().Reply(kGreeting).Expect("NOOP\r\n").Reply("+OK\r\n"));
    Pop3 pop3;
    EventLog kept;
    EventLog removed;
    std::int32_t keptCookie = pop3.Advise(&kept);
    std::int32_t removedCookie = pop3.Advise(&removed);
    EXPECT_EQ(pop3.Advise(&kept), keptCookie);  // once only
    EXPECT_NE(removedCookie, keptCookie);
    WakeableHost host(pop3);
    pop3.SetSync(0);
    ASSERT_EQ(ConnectTo(pop3, server), 1);
    host.AwaitEvent();
    pop3.Unadvise(removedCookie);
    EXPECT_EQ(Call(pop3, &Pop3::NOOP), 1);
    host.AwaitEvent();
    EXPECT_EQ(kept.statuses, (std::vector<std::int32_t>{1, 1}));
    EXPECT_EQ(removed.statuses, std::vector<std::int32_t>{1});
}

// Destroy while a worker waits on a silent server: the wait is cut short and the event still arrives.
TEST(Pop3Control, DestroyCancelsAWaitingWorker) {
    ScriptedServer server(Script().Reply(kGreeting).ExpectAnyLine().Silence());
    Pop3 pop3;
    EventLog log;
    pop3.Advise(&log);
    Pop3Internals::SetDisconnectWait(pop3, Milliseconds(20));
    ASSERT_EQ(ConnectTo(pop3, server, 60000), 1);
    pop3.SetSync(0);
    EXPECT_EQ(Call(pop3, &Pop3::NOOP), 1);
    EXPECT_EQ(Call(pop3, &Pop3::Destroy), 1);
    EXPECT_EQ(pop3.ProcessEvents(), 1);
    EXPECT_EQ(log.statuses, std::vector<std::int32_t>{0});
    EXPECT_TRUE(server.WaitForFinished(1));
}

TEST(Pop3Control, BusyRefusesConnectAndDestroyWaitsForTheWorker) {
    ScriptedServer server(
        Script().Reply(kGreeting).Expect("NOOP\r\n").Delay(Milliseconds(80)).Reply("+OK\r\n"));
    Pop3 pop3;
    EventLog log;
    pop3.Advise(&log);
    ASSERT_EQ(ConnectTo(pop3, server), 1);
    pop3.SetSync(0);
    EXPECT_EQ(Call(pop3, &Pop3::NOOP), 1);
    EXPECT_EQ(ConnectTo(pop3, server), -1);
    EXPECT_EQ(Call(pop3, &Pop3::Destroy), 1);  // within the wait the worker ends on its own
    pop3.ProcessEvents();
    EXPECT_EQ(log.statuses, std::vector<std::int32_t>{1});
}

}  // namespace
}  // namespace inlark
