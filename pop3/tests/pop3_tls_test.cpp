// STLS and AUTH PLAIN of the Pop3 control and the session against the scripted loopback server: refusals,
// a server that fails the handshake, text pushed in before it, and the SASL exchange byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inlark/pop3.h"
#include "inlark/pop3_session.h"
#include "mailcore/unicode_text.h"
#include "pop3/pop3_internals.h"
#include "pop3/tests/wakeable_host.h"
#include "testing/scripted_server/scripted_server.h"

namespace inlark {
namespace {

using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;

constexpr const char* kGreeting = "+OK POP3 ready\r\n";
// base64("\0user\0pass")
constexpr const char* kPlainUserPass = "AHVzZXIAcGFzcw==";

std::string Utf8(const std::u16string& text) { return mailcore::Utf16ToUtf8(text); }

std::int32_t ConnectStls(Pop3& pop3, const ScriptedServer& server, std::int32_t recvMs = 3000) {
    Pop3Internals::SetTimeoutsMs(pop3, 3000, recvMs);
    pop3.SetPort(server.Port());
    pop3.SetSecurity(1);
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    return result;
}

std::string ErrorText(const Pop3& pop3) { return Utf8(pop3.LastErrorText()); }

TEST(Pop3Stls, FailedUpgradesCloseAndSendNothingInPlainText) {
    struct Row {
        const char* name;
        Script script;
        std::string inError;  // part of LastErrorText
    };
    const std::vector<Row> rows = {
        {"refused", Script().Reply(kGreeting).Expect("STLS\r\n").Reply("-ERR not now\r\n").Silence(),
         "-ERR not now"},
        {"closed after +OK", Script().Reply(kGreeting).Expect("STLS\r\n").Reply("+OK\r\n").Drop(),
         "TLS 127.0.0.1"},
        {"silent after +OK", Script().Reply(kGreeting).Expect("STLS\r\n").Reply("+OK\r\n").Silence(),
         "TLS 127.0.0.1"},
        // Pushed in behind the go-ahead: must not be read as a reply, and the handshake sees it as garbage.
        {"text after +OK",
         Script().Reply(kGreeting).Expect("STLS\r\n").Reply("+OK go\r\n+OK injected\r\n").Silence(),
         "TLS 127.0.0.1"},
        {"no reply to STLS", Script().Reply(kGreeting).Expect("STLS\r\n").Silence(), "STLS"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server(row.script);
        Pop3 pop3;
        EXPECT_EQ(ConnectStls(pop3, server, 400), 0);
        EXPECT_EQ(pop3.LastError(), -10);
        const std::string error = ErrorText(pop3);
        EXPECT_NE(error.find(row.inError), std::string::npos) << error;
        EXPECT_EQ(error.find("injected"), std::string::npos) << error;
        std::u16string message;
        pop3.GetMessage(&message);
        EXPECT_EQ(Utf8(message).find("injected"), std::string::npos);
        std::int32_t result = -99;
        pop3.STAT(&result);  // no connection is left to send it on
        EXPECT_EQ(result, 0);
        server.Stop(Milliseconds(200));
        const std::string received = server.Received();
        ASSERT_TRUE(received.starts_with("STLS\r\n")) << received;
        // After STLS only a TLS handshake record (0x16) may have gone out, never a command.
        const std::string after = received.substr(6);
        if (!after.empty()) {
            EXPECT_EQ(after[0], '\x16');
        }
        EXPECT_EQ(after.find("STAT"), std::string::npos);
        EXPECT_EQ(after.find("QUIT"), std::string::npos);
        EXPECT_TRUE(server.Failures().empty());
    }
}

TEST(Pop3ImplicitTls, ServersThatDoNotSpeakTlsFailTheConnect) {
    struct Row {
        const char* name;
        Script script;
    };
    const std::vector<Row> rows = {
        {"plain greeting", Script().Reply(kGreeting).Silence()},
        {"silent", Script().Silence()},  // bounded by the connect's time-out
        {"closes", Script().Drop()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server(row.script);
        Pop3 pop3;
        Pop3Internals::SetTimeoutsMs(pop3, 400, 400);
        pop3.SetPort(server.Port());
        pop3.SetSecurity(2);
        std::int32_t result = -99;
        pop3.ConnectByName(u"127.0.0.1", &result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(pop3.LastError(), -10);
        const std::string error = ErrorText(pop3);
        EXPECT_NE(error.find("TLS handshake"), std::string::npos) << error;
        std::u16string message = u"stale";
        pop3.GetMessage(&message);
        EXPECT_EQ(message, u"");  // the plain greeting is never read as one
        server.Stop(Milliseconds(100));
        const std::string received = server.Received();
        // At most a ClientHello (a server that closes at once may not read it), and no command.
        if (!received.empty()) {
            EXPECT_EQ(received[0], '\x16');
        }
        EXPECT_EQ(received.find("QUIT"), std::string::npos);
    }
}

TEST(Pop3Stls, NegativeGreetingSendsNoStls) {
    ScriptedServer server(Script().Reply("-ERR full\r\n").Silence());
    Pop3 pop3;
    EXPECT_EQ(ConnectStls(pop3, server), 0);
    EXPECT_EQ(pop3.LastError(), 0);  // no TLS step was tried
    server.Stop(Milliseconds(100));
    EXPECT_EQ(server.Received(), "");
}

TEST(Pop3Stls, AsynchronousConnectSetsLastErrorBeforeTheEvent) {
    struct Sink : Pop3Events {
        Pop3* pop3 = nullptr;
        std::vector<std::int32_t> statuses;
        std::vector<std::int32_t> errors;
        void EndOfCommand(std::int32_t status) override {
            statuses.push_back(status);
            errors.push_back(pop3->LastError());
        }
    };
    ScriptedServer server(Script().Reply(kGreeting).Expect("STLS\r\n").Reply("-ERR no\r\n").Silence());
    Pop3 pop3;
    Sink sink;
    sink.pop3 = &pop3;
    pop3.Advise(&sink);
    WakeableHost host(pop3);
    pop3.SetSync(0);
    ASSERT_EQ(ConnectStls(pop3, server), 1);  // started on the worker
    host.AwaitEvent();
    EXPECT_EQ(sink.statuses, std::vector<std::int32_t>{0});
    EXPECT_EQ(sink.errors, std::vector<std::int32_t>{-10});
    EXPECT_NE(ErrorText(pop3).find("-ERR no"), std::string::npos);
}

std::int32_t AuthorizePlain(Pop3& pop3, const std::u16string& user, const std::u16string& password) {
    pop3.SetAuthMethod(1);
    std::int32_t result = -99;
    pop3.Authorize(user, password, &result);
    return result;
}

TEST(Pop3AuthPlain, Exchanges) {
    struct Row {
        const char* name;
        Script script;
        std::int32_t result;
    };
    const std::string initial = std::string("AUTH PLAIN ") + kPlainUserPass + "\r\n";
    const std::vector<Row> rows = {
        {"initial response", Script().Reply(kGreeting).Expect(initial).Reply("+OK logged in\r\n"), 1},
        {"continuation",
         Script()
             .Reply(kGreeting)
             .Expect(initial)
             .Reply("+ \r\n")
             .Expect(std::string(kPlainUserPass) + "\r\n")
             .Reply("+OK logged in\r\n"),
         1},
        {"bare continuation",
         Script()
             .Reply(kGreeting)
             .Expect(initial)
             .Reply("+\r\n")
             .Expect(std::string(kPlainUserPass) + "\r\n")
             .Reply("+OK\r\n"),
         1},
        {"refused", Script().Reply(kGreeting).Expect(initial).Reply("-ERR [AUTH] Authentication failed.\r\n"),
         0},
        {"refused after continuation",
         Script().Reply(kGreeting).Expect(initial).Reply("+ \r\n").ExpectAnyLine().Reply(
             "-ERR [AUTH] no\r\n"),
         0},
        {"closed", Script().Reply(kGreeting).Expect(initial).Drop(), 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server(row.script);
        Pop3 pop3;
        Pop3Internals::SetTimeoutsMs(pop3, 3000, 3000);
        pop3.SetPort(server.Port());
        std::int32_t result = -99;
        pop3.ConnectByName(u"127.0.0.1", &result);
        ASSERT_EQ(result, 1);
        EXPECT_EQ(AuthorizePlain(pop3, u"user", u"pass"), row.result);
        const std::string error = ErrorText(pop3);
        EXPECT_EQ(error.find("pass"), std::string::npos) << error;
        EXPECT_EQ(error.find(kPlainUserPass), std::string::npos) << error;
        if (row.result == 0) {
            EXPECT_NE(error.find("AUTH PLAIN"), std::string::npos) << error;
        }
        server.Stop(Milliseconds(100));
        EXPECT_TRUE(server.Failures().empty());
    }
}

TEST(Pop3AuthPlain, ArgumentsAreCheckedBeforeAnythingIsSent) {
    struct Row {
        const char* name;
        std::u16string user;
        std::u16string password;
        std::int32_t method;
        std::int32_t result;
    };
    const std::u16string max(255, u'a');
    const std::u16string over(256, u'a');
    const std::vector<Row> rows = {
        {"empty user", u"", u"p", 1, -2},
        {"NUL in the password", u"u", std::u16string(u"p\0q", 3), 1, -2},
        {"NUL in the user", std::u16string(u"u\0v", 3), u"p", 1, -2},
        {"line break", u"u", u"p\r\nQUIT", 1, -2},
        {"user too long", over, u"p", 1, -3},
        {"password too long", u"u", over, 1, -4},
        // USER and PASS keep their own limit.
        {"USER/PASS password of 33 bytes", u"u", std::u16string(33, u'a'), 0, -4},
        {"longest allowed", max, max, 1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server(Script().Reply(kGreeting).ExpectAnyLine().Reply("-ERR no\r\n"));
        Pop3 pop3;
        Pop3Internals::SetTimeoutsMs(pop3, 3000, 3000);
        pop3.SetPort(server.Port());
        std::int32_t result = -99;
        pop3.ConnectByName(u"127.0.0.1", &result);
        ASSERT_EQ(result, 1);
        pop3.SetAuthMethod(row.method);
        pop3.Authorize(row.user, row.password, &result);
        EXPECT_EQ(result, row.result);
        server.Stop(Milliseconds(100));
        if (row.result < 0) {
            EXPECT_EQ(server.Received(), "");
        }
    }
}

TEST(Pop3SessionTls, StlsRefusalAndPlainLogin) {
    ScriptedServer server({Script().Reply(kGreeting).Expect("STLS\r\n").Reply("-ERR no TLS\r\n").Silence(),
                           Script()
                               .Reply(kGreeting)
                               .Expect(std::string("AUTH PLAIN ") + kPlainUserPass + "\r\n")
                               .Reply("-ERR [AUTH] bad\r\n")
                               .Expect(std::string("AUTH PLAIN ") + kPlainUserPass + "\r\n")
                               .Reply("+OK\r\n")});
    Pop3ConnectOptions options;
    options.sendTimeout = options.receiveTimeout = std::chrono::milliseconds(3000);
    options.security = Pop3Security::kStls;
    {
        Pop3Session session;
        auto greeting = session.Connect("127.0.0.1", server.Port(), options);
        ASSERT_FALSE(greeting);
        EXPECT_EQ(greeting.error().kind, mailcore::FailureKind::NegativeReply);
        EXPECT_EQ(greeting.error().reply, "-ERR no TLS");
        EXPECT_FALSE(session.IsConnected());
    }
    options.security = Pop3Security::kNone;
    Pop3Session session;
    ASSERT_TRUE(session.Connect("127.0.0.1", server.Port(), options));
    auto refused = session.LoginPlain("user", "pass");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, mailcore::FailureKind::NegativeReply);
    EXPECT_EQ(mailcore::FailureText(refused.error()).find(kPlainUserPass), std::string::npos);
    EXPECT_TRUE(session.LoginPlain("user", "pass"));
    auto tooLong = session.LoginPlain("user", std::string(256, 'p'));
    ASSERT_FALSE(tooLong);
    EXPECT_EQ(tooLong.error().kind, mailcore::FailureKind::BadArgument);
    options.security = static_cast<Pop3Security>(7);
    Pop3Session other;
    auto unknown = other.Connect("127.0.0.1", server.Port(), options);
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error().kind, mailcore::FailureKind::BadArgument);
    server.Stop(Milliseconds(100));
    EXPECT_TRUE(server.Failures().empty());
}

}  // namespace
}  // namespace inlark
