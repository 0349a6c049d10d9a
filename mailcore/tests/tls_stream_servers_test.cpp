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

using testing::StatusText;
using testing::TlsTestClient;

class TlsStreamServers : public mirelo::mail_servers::RealServersTest {
  protected:
    [[nodiscard]] TlsSettings Trusted(bool implicit) const {
        return {.trustFile = env().caFile, .implicit = implicit};
    }

    // The whole SMTP reply; its last line, or the error.
    static std::string SmtpReply(TlsTestClient& client, std::string* all = nullptr) {
        std::string line;
        for (;;) {
            if (std::string error = client.ReadLine(&line); !error.empty()) return error;
            if (all != nullptr) *all += line + "\n";
            if (line.size() < 4 || line[3] != '-') return line;
        }
    }
};

TEST_F(TlsStreamServers, Pop3sGreetsLogsInAndCounts) {
    TlsTestClient client(Trusted(true));
    const StreamStatus status = client.Connect(env().host, env().pop3sPort);
    ASSERT_TRUE(status) << StatusText(status) << ": " << client.TlsFailure().detail;
    EXPECT_TRUE(client.Stream().Protocol().starts_with("TLSv1.")) << client.Stream().Protocol();
    std::string greeting;
    ASSERT_EQ(client.ReadLine(&greeting), "");
    EXPECT_TRUE(greeting.starts_with("+OK")) << greeting;
    EXPECT_TRUE(client.Ask("USER " + mailbox().user).starts_with("+OK"));
    EXPECT_TRUE(client.Ask("PASS " + mailbox().password).starts_with("+OK"));
    EXPECT_EQ(client.Ask("STAT"), "+OK 0 0");
    EXPECT_TRUE(client.Ask("QUIT").starts_with("+OK"));
}

TEST_F(TlsStreamServers, Pop3StlsUpgradesThePlainConnection) {
    TlsTestClient client(Trusted(false));
    ASSERT_TRUE(client.Connect("localhost", env().pop3Port));
    std::string line;
    ASSERT_EQ(client.ReadPlainLine(&line), "");
    ASSERT_TRUE(line.starts_with("+OK")) << line;
    ASSERT_EQ(client.Send("STLS\r\n"), "");
    ASSERT_EQ(client.ReadPlainLine(&line), "");
    ASSERT_TRUE(line.starts_with("+OK")) << line;
    const StreamStatus status = client.StartTls("localhost");
    ASSERT_TRUE(status) << StatusText(status) << ": " << client.TlsFailure().detail;
    EXPECT_TRUE(client.Ask("USER " + mailbox().user).starts_with("+OK"));
    EXPECT_TRUE(client.Ask("PASS " + mailbox().password).starts_with("+OK"));
    EXPECT_EQ(client.Ask("STAT"), "+OK 0 0");
}

TEST_F(TlsStreamServers, SmtpStarttlsThenAuthOnTheSubmissionPort) {
    TlsTestClient client(Trusted(false));
    ASSERT_TRUE(client.Connect(env().host, env().submissionPort));
    EXPECT_TRUE(SmtpReply(client).starts_with("220"));
    ASSERT_EQ(client.Send("EHLO mirelo.test\r\n"), "");
    std::string capabilities;
    ASSERT_TRUE(SmtpReply(client, &capabilities).starts_with("250"));
    ASSERT_NE(capabilities.find("STARTTLS"), std::string::npos) << capabilities;
    ASSERT_EQ(client.Send("STARTTLS\r\n"), "");
    ASSERT_TRUE(SmtpReply(client).starts_with("220"));
    const StreamStatus status = client.StartTls(env().host);
    ASSERT_TRUE(status) << StatusText(status) << ": " << client.TlsFailure().detail;

    ASSERT_EQ(client.Send("EHLO mirelo.test\r\n"), "");
    capabilities.clear();
    ASSERT_TRUE(SmtpReply(client, &capabilities).starts_with("250"));
    EXPECT_EQ(capabilities.find("STARTTLS"), std::string::npos) << capabilities;
    const std::string plain = std::string(1, '\0') + mailbox().user + '\0' + mailbox().password;
    ASSERT_EQ(client.Send("AUTH PLAIN " + Base64Encode(plain) + "\r\n"), "");
    EXPECT_TRUE(SmtpReply(client).starts_with("235"));
    ASSERT_EQ(client.Send("QUIT\r\n"), "");
    EXPECT_TRUE(SmtpReply(client).starts_with("221"));
}

TEST_F(TlsStreamServers, SmtpsWithTheServersOwnCertificateAsTrust) {
    const std::string own = (std::filesystem::path(env().caFile).parent_path() / "server.pem").string();
    TlsTestClient client({.trustFile = own, .implicit = true});
    const StreamStatus status = client.Connect(env().host, env().smtpsPort);
    ASSERT_TRUE(status) << StatusText(status) << ": " << client.TlsFailure().detail;
    EXPECT_TRUE(SmtpReply(client).starts_with("220"));
}

TEST_F(TlsStreamServers, CertificateChecksRefuse) {
    struct Row {
        const char* name;
        std::string host;
        std::string trustFile;
        const char* why;
    };
    const Row rows[] = {
        {"another host name", "mail.example.org", env().caFile, "hostname mismatch"},
        {"another address", "127.0.0.2", env().caFile, "IP address mismatch"},
        {"a CA the system does not know", env().host, "", "unable to get local issuer certificate"},
    };
    for (const Row& row : rows) {
        TlsTestClient client({.trustFile = row.trustFile, .implicit = true});
        const StreamStatus status = client.Connect(row.host, env().pop3sPort);
        EXPECT_EQ(status.kind, FailureKind::CertificateVerify) << row.name << ": " << StatusText(status);
        EXPECT_NE(client.TlsFailure().detail.find(row.why), std::string::npos)
            << row.name << ": " << FailureText(client.TlsFailure());
        std::string line;
        EXPECT_NE(client.ReadLine(&line), "") << row.name << ": read after a refused handshake";
    }
}

TEST_F(TlsStreamServers, TlsSpokenToAPlainPortFails) {
    TlsTestClient client(Trusted(true));
    const StreamStatus status = client.Connect(env().host, env().pop3Port);
    EXPECT_EQ(status.kind, FailureKind::TlsHandshake) << StatusText(status);
}

}  // namespace
}  // namespace mailcore
