// Why a POP3 connect or command failed: each kind made real against the scripted server, and the engine
// driven through a scripted byte stream that splits, delays and fails reads and writes.

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "pop3/pop3_engine.h"
#include "testing/fake_stream/fake_byte_stream.h"
#include "testing/scripted_server/scripted_server.h"

namespace inlark {
namespace {

using mailcore::FailureKind;
using mailcore::FailureText;
using scripted::FakeByteStream;
using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;

constexpr const char* kGreeting = "+OK POP3 ready\r\n";
constexpr auto kByName = mailcore::MailEngine::Resolution::kByName;
constexpr std::int32_t kPatientMs = 5000;  // only a fault waits this long

struct CommandRow {
    const char* name;
    std::function<void(Script&)> script;  // what follows the greeting
    std::function<std::int32_t(Pop3Engine&)> call;
    FailureKind kind;
    std::string text;
    friend void PrintTo(const CommandRow& row, std::ostream* os) { *os << row.name; }
};

class CommandFailures : public ::testing::TestWithParam<CommandRow> {};

TEST_P(CommandFailures, AreRecordedUnderTheCommand) {
    const CommandRow& row = GetParam();
    Script script;
    script.Reply(kGreeting);
    row.script(script);
    ScriptedServer server(script);
    Pop3Engine engine;
    engine.Socket().SetReceiveTimeout(kPatientMs);
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), kByName), 1);
    engine.Socket().SetReceiveTimeout(150);
    EXPECT_EQ(row.call(engine), 0);
    EXPECT_EQ(engine.LastFailure().kind, row.kind);
    EXPECT_EQ(FailureText(engine.LastFailure()), row.text);
}

std::string Lines(std::size_t count) {
    std::string text;
    for (std::size_t i = 1; i <= count; ++i) text += std::to_string(i) + " 1000\r\n";
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Pop3Engine, CommandFailures,
    ::testing::Values(
        CommandRow{"RetrRefused", [](Script& s) { s.Expect("RETR 3\r\n").Reply("-ERR no such message\r\n"); },
                   [](Pop3Engine& e) { return e.Retr(3); }, FailureKind::NegativeReply,
                   "RETR 3: negative reply: -ERR no such message"},
        CommandRow{"PasswordNeverShown",
                   [](Script& s) {
                       s.Expect("USER me\r\n")
                           .Reply("+OK\r\n")
                           .Expect("PASS s3cret\r\n")
                           .Reply("-ERR [AUTH] no\r\n");
                   },
                   [](Pop3Engine& e) { return e.Authorize("me", "s3cret"); }, FailureKind::NegativeReply,
                   "PASS: negative reply: -ERR [AUTH] no"},
        CommandRow{"StatUnreadable", [](Script& s) { s.Expect("STAT\r\n").Reply("+OK many\r\n"); },
                   [](Pop3Engine& e) { return e.Stat(); }, FailureKind::MalformedReply,
                   "STAT: malformed reply: +OK many"},
        CommandRow{"NeitherPositiveNorNegative", [](Script& s) { s.Expect("NOOP\r\n").Reply("HELLO\r\n"); },
                   [](Pop3Engine& e) { return e.Noop(); }, FailureKind::MalformedReply,
                   "NOOP: malformed reply: HELLO"},
        CommandRow{"ListingRefused", [](Script& s) { s.Expect("UIDL\r\n").Reply("-ERR not now\r\n"); },
                   [](Pop3Engine& e) { return e.Uidl(0); }, FailureKind::NegativeReply,
                   "UIDL: negative reply: -ERR not now"},
        CommandRow{"SilentServer", [](Script& s) { s.Expect("LIST\r\n").Silence(); },
                   [](Pop3Engine& e) { return e.List(0); }, FailureKind::TimedOut, "LIST: timed out"},
        CommandRow{"ListingNeverEnds",
                   [](Script& s) { s.Expect("LIST\r\n").Reply("+OK\r\n" + Lines(3)).Silence(); },
                   [](Pop3Engine& e) { return e.List(0); }, FailureKind::TimedOut, "LIST: timed out"},
        CommandRow{"ClosedMidRetr",
                   [](Script& s) { s.Expect("RETR 1\r\n").Reply("+OK\r\nSubject: x\r\n\r\nbo").Drop(); },
                   [](Pop3Engine& e) { return e.Retr(1); }, FailureKind::Closed,
                   "RETR 1: connection closed by the server"},
        CommandRow{"ClosedBeforeTheReply", [](Script& s) { s.Expect("DELE 2\r\n").Drop(); },
                   [](Pop3Engine& e) { return e.Dele(2); }, FailureKind::Closed,
                   "DELE 2: connection closed by the server"},
        CommandRow{"StatusLineTooLong",
                   [](Script& s) { s.Expect("TOP 1 5\r\n").Reply("+OK " + std::string(300, 'x') + "\r\n"); },
                   [](Pop3Engine& e) { return e.Top(1, 5); }, FailureKind::ReplyTooLong,
                   "TOP 1 5: reply too long"},
        CommandRow{"ListingTooLong",
                   [](Script& s) { s.Expect("LIST\r\n").Reply("+OK\r\n" + Lines(400) + ".\r\n"); },
                   [](Pop3Engine& e) {
                       e.Socket().SetReplyLimit(2000);
                       return e.List(0);
                   },
                   FailureKind::ReplyTooLong, "LIST: reply too long"},
        CommandRow{"MessageTooLong",
                   [](Script& s) { s.Expect("RETR 1\r\n").Reply("+OK\r\n").Flood(300 * 1024, 'm', 78); },
                   [](Pop3Engine& e) {
                       e.Socket().SetReplyLimit(200 * 1024);
                       return e.Retr(1);
                   },
                   FailureKind::ReplyTooLong, "RETR 1: reply too long"}),
    [](const auto& info) { return info.param.name; });

