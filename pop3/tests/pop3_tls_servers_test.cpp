// POP3S, STLS and AUTH PLAIN of the Pop3 control and the session against the real Dovecot, and the
// certificate checks that must refuse it (testing/servers/mail-servers; skipped when it is not running).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inlark/pop3.h"
#include "inlark/pop3_session.h"
#include "mailcore/base64_encode.h"
#include "mailcore/unicode_text.h"
#include "pop3/pop3_internals.h"
#include "pop3/tests/wakeable_host.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/real_servers_test.h"

namespace inlark {
namespace {

namespace ms = mirelo::mail_servers;

std::u16string Wide(const std::string& text) { return mailcore::Utf8ToUtf16(text); }
std::string Utf8(const std::u16string& text) { return mailcore::Utf16ToUtf8(text); }

// Stored with LF line ends; Dovecot serves CR LF. A line starting with a dot tests the unstuffing.
constexpr const char* kStored = "From: phone@mirelo.test\nSubject: over TLS\n\nfirst line\n.dot line\nlast\n";
constexpr const char* kServed =
    "From: phone@mirelo.test\r\nSubject: over TLS\r\n\r\nfirst line\r\n.dot line\r\nlast\r\n";

// A name the certificate does not hold, resolved to the server's address.
constexpr const char* kOtherName = "mail.example.org";

class Pop3TlsServers : public ms::RealServersTest {
  protected:
    void SetUp() override {
        RealServersTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_EQ(ms::DropMessage(mailbox().maildir, kStored), "");
    }

    struct Setting {
        std::int32_t security = 0;
        bool implicitPort = false;  // the POP3S port, else the plain one
        const char* host = "127.0.0.1";
        bool trusted = true;  // the test CA as trust file; else the system's store
    };

    void Prepare(Pop3& pop3, const Setting& setting) {
        Pop3Internals::SetTimeoutsMs(pop3, 10000, 10000);
        pop3.SetPort(setting.implicitPort ? env().pop3sPort : env().pop3Port);
        pop3.SetSecurity(setting.security);
        if (setting.trusted) pop3.SetTrustFile(Wide(env().caFile));
        auto resolver = mailcore::MailSocket::SystemResolver();
        const auto system = resolver.lookUp;
        const std::string address = env().host;
        resolver.lookUp = [system, address](const std::string& host) {
            return system(host == kOtherName ? address : host);
        };
        Pop3Internals::EnsureEngine(pop3).Socket().SetResolver(resolver);
    }

