// STARTTLS and AUTH of the one-shot send against the scripted loopback server (exact bytes, every refusal)
// and against a loopback TLS server that someone in the path feeds plain text after the go-ahead.
#include "smtp/smtp_secure.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "mailcore/tests/tls_test_server.h"
#include "mailcore/wide_text.h"
#include "outlark/smtp.h"
#include "outlark/smtp_client.h"
#include "testing/scripted_server/scripted_server.h"

namespace outlark {
namespace {

namespace fs = std::filesystem;
using scripted::Script;
using scripted::ScriptedServer;
using testing::HasSubstr;
using testing::Not;

// base64 of "\0user\0secret", "user" and "secret".
constexpr char kPlainLine[] = "AUTH PLAIN AHVzZXIAc2VjcmV0\r\n";
constexpr char kUser64[] = "dXNlcg==";
constexpr char kSecret64[] = "c2VjcmV0";

// The server's side after a successful log-in (or none): MAIL to QUIT of a one-shot send.
Script& Accept(Script& s) {
    s.Expect("MAIL FROM:<f@x>\r\n").Reply("250 ok\r\n").Expect("RCPT TO:<t@x>\r\n").Reply("250 ok\r\n");
    s.Expect("DATA\r\n").Reply("354 go\r\n").ExpectThrough(".\r\n").Reply("250 queued\r\n");
    return s.Expect("QUIT\r\n").Reply("221 bye\r\n");
}

Script Greeted(const std::string& ehlo_reply) {
    Script s;
    s.Reply("220 ready\r\n").Expect("EHLO Outlark\r\n").Reply(ehlo_reply);
    return s;
}

struct Row {
    const char* name;
    std::int32_t security;
    bool log_in;
    Script script;
    std::int32_t status;
    std::int32_t last_error;
    // What the server received, whole.
    const char* received;
    const char* cause;  // in LastErrorText after a failure
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::vector<Row> Rows() {
    const std::string greeting = "EHLO Outlark\r\n";
    std::vector<Row> rows;
    {
        Script s = Greeted("250-mx\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n");
        s.Expect(kPlainLine).Reply("235 2.7.0 ok\r\n");
        rows.push_back({"PlainPreferred", 0, true, Accept(s), 1, 0, nullptr, ""});
    }
    {
        Script s = Greeted("250-mx\r\n250 AUTH LOGIN CRAM-MD5\r\n");
        s.Expect("AUTH LOGIN\r\n").Reply("334 VXNlcm5hbWU6\r\n").Expect(std::string(kUser64) + "\r\n");
        s.Reply("334 UGFzc3dvcmQ6\r\n").Expect(std::string(kSecret64) + "\r\n").Reply("235 ok\r\n");
        rows.push_back({"LoginWhenPlainIsMissing", 0, true, Accept(s), 1, 0, nullptr, ""});
    }
    {
        Script s = Greeted("250-mx\r\n250 auth=login\r\n");
        s.Expect("AUTH LOGIN\r\n")
            .Reply("334 VXNlcm5hbWU6\r\n")
            .ExpectAnyLine()
            .Reply("334 UGFzc3dvcmQ6\r\n");
        s.ExpectAnyLine().Reply("235 ok\r\n");
        rows.push_back({"OldStyleOfferInLowerCase", 0, true, Accept(s), 1, 0, nullptr, ""});
    }
    {
        Script s = Greeted("250-mx\r\n250 AUTH PLAIN\r\n");
        s.Expect(kPlainLine).Reply("535 5.7.8 Authentication credentials invalid\r\n").ExpectAnyLine();
        rows.push_back({"PlainRefused", 0, true, s, -7, -12,
                        "EHLO Outlark\r\nAUTH PLAIN AHVzZXIAc2VjcmV0\r\n",
                        "AUTH PLAIN: negative reply: 535 5.7.8 Authentication credentials invalid"});
    }
    {
        Script s = Greeted("250-mx\r\n250 AUTH LOGIN\r\n");
        s.Expect("AUTH LOGIN\r\n").Reply("334 VXNlcm5hbWU6\r\n").ExpectAnyLine().Reply("535 no\r\n");
        s.ExpectAnyLine();
        rows.push_back({"LoginRefusedAtTheUser", 0, true, s, -7, -12,
                        "EHLO Outlark\r\nAUTH LOGIN\r\ndXNlcg==\r\n", "AUTH LOGIN: negative reply: 535 no"});
    }
    {
        Script s = Greeted("250-mx\r\n250 AUTH CRAM-MD5\r\n");
        s.ExpectAnyLine();
        rows.push_back({"NoUsableMechanism", 0, true, s, -7, -12, "EHLO Outlark\r\n",
                        "AUTH (neither PLAIN nor LOGIN offered): negative reply: AUTH CRAM-MD5"});
    }
    {
        Script s = Greeted("250 mx\r\n");
        s.ExpectAnyLine();
        rows.push_back({"NoAuthOffered", 0, true, s, -7, -12, "EHLO Outlark\r\n", "neither PLAIN nor LOGIN"});
    }
    {
        Script s = Greeted("502 no EHLO here\r\n");
        s.ExpectAnyLine();
        rows.push_back({"EhloRefused", 0, true, s, -2, 0, "EHLO Outlark\r\n", "EHLO: negative reply: 502"});
    }
    {
        // A server (or someone in the path) that hides STARTTLS: nothing but the EHLO goes out.
        Script s = Greeted("250-mx\r\n250 AUTH PLAIN\r\n");
        s.ExpectAnyLine();
        rows.push_back({"StartTlsNotOffered", 1, true, s, -8, -10, "EHLO Outlark\r\n",
                        "STARTTLS (not offered by the server)"});
    }
    {
        Script s = Greeted("250-mx\r\n250 STARTTLS\r\n");
        s.Expect("STARTTLS\r\n").Reply("454 4.7.0 TLS not available\r\n").ExpectAnyLine();
        rows.push_back({"StartTlsRefused", 1, false, s, -8, -10, "EHLO Outlark\r\nSTARTTLS\r\n",
                        "STARTTLS: negative reply: 454 4.7.0 TLS not available"});
    }
    {
        Script s = Greeted("250-mx\r\n250-STARTTLS\r\n250 AUTH PLAIN\r\n");
        s.Expect("STARTTLS\r\n").Reply("220 go ahead\r\n").Drop();
        rows.push_back({"StopsMidHandshake", 1, true, s, -8, -10, nullptr, "TLS 127.0.0.1"});
    }
    {
        // The go-ahead with a forged reply behind it; the server then never speaks TLS.
        Script s = Greeted("250-mx\r\n250 STARTTLS\r\n");
        s.Expect("STARTTLS\r\n").Reply("220 go ahead\r\n250 forged\r\n").ExpectAnyLine().Drop();
        rows.push_back(
            {"PlainTextAfterTheGoAheadIsNotAReply", 1, false, s, -8, -10, nullptr, "TLS 127.0.0.1"});
    }
    {
        Script s;
        s.Drop();
        rows.push_back({"ImplicitTlsServerCloses", 2, true, s, -8, -10, nullptr, "TLS handshake"});
    }
    {
        // A plain server where TLS from the first byte was asked for: its greeting is no handshake.
        Script s;
        s.Reply("220 ready\r\n").ExpectAnyLine().Drop();
        rows.push_back({"ImplicitTlsMeetsPlainText", 2, false, s, -8, -10, nullptr, "TLS handshake"});
    }
    return rows;
}

class SmtpSecureSend : public testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/outlark-secure-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_P(SmtpSecureSend, OneShot) {
    const Row& row = GetParam();
    ScriptedServer server(row.script);
    Smtp smtp;
    const fs::path log = dir_ / "Outlark.log";
    smtp.SetLogFilename(log.u16string());
    smtp.SetPort(server.Port());
    smtp.SetSendTimeout(5);
    smtp.SetRecvTimeout(5);
    smtp.SetSecurity(row.security);
    if (row.log_in) {
        smtp.SetSmtpUser(u"user");
        smtp.SetSmtpPassword(u"secret");
    }
    std::int32_t status = 0;
    smtp.SendMail(u"127.0.0.1", u"t@x", u"f@x", u"Hi", u"body", u"", &status);
    const std::string text = mailcore::WideToCp932(smtp.LastErrorText());
    EXPECT_EQ(status, row.status) << text;
    EXPECT_EQ(smtp.LastError(), row.last_error);
    server.Stop();
    const std::string received = server.Received();
    if (row.received != nullptr) {
        EXPECT_EQ(received, row.received);
    }
    // Whatever went wrong, no mail left in plain text.
    if (row.status != 1) {
        EXPECT_THAT(received, Not(HasSubstr("MAIL FROM")));
    }
    if (row.status == 1) {
        EXPECT_THAT(server.Failures(), testing::IsEmpty());
        EXPECT_EQ(text, "");
    } else {
        EXPECT_THAT(text, HasSubstr(row.cause));
        EXPECT_THAT(text, Not(HasSubstr("secret")));
        EXPECT_THAT(text, Not(HasSubstr(kSecret64)));
        EXPECT_THAT(text, Not(HasSubstr("AHVzZXIAc2VjcmV0")));
        EXPECT_THAT(text, Not(HasSubstr("forged")));
    }
    // The send log records these failures as any other (a success by a word, not its number).
    std::ifstream in(log, std::ios::binary);
    const std::string record(std::istreambuf_iterator<char>(in), {});
    if (row.status != 1) {
        EXPECT_THAT(record, HasSubstr("Status:\r\n  " + std::to_string(row.status) + " ("));
    }
    EXPECT_THAT(record, Not(HasSubstr("secret")));
}

INSTANTIATE_TEST_SUITE_P(Rows, SmtpSecureSend, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

// With Security 1, the step-by-step EHLO performs STARTTLS; until it did, MAIL is refused unsent.
TEST(SmtpSecureSteps, MailBeforeTheUpgradeIsRefusedAndEhloFailsOnAMissingOffer) {
    Script s;
    s.Reply("220 ready\r\n").Expect("EHLO a\r\n").Reply("250 mx\r\n").ExpectAnyLine();
    ScriptedServer server(s);
    Smtp smtp;
    smtp.SetPort(server.Port());
    smtp.SetSendTimeout(5);
    smtp.SetRecvTimeout(5);
    smtp.SetSecurity(1);
    std::int32_t r = 0;
    smtp.ConnectByName(u"127.0.0.1", &r);
    ASSERT_EQ(r, 1);
    smtp.MAIL(u"f@x", &r);
    EXPECT_EQ(r, 0);
    EXPECT_THAT(mailcore::WideToCp932(smtp.LastErrorText()),
                HasSubstr("MAIL FROM (not before EHLO has started TLS)"));
    smtp.EHLO(u"a", &r);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(smtp.LastError(), -10);
    smtp.Destroy(&r);
    server.Stop();
    EXPECT_EQ(server.Received(), "EHLO a\r\n");
}

// The lossless session upgrades only when told; a refused STARTTLS leaves MAIL refused unsent.
TEST(SmtpSecureSteps, SessionStartTlsRefusedKeepsTheMailBack) {
    Script s;
    s.Reply("220 ready\r\n").Expect("EHLO a\r\n").Reply("250-mx\r\n250 STARTTLS\r\n");
    s.Expect("STARTTLS\r\n").Reply("454 4.7.0 not now\r\n").ExpectAnyLine();
    ScriptedServer server(s);
    SmtpSession session;
    SmtpServer where;
    where.host = "127.0.0.1";
    where.port = server.Port();
    where.security = SmtpSecurity::kStartTls;
    ASSERT_TRUE(session.Connect(where));
    auto ehlo = session.Ehlo("a");
    ASSERT_TRUE(ehlo);
    EXPECT_EQ(ehlo->lines, (std::vector<std::string>{"mx", "STARTTLS"}));
    auto tls = session.StartTls();
    ASSERT_FALSE(tls);
    EXPECT_EQ(mailcore::FailureText(tls.error()), "STARTTLS: negative reply: 454 4.7.0 not now");
    auto mail = session.MailFrom("f@x");
    ASSERT_FALSE(mail);
    EXPECT_EQ(mailcore::FailureText(mail.error()), "MAIL FROM (not before STARTTLS): TLS handshake failed");
    session.Close();
    server.Stop();
    EXPECT_EQ(server.Received(), "EHLO a\r\nSTARTTLS\r\n");
}

// The lossless session's steps refuse the same way and name the mechanism they tried.
TEST(SmtpSecureSteps, SessionAuthWithoutAnOfferIsRefusedUnsent) {
    Script s;
    s.Reply("220 ready\r\n").Expect("EHLO a\r\n").Reply("250-mx\r\n250 SIZE 10\r\n").ExpectAnyLine();
    ScriptedServer server(s);
    SmtpSession session;
    SmtpServer where;
    where.host = "127.0.0.1";
    where.port = server.Port();
    ASSERT_TRUE(session.Connect(where));
    ASSERT_TRUE(session.Ehlo("a"));
    auto auth = session.Auth("user", "secret");
    ASSERT_FALSE(auth);
    EXPECT_EQ(auth.error().kind, mailcore::FailureKind::NegativeReply);
    session.Close();
    server.Stop();
    EXPECT_EQ(server.Received(), "EHLO a\r\n");
}

// A line from the TLS session, or empty once it ended.
std::string ReadTlsLine(SSL* ssl) {
    std::string line;
    char ch = 0;
    std::size_t got = 0;
    while (line.empty() || line.back() != '\n') {
        if (SSL_read_ex(ssl, &ch, 1, &got) != 1) return {};
        line.push_back(ch);
    }
    return line;
}

void WriteTls(SSL* ssl, const std::string& text) {
    std::size_t sent = 0;
    SSL_write_ex(ssl, text.data(), text.size(), &sent);
}

// Plain text of the server's side, line by line.
std::string ReadPlainLine(int fd) {
    std::string line;
    char ch = 0;
    while ((line.empty() || line.back() != '\n') && ::recv(fd, &ch, 1, 0) == 1) line.push_back(ch);
    return line;
}

bool SendPlain(int fd, const std::string& text) {
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Someone in the path appends a forged EHLO reply (without AUTH) to the go-ahead. Were it read as the reply
// to the EHLO over TLS, the log-in would find no mechanism; dropped, the real reply offers PLAIN and the mail
// goes.
TEST(SmtpSecureTls, ForgedReplyAfterTheGoAheadIsDiscarded) {
    using mailcore::testing::MakeCertificate;
    using mailcore::testing::TestCertificate;
    const TestCertificate ca = MakeCertificate({.commonName = "Test CA", .subjectAltName = "", .isCa = true});
    char pattern[] = "/tmp/outlark-secure-ca-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    const std::string ca_file = (dir / "ca.pem").string();
    ASSERT_EQ(ca.WritePem(ca_file), "");
    std::vector<std::string> plain_lines, tls_lines;
    mailcore::testing::TlsTestServer server(
        MakeCertificate({}, &ca),
        [&](SSL* ssl) {
            const std::vector<std::pair<std::string, std::string>> steps = {
                {"EHLO Outlark\r\n", "250-mx\r\n250 AUTH PLAIN\r\n"},
                {kPlainLine, "235 ok\r\n"},
                {"MAIL FROM:<f@x>\r\n", "250 ok\r\n"},
                {"RCPT TO:<t@x>\r\n", "250 ok\r\n"},
                {"DATA\r\n", "354 go\r\n"}};
            for (const auto& [expected, reply] : steps) {
                tls_lines.push_back(ReadTlsLine(ssl));
                if (tls_lines.back() != expected) return;
                WriteTls(ssl, reply);
            }
            while (tls_lines.back() != ".\r\n" && !tls_lines.back().empty())
                tls_lines.push_back(ReadTlsLine(ssl));
            WriteTls(ssl, "250 queued\r\n");
            tls_lines.push_back(ReadTlsLine(ssl));
            WriteTls(ssl, "221 bye\r\n");
        },
        mailcore::testing::TlsTestServer::PlainPhase([&](int fd) {
            if (!SendPlain(fd, "220 ready\r\n")) return false;
            plain_lines.push_back(ReadPlainLine(fd));
            if (!SendPlain(fd, "250-mx\r\n250 STARTTLS\r\n")) return false;
            plain_lines.push_back(ReadPlainLine(fd));
            return SendPlain(fd, "220 go ahead\r\n250 forged\r\n");
        }));
    Smtp smtp;
    smtp.SetLogFilename(u"");
    smtp.SetPort(server.Port());
    smtp.SetSendTimeout(5);
    smtp.SetRecvTimeout(5);
    smtp.SetSecurity(1);
    smtp.SetTrustFile(mailcore::Cp932ToWide(ca_file));
    smtp.SetSmtpUser(u"user");
    smtp.SetSmtpPassword(u"secret");
    std::int32_t status = 0;
    smtp.SendMail(u"127.0.0.1", u"t@x", u"f@x", u"Hi", u"body", u"", &status);
    EXPECT_EQ(status, 1) << mailcore::WideToCp932(smtp.LastErrorText());
    EXPECT_EQ(server.Finish(), "");
    EXPECT_EQ(plain_lines, (std::vector<std::string>{"EHLO Outlark\r\n", "STARTTLS\r\n"}));
    ASSERT_GE(tls_lines.size(), 2u);
    EXPECT_EQ(tls_lines[0], "EHLO Outlark\r\n");
    EXPECT_EQ(tls_lines.back(), "QUIT\r\n");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace outlark

namespace outlark {
namespace {

struct StatusSink : SmtpEvents {
    std::vector<std::int32_t> statuses;
    void EndOfCommand(std::int32_t lStatus) override { statuses.push_back(lStatus); }
};

// The asynchronous one-shot send reports the TLS refusal through its event, LastError and LastErrorText.
TEST(SmtpSecureAsync, StartTlsRefusalArrivesWithTheEvent) {
    Script s = Greeted("250-mx\r\n250 STARTTLS\r\n");
    s.Expect("STARTTLS\r\n").Reply("454 4.7.0 later\r\n").ExpectAnyLine();
    ScriptedServer server(s);
    Smtp smtp;
    StatusSink sink;
    const std::int32_t cookie = smtp.Advise(&sink);
    smtp.SetLogFilename(u"");
    smtp.SetPort(server.Port());
    smtp.SetSendTimeout(5);
    smtp.SetRecvTimeout(5);
    smtp.SetSync(0);
    smtp.SetSecurity(1);
    std::int32_t status = 0;
    smtp.SendMail(u"127.0.0.1", u"t@x", u"f@x", u"Hi", u"body", u"", &status);
    ASSERT_EQ(status, 1);
    ASSERT_TRUE(server.WaitForFinished(1));
    for (int i = 0; i < 500 && sink.statuses.empty(); ++i) {
        smtp.ProcessEvents();
        if (sink.statuses.empty()) ::usleep(10000);
    }
    EXPECT_EQ(sink.statuses, std::vector<std::int32_t>{-8});
    EXPECT_EQ(smtp.LastError(), -10);
    EXPECT_THAT(mailcore::WideToCp932(smtp.LastErrorText()), HasSubstr("454 4.7.0 later"));
    smtp.Unadvise(cookie);
    EXPECT_EQ(server.Received(), "EHLO Outlark\r\nSTARTTLS\r\n");
}

}  // namespace
}  // namespace outlark