TEST(Pop3EngineFailure, SuccessClearsTheRecord) {
    ScriptedServer server(Script()
                              .Reply(kGreeting)
                              .Expect("DELE 9\r\n")
                              .Reply("-ERR no\r\n")
                              .Expect("NOOP\r\n")
                              .Reply("+OK\r\n"));
    Pop3Engine engine;
    engine.Socket().SetReceiveTimeout(kPatientMs);
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), kByName), 1);
    EXPECT_EQ(engine.Dele(9), 0);
    EXPECT_EQ(engine.LastFailure().kind, FailureKind::NegativeReply);
    EXPECT_EQ(engine.Noop(), 1);
    EXPECT_EQ(engine.LastFailure().kind, FailureKind::None);
}

TEST(Pop3EngineFailure, RefusingGreetingFailsAtOnce) {
    ScriptedServer server(Script().Reply("-ERR too many sessions\r\n").Silence());
    Pop3Engine engine;
    // A read for a final line would wait this long; the refusal must end the connect long before.
    engine.Socket().SetReceiveTimeout(120000);
    EXPECT_EQ(engine.Connect("127.0.0.1", server.Port(), kByName), 0);
    EXPECT_FALSE(engine.IsConnected());
    EXPECT_EQ(engine.LastReply(), "");
    EXPECT_EQ(FailureText(engine.LastFailure()), "greeting: negative reply: -ERR too many sessions");
}

struct ConnectRow {
    const char* name;
    std::function<std::int32_t(Pop3Engine&, std::uint16_t port)> connect;
    FailureKind kind;
    std::string text;  // "PORT" stands for the port
    friend void PrintTo(const ConnectRow& row, std::ostream* os) { *os << row.name; }
};

class ConnectFailures : public ::testing::TestWithParam<ConnectRow> {};

TEST_P(ConnectFailures, AreRecorded) {
    const ConnectRow& row = GetParam();
    std::uint16_t port;
    {
        ScriptedServer gone(Script{});
        port = gone.Port();
    }
    Pop3Engine engine;
    engine.Socket().SetResolver({[](const std::string&) { return std::vector<sockaddr_storage>{}; },
                                 [](const sockaddr_storage&) { return true; }});
    EXPECT_EQ(row.connect(engine, port), 0);
    EXPECT_FALSE(engine.IsConnected());
    EXPECT_EQ(engine.LastFailure().kind, row.kind);
    std::string text = row.text;
    if (auto at = text.find("PORT"); at != std::string::npos) text.replace(at, 4, std::to_string(port));
    EXPECT_EQ(FailureText(engine.LastFailure()), text);
}

