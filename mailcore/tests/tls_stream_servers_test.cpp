// The TLS stream against the real Dovecot and Postfix: implicit TLS, upgrades on a plain connection, and
// the certificate checks that must refuse a connection.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "mailcore/base64_encode.h"
#include "mailcore/tests/tls_test_client.h"
#include "mailcore/tls_stream.h"
#include "testing/mail_servers_env/real_servers_test.h"

namespace mailcore {
namespace {

using testing::TlsTestClient;

class TlsStreamServers : public mirelo::mail_servers::RealServersTest {
  protected:
    [[nodiscard]] TlsSettings Trusted() const { return {env().caFile}; }

    // The whole SMTP reply; its last line, or the error.
    static std::string SmtpReply(TlsTestClient& client, bool tls, std::string* all = nullptr) {
        std::string line;
        for (;;) {
            if (std::string error = tls ? client.ReadLine(&line) : client.ReadPlainLine(&line);
                !error.empty()) {
                return error;
            }
            if (all != nullptr) *all += line + "\n";
            if (line.size() < 4 || line[3] != '-') return line;
        }
    }
};

TEST_F(TlsStreamServers, Pop3sGreetsLogsInAndCounts) {
    TlsTestClient client;
    ASSERT_EQ(client.Connect(env().host, env().pop3sPort), "");
    const Result<void> handshake = client.StartTls(env().host, Trusted());
    ASSERT_TRUE(handshake) << FailureText(handshake.error());
    EXPECT_TRUE(client.Tls()->Protocol().starts_with("TLSv1.")) << client.Tls()->Protocol();
    std::string greeting;
    ASSERT_EQ(client.ReadLine(&greeting), "");
    EXPECT_TRUE(greeting.starts_with("+OK")) << greeting;
    EXPECT_TRUE(client.Ask("USER " + mailbox().user).starts_with("+OK"));
    EXPECT_TRUE(client.Ask("PASS " + mailbox().password).starts_with("+OK"));
    EXPECT_EQ(client.Ask("STAT"), "+OK 0 0");
    EXPECT_TRUE(client.Ask("QUIT").starts_with("+OK"));
}

TEST_F(TlsStreamServers, Pop3StlsUpgradesThePlainConnection) {
    TlsTestClient client;
    ASSERT_EQ(client.Connect(env().host, env().pop3Port), "");
    std::string line;
    ASSERT_EQ(client.ReadPlainLine(&line), "");
    ASSERT_TRUE(line.starts_with("+OK")) << line;
    ASSERT_EQ(client.SendPlain("STLS\r\n"), "");
    ASSERT_EQ(client.ReadPlainLine(&line), "");
    ASSERT_TRUE(line.starts_with("+OK")) << line;
    const Result<void> handshake = client.StartTls("localhost", Trusted());
    ASSERT_TRUE(handshake) << FailureText(handshake.error());
    EXPECT_TRUE(client.Ask("USER " + mailbox().user).starts_with("+OK"));
    EXPECT_TRUE(client.Ask("PASS " + mailbox().password).starts_with("+OK"));
    EXPECT_EQ(client.Ask("STAT"), "+OK 0 0");
}

TEST_F(TlsStreamServers, SmtpStarttlsThenAuthOnTheSubmissionPort) {
    TlsTestClient client;
    ASSERT_EQ(client.Connect(env().host, env().submissionPort), "");
    EXPECT_TRUE(SmtpReply(client, false).starts_with("220"));
    ASSERT_EQ(client.SendPlain("EHLO mirelo.test\r\n"), "");
    std::string capabilities;
    ASSERT_TRUE(SmtpReply(client, false, &capabilities).starts_with("250"));
    ASSERT_NE(capabilities.find("STARTTLS"), std::string::npos) << capabilities;
    ASSERT_EQ(client.SendPlain("STARTTLS\r\n"), "");
    ASSERT_TRUE(SmtpReply(client, false).starts_with("220"));
    const Result<void> handshake = client.StartTls(env().host, Trusted());
    ASSERT_TRUE(handshake) << FailureText(handshake.error());

    ASSERT_EQ(client.Send("EHLO mirelo.test\r\n"), "");
    capabilities.clear();
    ASSERT_TRUE(SmtpReply(client, true, &capabilities).starts_with("250"));
    EXPECT_EQ(capabilities.find("STARTTLS"), std::string::npos) << capabilities;
    // AUTH PLAIN: base64 of "\0user\0password".
    const std::string plain = std::string(1, '\0') + mailbox().user + '\0' + mailbox().password;
    const std::string encoded = Base64Encode(plain);
    ASSERT_EQ(client.Send("AUTH PLAIN " + encoded + "\r\n"), "");
    EXPECT_TRUE(SmtpReply(client, true).starts_with("235"));
    ASSERT_EQ(client.Send("QUIT\r\n"), "");
    EXPECT_TRUE(SmtpReply(client, true).starts_with("221"));
}

TEST_F(TlsStreamServers, SmtpsHandshakeWithTheServersOwnCertificateAsTrust) {
    const std::string own = (std::filesystem::path(env().caFile).parent_path() / "server.pem").string();
    TlsTestClient client;
    ASSERT_EQ(client.Connect(env().host, env().smtpsPort), "");
    const Result<void> handshake = client.StartTls(env().host, {own});
    ASSERT_TRUE(handshake) << FailureText(handshake.error());
    EXPECT_TRUE(SmtpReply(client, true).starts_with("220"));
}

TEST_F(TlsStreamServers, CertificateChecksRefuse) {
    struct Row {
        const char* name;
        std::string host;
        TlsSettings settings;
        const char* why;
    };
    const Row rows[] = {
        {"another host name", "mail.example.org", Trusted(), "hostname mismatch"},
        {"another address", "127.0.0.2", Trusted(), "IP address mismatch"},
        {"a CA the system does not know", env().host, {}, "unable to get local issuer certificate"},
    };
    for (const Row& row : rows) {
        TlsTestClient client;
        ASSERT_EQ(client.Connect(env().host, env().pop3sPort), "") << row.name;
        const Result<void> handshake = client.StartTls(row.host, row.settings);
        ASSERT_FALSE(handshake) << row.name;
        EXPECT_EQ(handshake.error().kind, FailureKind::CertificateVerify) << row.name;
        EXPECT_NE(handshake.error().detail.find(row.why), std::string::npos)
            << row.name << ": " << FailureText(handshake.error());
        std::string line;
        EXPECT_NE(client.ReadLine(&line), "") << row.name << ": read after a refused handshake";
    }
}

TEST_F(TlsStreamServers, TlsSpokenToAPlainPortFails) {
    TlsTestClient client;
    ASSERT_EQ(client.Connect(env().host, env().pop3Port), "");
    const Result<void> handshake = client.StartTls(env().host, Trusted());
    ASSERT_FALSE(handshake);
    EXPECT_EQ(handshake.error().kind, FailureKind::TlsHandshake) << FailureText(handshake.error());
}

}  // namespace
}  // namespace mailcore
