// The TLS stream against servers that do not speak TLS properly: silence, a close in the middle, plain
// text where the handshake should be. None of them may end in a session, and none in plain text going out
// where TLS was asked for.
#include "mailcore/tls_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "mailcore/tests/tls_test_client.h"
#include "testing/scripted_server/scripted_server.h"

namespace mailcore {
namespace {

using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;
using testing::StatusText;
using testing::TlsTestClient;

TEST(TlsStream, UnusableArgumentsAreRefusedBeforeAnyByteIsSent) {
    struct Row {
        const char* name;
        std::string host;
        std::string trustFile;
        const char* detail;
    };
    const Row rows[] = {
        {"no host", "", "", "no host name"},
        {"missing trust file", "localhost", "/nonexistent/ca.pem", "/nonexistent/ca.pem"},
        {"trust file without certificates", "localhost", "/dev/null", "/dev/null"},
    };
    for (const Row& row : rows) {
        ScriptedServer server(Script().Silence());
        TlsTestClient client({.trustFile = row.trustFile});
        ASSERT_TRUE(client.Connect("127.0.0.1", server.Port())) << row.name;
        const StreamStatus status = client.StartTls(row.host);
        EXPECT_EQ(status.kind, FailureKind::BadArgument) << row.name << ": " << StatusText(status);
        EXPECT_NE(client.TlsFailure().detail.find(row.detail), std::string::npos)
            << row.name << ": " << FailureText(client.TlsFailure());
        EXPECT_FALSE(client.Stream().IsConnected()) << row.name;
        EXPECT_NE(client.Send("QUIT\r\n"), "") << row.name << ": plain text after a failed upgrade";
        server.Stop(Milliseconds(0));
        EXPECT_EQ(server.Received(), "") << row.name;
    }
}

TEST(TlsStream, BeforeTheUpgradeBytesPassThroughUnchanged) {
    ScriptedServer server(Script().Reply("+OK plain\r\n").Expect("CAPA\r\n").Reply("+OK\r\n"));
    TlsTestClient client({});
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port()));
    std::string line;
    ASSERT_EQ(client.ReadPlainLine(&line), "");
    EXPECT_EQ(line, "+OK plain");
    EXPECT_EQ(client.Ask("CAPA"), "+OK");
    EXPECT_FALSE(client.Stream().IsEncrypted());
    EXPECT_TRUE(server.Failures().empty());
}

TEST(TlsStream, SilentServerTimesOutTheHandshake) {
    for (const bool implicit : {false, true}) {
        ScriptedServer server(Script().Silence());
        TlsTestClient client({.implicit = implicit, .handshakeTimeoutMs = 200}, Milliseconds(200));
        StreamStatus status = client.Connect("localhost", server.Port());
        if (!implicit) {
            ASSERT_TRUE(status) << StatusText(status);
            status = client.StartTls("localhost");
        }
        EXPECT_EQ(status.kind, FailureKind::TimedOut)
            << "implicit " << implicit << ": " << StatusText(status);
        EXPECT_FALSE(client.Stream().IsEncrypted());
    }
}

TEST(TlsStream, CancelEndsAWaitingHandshake) {
    ScriptedServer server(Script().Silence());
    TlsTestClient client({.handshakeTimeoutMs = 300000});
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port()));
    // Whether it comes before the handshake waits or during the wait, the handshake ends Cancelled.
    std::thread canceller([&client] { client.Stream().Cancel(); });
    const StreamStatus status = client.StartTls("localhost");
    canceller.join();
    EXPECT_EQ(status.kind, FailureKind::Cancelled) << StatusText(status);
}

TEST(TlsStream, ServerThatHangsUpMidHandshakeFailsIt) {
    ScriptedServer server(Script().Delay(Milliseconds(50)).Drop());
    TlsTestClient client({.implicit = true});
    const StreamStatus status = client.Connect("localhost", server.Port());
    EXPECT_EQ(status.kind, FailureKind::TlsHandshake) << StatusText(status);
}

// An attacker in the path answers the upgrade command and appends plain text of its own: it must fail the
// handshake, never come back as if the server had sent it over TLS, and nothing may follow in plain text.
TEST(TlsStream, PlainTextPipelinedAfterTheUpgradeReplyFailsTheHandshake) {
    ScriptedServer server(Script()
                              .Reply("+OK ready\r\n")
                              .Expect("STLS\r\n")
                              .Reply("+OK Begin TLS negotiation\r\n+OK injected\r\n")
                              .Silence());
    TlsTestClient client({});
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port()));
    std::string line;
    ASSERT_EQ(client.ReadPlainLine(&line), "");
    ASSERT_EQ(client.Send("STLS\r\n"), "");
    ASSERT_EQ(client.ReadPlainLine(&line), "");
    ASSERT_EQ(line, "+OK Begin TLS negotiation");
    const StreamStatus status = client.StartTls("localhost");
    EXPECT_EQ(status.kind, FailureKind::TlsHandshake) << StatusText(status);
    EXPECT_FALSE(client.Stream().IsConnected());
    EXPECT_NE(client.ReadLine(&line), "") << line;
    EXPECT_NE(client.Send("PASS secret\r\n"), "");
    server.Stop();
    EXPECT_EQ(server.Received().find("PASS"), std::string::npos);
}

}  // namespace
}  // namespace mailcore