INSTANTIATE_TEST_SUITE_P(
    Pop3Engine, ConnectFailures,
    ::testing::Values(ConnectRow{"ClosedPort",
                                 [](Pop3Engine& e, std::uint16_t port) {
                                     return e.Connect("127.0.0.1", port,
                                                      mailcore::MailEngine::Resolution::kEither);
                                 },
                                 FailureKind::ConnectRefused,
                                 "connect 127.0.0.1:PORT: connection refused (Connection refused)"},
                      ConnectRow{
                          "UnknownHost",
                          [](Pop3Engine& e, std::uint16_t) { return e.Connect("pop.invalid", 110, kByName); },
                          FailureKind::Resolve, "connect pop.invalid:110: unknown host"}),
    [](const auto& info) { return info.param.name; });

TEST(Pop3EngineFailure, SilentGreetingTimesOut) {
    ScriptedServer server(Script().Silence());
    Pop3Engine engine;
    engine.Socket().SetReceiveTimeout(150);
    EXPECT_EQ(engine.Connect("127.0.0.1", server.Port(), kByName), 0);
    EXPECT_EQ(FailureText(engine.LastFailure()), "greeting: timed out");
}

TEST(Pop3EngineFailure, CancelEndsARetrFromAnotherThread) {
    ScriptedServer server(
        Script().Reply(kGreeting).Expect("RETR 1\r\n").Reply("+OK\r\nSubject: x\r\n").Silence());
    Pop3Engine engine;
    engine.Socket().SetReceiveTimeout(60000);
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), kByName), 1);
    auto retr = std::async(std::launch::async, [&] { return engine.Retr(1); });
    while (server.Received().find("RETR 1\r\n") == std::string::npos) std::this_thread::yield();
    engine.Socket().Cancel();
    EXPECT_EQ(retr.get(), 0);
    EXPECT_EQ(FailureText(engine.LastFailure()), "RETR 1: cancelled");
    EXPECT_TRUE(engine.RetrievedText().empty());
}

// --- The engine over the scripted byte stream ---

struct FakeRig {
    FakeByteStream* fake;
    std::unique_ptr<Pop3Engine> engine;
};

FakeRig OverFake(const std::function<void(FakeByteStream&)>& script) {
    auto fake = std::make_unique<FakeByteStream>();
    FakeByteStream* raw = fake.get();
    script(*raw);
    auto engine = std::make_unique<Pop3Engine>(std::move(fake));
    engine->Socket().SetReceiveTimeout(100);
    return {raw, std::move(engine)};
}

const std::string kMessage = "Subject: split\r\n\r\n..dot\r\nbody\r\n";
const std::string kServer = std::string(kGreeting) + "+OK\r\n+OK\r\n+OK 1 " +
                            std::to_string(kMessage.size()) + "\r\n+OK\r\n" + kMessage + ".\r\n+OK bye\r\n";
const std::string kClient = "USER me\r\nPASS pw\r\nSTAT\r\nRETR 1\r\nQUIT\r\n";

struct SessionRow {
    const char* name;
    std::function<void(FakeByteStream&)> script;
    friend void PrintTo(const SessionRow& row, std::ostream* os) { *os << row.name; }
};

class SessionOverFake : public ::testing::TestWithParam<SessionRow> {};

TEST_P(SessionOverFake, EndsTheSameWhateverTheStreamDoes) {
    FakeRig rig = OverFake(GetParam().script);
    Pop3Engine& engine = *rig.engine;
    ASSERT_EQ(engine.Connect("pop.test", 110, kByName), 1) << FailureText(engine.LastFailure());
    EXPECT_EQ(engine.LastReply(), kGreeting);
    ASSERT_EQ(engine.Authorize("me", "pw"), 1) << FailureText(engine.LastFailure());
    ASSERT_EQ(engine.Stat(), 1) << FailureText(engine.LastFailure());
    ASSERT_EQ(engine.Retr(1), 1) << FailureText(engine.LastFailure());
    EXPECT_EQ(engine.RetrievedText(), "Subject: split\r\n\r\n.dot\r\nbody\r\n.\r\n");
    ASSERT_EQ(engine.Quit(), 1) << FailureText(engine.LastFailure());
    EXPECT_EQ(rig.fake->Written(), kClient);
}

