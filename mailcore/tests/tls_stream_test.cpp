// The TLS stream against servers that do not speak TLS properly: silence, a close in the middle, plain
// text where the handshake should be. None of them may end in a session.
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
using testing::TlsTestClient;

constexpr auto kPatient = std::chrono::seconds(10);  // only a fault waits this long

TEST(TlsStream, UnusableArgumentsAreRefusedBeforeAnyByteIsSent) {
    struct Row {
        const char* name;
        std::string host;
        TlsSettings settings;
        const char* detail;
    };
    const Row rows[] = {
        {"no host", "", {}, "no host name"},
        {"missing trust file", "localhost", {"/nonexistent/ca.pem"}, "/nonexistent/ca.pem"},
        {"trust file without certificates", "localhost", {"/dev/null"}, "/dev/null"},
    };
    for (const Row& row : rows) {
        ScriptedServer server(Script().Silence());
        TlsTestClient client(kPatient);
        ASSERT_EQ(client.Connect("127.0.0.1", server.Port()), "");
        const Result<void> handshake = client.StartTls(row.host, row.settings);
        ASSERT_FALSE(handshake) << row.name;
        EXPECT_EQ(handshake.error().kind, FailureKind::BadArgument) << row.name;
        EXPECT_NE(handshake.error().detail.find(row.detail), std::string::npos)
            << row.name << ": " << FailureText(handshake.error());
        server.Stop(Milliseconds(0));
        EXPECT_EQ(server.Received(), "") << row.name;
    }
}

TEST(TlsStream, ReadAndWriteBeforeTheHandshakeFail) {
    ScriptedServer server(Script().Reply("+OK plain\r\n").Silence());
    TlsTestClient client(kPatient);
    ASSERT_EQ(client.Connect("127.0.0.1", server.Port()), "");
    TlsStream tls(client.Fd(), -1);
    char buffer[16];
    const Result<std::size_t> read = tls.Read(buffer, sizeof buffer);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, FailureKind::NotConnected);
    const Result<std::size_t> written = tls.Write("x", 1);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().kind, FailureKind::NotConnected);
    // Nothing was taken from the socket.
    std::string line;
    EXPECT_EQ(client.ReadPlainLine(&line), "");
    EXPECT_EQ(line, "+OK plain");
}

TEST(TlsStream, SilentServerTimesOutTheHandshake) {
    ScriptedServer server(Script().Silence());
    TlsTestClient client(Milliseconds(200));
    ASSERT_EQ(client.Connect("127.0.0.1", server.Port()), "");
    const Result<void> handshake = client.StartTls("localhost", {});
    ASSERT_FALSE(handshake);
    EXPECT_EQ(handshake.error().kind, FailureKind::TimedOut) << FailureText(handshake.error());
    EXPECT_FALSE(client.Tls()->IsEstablished());
}

TEST(TlsStream, CancelEndsAWaitingHandshake) {
    ScriptedServer server(Script().Silence());
    TlsTestClient client(std::chrono::minutes(5));
    ASSERT_EQ(client.Connect("127.0.0.1", server.Port()), "");
    // Whether it comes before the handshake waits or during the wait, the handshake ends Cancelled.
    std::thread canceller([&client] { client.Cancel(); });
    const Result<void> handshake = client.StartTls("localhost", {});
    canceller.join();
    ASSERT_FALSE(handshake);
    EXPECT_EQ(handshake.error().kind, FailureKind::Cancelled) << FailureText(handshake.error());
}

TEST(TlsStream, ServerThatHangsUpMidHandshakeFailsIt) {
    ScriptedServer server(Script().Delay(Milliseconds(50)).Drop());
    TlsTestClient client(kPatient);
    ASSERT_EQ(client.Connect("127.0.0.1", server.Port()), "");
    const Result<void> handshake = client.StartTls("localhost", {});
    ASSERT_FALSE(handshake);
    EXPECT_EQ(handshake.error().kind, FailureKind::TlsHandshake) << FailureText(handshake.error());
}

// An attacker in the path answers the upgrade command and appends plain text of its own: it must fail the
// handshake, never come back as if the server had sent it over TLS.
TEST(TlsStream, PlainTextPipelinedAfterTheUpgradeReplyFailsTheHandshake) {
    ScriptedServer server(Script()
                              .Reply("+OK ready\r\n")
                              .Expect("STLS\r\n")
                              .Reply("+OK Begin TLS negotiation\r\n+OK injected\r\n")
                              .Silence());
    TlsTestClient client(kPatient);
    ASSERT_EQ(client.Connect("127.0.0.1", server.Port()), "");
    std::string line;
    ASSERT_EQ(client.ReadPlainLine(&line), "");
    ASSERT_EQ(client.SendPlain("STLS\r\n"), "");
    ASSERT_EQ(client.ReadPlainLine(&line), "");
    ASSERT_EQ(line, "+OK Begin TLS negotiation");
    const Result<void> handshake = client.StartTls("localhost", {});
    ASSERT_FALSE(handshake);
    EXPECT_EQ(handshake.error().kind, FailureKind::TlsHandshake) << FailureText(handshake.error());
    EXPECT_NE(client.ReadLine(&line), "");
}

}  // namespace
}  // namespace mailcore
