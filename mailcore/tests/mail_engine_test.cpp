#include "mailcore/mail_engine.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "testing/scripted_server/scripted_server.h"

namespace mailcore {
namespace {

using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;

// The smallest protocol on top of the base: one command whose positive reply stores a result.
class PingEngine : public MailEngine {
  public:
    ~PingEngine() override { Disconnect(); }
    void ClearResults() override { result.clear(); }
    std::int32_t Ping() {
        return Execute(
            [this] {
                if (!Exchange("PING\r\n") || LastReply().rfind("+", 0) != 0) return false;
                result = LastReply();
                return true;
            },
            true);
    }
    std::int32_t Bye() {
        return Execute([this] {
            if (!Exchange("BYE\r\n")) return false;
            CloseConnection();
            return true;
        });
    }
    std::string result;
};

// Collects posted outcomes and tells which thread woke the host.
class Host {
  public:
    explicit Host(CompletionQueue& queue) : queue_(queue) {
        queue_.SetWakeup([this] {
            std::lock_guard lock(mutex_);
            wakeupThread_ = std::this_thread::get_id();
            ++wakeups_;
            woken_.notify_all();
        });
    }
    // Waits for the next outcome and takes it on this thread.
    std::int32_t Next() {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(woken_.wait_for(lock, std::chrono::seconds(10), [&] { return wakeups_ > taken_; }));
        ++taken_;
        lock.unlock();
        auto outcomes = queue_.TakeAll();
        EXPECT_EQ(outcomes.size(), 1u);
        return outcomes.empty() ? -99 : outcomes.front();
    }
    std::thread::id WakeupThread() {
        std::lock_guard lock(mutex_);
        return wakeupThread_;
    }

  private:
    CompletionQueue& queue_;
    std::mutex mutex_;
    std::condition_variable woken_;
    int wakeups_ = 0;
    int taken_ = 0;
    std::thread::id wakeupThread_;
};

void Prepare(PingEngine& engine) {
    engine.Socket().SetReceiveTimeout(5000);
    engine.Socket().SetSendTimeout(5000);
}

TEST(MailEngine, ConnectReadsTheGreetingAndRefusesASecondConnect) {
    ScriptedServer server(Script().Reply("+OK hello\r\n").Expect("PING\r\n").Reply("+PONG\r\n"));
    PingEngine engine;
    Prepare(engine);
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), MailEngine::Resolution::kByName), 1);
    EXPECT_EQ(engine.LastReply(), "+OK hello\r\n");
    EXPECT_EQ(engine.Connect("127.0.0.1", server.Port(), MailEngine::Resolution::kByName), -5);
    EXPECT_EQ(engine.Ping(), 1);  // the first connection still works
    EXPECT_EQ(engine.result, "+PONG\r\n");
    engine.Disconnect();
    server.Stop();
    EXPECT_EQ(server.Accepted(), 1u);
    EXPECT_TRUE(server.Failures().empty());
}

TEST(MailEngine, BadServerTextIsRefusedWithoutAConnection) {
    ScriptedServer server(Script().Reply("+OK ready\r\n"));
    PingEngine engine;
    for (const std::string& text :
         std::vector<std::string>{"", "127.0.0.1\r\nPING", "127.0.0.1\n", std::string("127.0.0.1\0x", 11)}) {
        EXPECT_EQ(engine.Connect(text, server.Port(), MailEngine::Resolution::kByName), -2);
    }
    server.Stop(Milliseconds(0));
    EXPECT_EQ(server.Accepted(), 0u);
}

TEST(MailEngine, FailedConnectsLeaveTheEngineReadyForAnother) {
    struct Row {
        const char* name;
        Script script;
        MailEngine::Resolution resolution;
        std::string server;
    };
    const std::vector<Row> rows = {
        {"no greeting", Script().Silence(), MailEngine::Resolution::kByName, "127.0.0.1"},
        {"closed before greeting", Script().Drop(), MailEngine::Resolution::kByName, "127.0.0.1"},
        {"negative greeting never ends", Script().Reply("-ERR busy\r\n").Silence(),
         MailEngine::Resolution::kByName, "127.0.0.1"},
        {"unknown name", Script(), MailEngine::Resolution::kByName, "unknown.example"},
        {"address that is a name", Script(), MailEngine::Resolution::kByAddress, "localhost"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server(row.script);
        PingEngine engine;
        engine.Socket().SetReceiveTimeout(100);
        MailSocket::Resolver resolver = MailSocket::SystemResolver();
        auto system = resolver.lookUp;
        resolver.lookUp = [system](const std::string& host) {
            return host == "unknown.example" ? std::vector<sockaddr_storage>{} : system(host);
        };
        engine.Socket().SetResolver(resolver);
        EXPECT_EQ(engine.Connect(row.server, server.Port(), row.resolution), 0);
        EXPECT_FALSE(engine.IsConnected());
        ScriptedServer good(Script().Reply("+OK again\r\n"));
        EXPECT_EQ(engine.Connect("127.0.0.1", good.Port(), MailEngine::Resolution::kByName), 1);
    }
}

TEST(MailEngine, GreetingTooLongForTheStatusBufferIsNotKept) {
    ScriptedServer server(Script().Reply("+OK " + std::string(300, 'g') + "\r\n"));
    PingEngine engine;
    Prepare(engine);
    EXPECT_EQ(engine.Connect("127.0.0.1", server.Port(), MailEngine::Resolution::kByName), 1);
    EXPECT_EQ(engine.LastReply(), "");
}

TEST(MailEngine, CommandWithoutConnectionFails) {
    PingEngine engine;
    engine.result = "old";
    EXPECT_EQ(engine.Ping(), 0);
    EXPECT_EQ(engine.result, "");
}

TEST(MailEngine, FailedCommandClearsTheResults) {
    ScriptedServer server(Script()
                              .Reply("+OK ready\r\n")
                              .Expect("PING\r\n")
                              .Reply("+PONG\r\n")
                              .Expect("PING\r\n")
                              .Reply("-NO\r\n"));
    PingEngine engine;
    Prepare(engine);
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), MailEngine::Resolution::kByName), 1);
    ASSERT_EQ(engine.Ping(), 1);
    EXPECT_EQ(engine.Ping(), 0);
    EXPECT_EQ(engine.result, "");
    EXPECT_EQ(engine.LastReply(), "-NO\r\n");
}