INSTANTIATE_TEST_SUITE_P(
    Pop3Engine, SessionOverFake,
    ::testing::Values(SessionRow{"Whole", [](FakeByteStream& f) { f.Deliver(kServer); }},
                      SessionRow{"ByteByByte", [](FakeByteStream& f) { f.DeliverBytewise(kServer); }},
                      SessionRow{"CutInsideLineEnds",
                                 [](FakeByteStream& f) {
                                     std::vector<std::size_t> cuts;
                                     for (std::size_t i = 0; i < kServer.size(); ++i) {
                                         if (kServer[i] == '\n') cuts.push_back(i);
                                     }
                                     f.Deliver(kServer, cuts);
                                 }},
                      SessionRow{"SilencesBelowTheTimeOut",
                                 [](FakeByteStream& f) {
                                     for (char c : kServer)
                                         f.Delay(Milliseconds(90)).Deliver(std::string(1, c));
                                 }},
                      SessionRow{"OneByteWrites",
                                 [](FakeByteStream& f) {
                                     f.Deliver(kServer, {7, 40}).LimitWrites(1);
                                 }}),
    [](const auto& info) { return info.param.name; });

struct FakeFailureRow {
    const char* name;
    std::function<void(FakeByteStream&)> script;  // after the greeting
    FailureKind kind;
    std::string text;
    std::string written;  // what the engine wrote in all
    friend void PrintTo(const FakeFailureRow& row, std::ostream* os) { *os << row.name; }
};

class FailuresOverFake : public ::testing::TestWithParam<FakeFailureRow> {};

TEST_P(FailuresOverFake, NameTheCommandAndTheCause) {
    const FakeFailureRow& row = GetParam();
    FakeRig rig = OverFake([&](FakeByteStream& f) {
        f.Deliver(kGreeting);
        row.script(f);
    });
    ASSERT_EQ(rig.engine->Connect("pop.test", 110, kByName), 1);
    EXPECT_EQ(rig.engine->Retr(1), 0);
    EXPECT_EQ(rig.engine->LastFailure().kind, row.kind);
    EXPECT_EQ(FailureText(rig.engine->LastFailure()), row.text);
    EXPECT_EQ(rig.fake->Written(), row.written);
    EXPECT_TRUE(rig.engine->RetrievedText().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Pop3Engine, FailuresOverFake,
    ::testing::Values(
        FakeFailureRow{"WriteRefused",
                       [](FakeByteStream& f) {
                           f.FailWritesAfter(3, {FailureKind::Closed, EPIPE});
                       },
                       FailureKind::Closed, "RETR 1: connection closed by the server (Broken pipe)", ""},
        FakeFailureRow{"NoRoomToWrite", [](FakeByteStream& f) { f.BlockWritesAfter(4); },
                       FailureKind::TimedOut, "RETR 1: timed out", "RETR"},
        FakeFailureRow{"ReadFailsInTheMessage",
                       [](FakeByteStream& f) {
                           f.Deliver("+OK\r\nSubject: x\r\n").FailRead({FailureKind::Io, EIO});
                       },
                       FailureKind::Io, "RETR 1: input/output error (Input/output error)", "RETR 1\r\n"},
        FakeFailureRow{"SilenceInTheMessage",
                       [](FakeByteStream& f) { f.Deliver("+OK\r\nSubject: x\r\n").Delay(Milliseconds(101)); },
                       FailureKind::TimedOut, "RETR 1: timed out", "RETR 1\r\n"},
        FakeFailureRow{"ResetInTheStatusLine",
                       [](FakeByteStream& f) {
                           f.Deliver("+O").FailRead({FailureKind::Closed, ECONNRESET});
                       },
                       FailureKind::Closed,
                       "RETR 1: connection closed by the server (Connection reset by peer)", "RETR 1\r\n"}),
    [](const auto& info) { return info.param.name; });

TEST(Pop3EngineFailure, CancelEndsAConnectFromAnotherThread) {
    FakeRig rig = OverFake([](FakeByteStream& f) { f.HangConnect(); });
    rig.engine->Socket().SetSendTimeout(60000);
    auto connect =
        std::async(std::launch::async, [&] { return rig.engine->Connect("pop.test", 110, kByName); });
    while (!rig.fake->Hanging()) std::this_thread::yield();
    rig.engine->Socket().Cancel();
    EXPECT_EQ(connect.get(), 0);
    EXPECT_EQ(FailureText(rig.engine->LastFailure()), "connect pop.test:110: cancelled");
}

}  // namespace
}  // namespace inlark