    std::int32_t Connect(Pop3& pop3, const Setting& setting) {
        Prepare(pop3, setting);
        std::int32_t result = -99;
        pop3.ConnectByName(Wide(setting.host), &result);
        return result;
    }
};

TEST_F(Pop3TlsServers, LogsInAndRetrievesTheMessageWhole) {
    struct Row {
        const char* name;
        Setting setting;
        std::int32_t authMethod;
    };
    const std::vector<Row> rows = {
        {"POP3S, USER/PASS", {2, true, "127.0.0.1"}, 0},
        {"POP3S, AUTH PLAIN", {2, true, "localhost"}, 1},
        {"STLS, USER/PASS", {1, false, "localhost"}, 0},
        {"STLS, AUTH PLAIN", {1, false, "127.0.0.1"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Pop3 pop3;
        ASSERT_EQ(Connect(pop3, row.setting), 1) << Utf8(pop3.LastErrorText());
        pop3.SetAuthMethod(row.authMethod);
        std::int32_t result = -99;
        pop3.Authorize(Wide(mailbox().user), Wide(mailbox().password), &result);
        ASSERT_EQ(result, 1) << Utf8(pop3.LastErrorText());
        pop3.RETR(1, &result);
        ASSERT_EQ(result, 1) << Utf8(pop3.LastErrorText());
        std::u16string message;
        pop3.GetMessage(&message);
        EXPECT_EQ(Utf8(message), std::string(kServed) + ".\r\n");
        pop3.QUIT(&result);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(pop3.LastError(), 0);
    }
}

TEST_F(Pop3TlsServers, WrongPasswordOverAuthPlainIsRefusedWithoutTellingIt) {
    Pop3 pop3;
    ASSERT_EQ(Connect(pop3, {2, true}), 1);
    pop3.SetAuthMethod(1);
    const std::string wrong = "not-" + mailbox().password;
    std::int32_t result = -99;
    pop3.Authorize(Wide(mailbox().user), Wide(wrong), &result);
    EXPECT_EQ(result, 0);
    const std::string error = Utf8(pop3.LastErrorText());
    EXPECT_NE(error.find("AUTH PLAIN"), std::string::npos) << error;
    EXPECT_NE(error.find("-ERR"), std::string::npos) << error;
    EXPECT_EQ(error.find(wrong), std::string::npos) << error;
    EXPECT_EQ(error.find(mailcore::Base64Encode(std::string(1, '\0') + mailbox().user + '\0' + wrong)),
              std::string::npos)
        << error;
}

TEST_F(Pop3TlsServers, CertificateAndHandshakeFailuresAreRefused) {
    struct Row {
        const char* name;
        Setting setting;
        std::int32_t lastError;
        const char* inError;
    };
    const std::vector<Row> rows = {
        {"POP3S, another host name", {2, true, kOtherName}, -11, "hostname mismatch"},
        {"STLS, another host name", {1, false, kOtherName}, -11, "hostname mismatch"},
        {"POP3S, CA not in the system's store", {2, true, "127.0.0.1", false}, -11, "local issuer"},
        {"STLS, CA not in the system's store", {1, false, "localhost", false}, -11, "local issuer"},
        {"POP3S spoken to the plain port", {2, false}, -10, "TLS handshake"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Pop3 pop3;
        EXPECT_EQ(Connect(pop3, row.setting), 0);
        EXPECT_EQ(pop3.LastError(), row.lastError);
        const std::string error = Utf8(pop3.LastErrorText());
        EXPECT_NE(error.find(row.inError), std::string::npos) << error;
        std::int32_t result = -99;
        pop3.STAT(&result);
        EXPECT_EQ(result, 0);
    }
}

TEST_F(Pop3TlsServers, AsynchronousStlsConnectAndRefusal) {
    struct Sink : Pop3Events {
        std::vector<std::int32_t> statuses;
        void EndOfCommand(std::int32_t status) override { statuses.push_back(status); }
    };
    struct Row {
        const char* name;
        bool trusted;
        std::int32_t status;
        std::int32_t lastError;
    };
    for (const Row& row : {Row{"trusted", true, 1, 0}, Row{"untrusted", false, 0, -11}}) {
        SCOPED_TRACE(row.name);
        Pop3 pop3;
        Sink sink;
        pop3.Advise(&sink);
        WakeableHost host(pop3);
        pop3.SetSync(0);
        ASSERT_EQ(Connect(pop3, {1, false, "localhost", row.trusted}), 1);
        host.AwaitEvent(std::chrono::seconds(20));
        EXPECT_EQ(sink.statuses, std::vector<std::int32_t>{row.status});
        EXPECT_EQ(pop3.LastError(), row.lastError);
    }
}

TEST_F(Pop3TlsServers, SessionRetrievesOverPop3sAndStls) {
    struct Row {
        const char* name;
        Pop3Security security;
        bool implicitPort;
        bool plain;
    };
    for (const Row& row : {Row{"POP3S", Pop3Security::kImplicit, true, false},
                           Row{"STLS, AUTH PLAIN", Pop3Security::kStls, false, true}}) {
        SCOPED_TRACE(row.name);
        Pop3Session session;
        Pop3ConnectOptions options;
        options.sendTimeout = options.receiveTimeout = std::chrono::milliseconds(10000);
        options.security = row.security;
        options.trustFile = env().caFile;
        auto greeting =
            session.Connect(env().host, row.implicitPort ? env().pop3sPort : env().pop3Port, options);
        ASSERT_TRUE(greeting) << mailcore::FailureText(greeting.error());
        auto login = row.plain ? session.LoginPlain(mailbox().user, mailbox().password)
                               : session.Login(mailbox().user, mailbox().password);
        ASSERT_TRUE(login) << mailcore::FailureText(login.error());
        auto text = session.Retrieve(1);
        ASSERT_TRUE(text) << mailcore::FailureText(text.error());
        EXPECT_EQ(*text, kServed);
        EXPECT_TRUE(session.Quit());
    }
    Pop3Session untrusted;
    Pop3ConnectOptions options;
    options.security = Pop3Security::kImplicit;
    auto refused = untrusted.Connect(env().host, env().pop3sPort, options);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, mailcore::FailureKind::CertificateVerify);
}

}  // namespace
}  // namespace inlark