TEST(MailEngine, FarewellClosesTheConnection) {
    ScriptedServer server(Script().Reply("+OK ready\r\n").Expect("BYE\r\n").Reply("+OK bye\r\n"));
    PingEngine engine;
    Prepare(engine);
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), MailEngine::Resolution::kByName), 1);
    EXPECT_EQ(engine.Bye(), 1);
    EXPECT_FALSE(engine.IsConnected());
    EXPECT_EQ(engine.Ping(), 0);
    EXPECT_TRUE(server.WaitForFinished(1));
}

TEST(MailEngine, WorkerPostsOutcomesAndRefusesWhileBusy) {
    ScriptedServer server(Script()
                              .Delay(Milliseconds(50))
                              .Reply("+OK hello\r\n")
                              .Expect("PING\r\n")
                              .Delay(Milliseconds(100))
                              .Reply("+PONG\r\n")
                              .Expect("PING\r\n")
                              .Reply("-NO\r\n"));
    CompletionQueue queue;
    Host host(queue);
    PingEngine engine;
    Prepare(engine);
    engine.SetNotifyQueue(&queue);
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), MailEngine::Resolution::kByName), 1);
    EXPECT_EQ(engine.Ping(), -1);  // the greeting is still awaited
    EXPECT_EQ(host.Next(), 1);
    EXPECT_NE(host.WakeupThread(), std::this_thread::get_id());
    EXPECT_EQ(engine.LastReply(), "+OK hello\r\n");

    ASSERT_EQ(engine.Ping(), 1);
    EXPECT_EQ(engine.Ping(), -1);
    EXPECT_EQ(engine.Connect("127.0.0.1", server.Port(), MailEngine::Resolution::kByName), -1);
    EXPECT_EQ(host.Next(), 1);
    EXPECT_EQ(engine.result, "+PONG\r\n");

    ASSERT_EQ(engine.Ping(), 1);
    EXPECT_EQ(host.Next(), 0);
    EXPECT_EQ(engine.result, "");
}

TEST(MailEngine, AsynchronousGreetingFailurePostsZeroAndDisconnects) {
    ScriptedServer server(Script().Drop());
    CompletionQueue queue;
    Host host(queue);
    PingEngine engine;
    Prepare(engine);
    engine.SetNotifyQueue(&queue);
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), MailEngine::Resolution::kByName), 1);
    EXPECT_EQ(host.Next(), 0);
    EXPECT_FALSE(engine.IsConnected());
}

TEST(MailEngine, DisconnectCancelsAWorkerAfterItsWait) {
    ScriptedServer server(Script().Reply("+OK ready\r\n").Expect("PING\r\n").Silence());
    CompletionQueue queue;
    Host host(queue);
    PingEngine engine;
    engine.Socket().SetReceiveTimeout(60000);
    engine.SetDisconnectWait(Milliseconds(30));
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), MailEngine::Resolution::kByName), 1);
    engine.SetNotifyQueue(&queue);
    ASSERT_EQ(engine.Ping(), 1);
    engine.Disconnect();  // would hang for a minute if the wait were not cancelled
    EXPECT_FALSE(engine.IsBusy());
    EXPECT_EQ(host.Next(), 0);
    EXPECT_TRUE(server.WaitForFinished(1));
}

TEST(MailEngine, DisconnectLetsAWorkerFinishWithinItsWait) {
    ScriptedServer server(
        Script().Reply("+OK ready\r\n").Expect("PING\r\n").Delay(Milliseconds(50)).Reply("+PONG\r\n"));
    CompletionQueue queue;
    Host host(queue);
    PingEngine engine;
    Prepare(engine);
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), MailEngine::Resolution::kByName), 1);
    engine.SetNotifyQueue(&queue);
    ASSERT_EQ(engine.Ping(), 1);
    engine.Disconnect();
    EXPECT_EQ(host.Next(), 1);
}

}  // namespace
}  // namespace mailcore
