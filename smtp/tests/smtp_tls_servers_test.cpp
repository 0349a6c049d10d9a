// TLS and AUTH against the real Postfix (STARTTLS on the SMTP port, SMTPS, the submission port that wants
// AUTH, SASL through Dovecot): what is delivered, and how each refusal is reported (testing/servers/
// mail-servers; skipped when those servers are not running).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

#include "mailcore/wide_text.h"
#include "outlark/smtp.h"
#include "outlark/smtp_client.h"
#include "smtp/smtp_engine.h"
#include "smtp/smtp_secure.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/real_servers_test.h"

namespace outlark {
namespace {

namespace fs = std::filesystem;
namespace ms = mirelo::mail_servers;

std::u16string Wide(const std::string& ascii) { return mailcore::Cp932ToWide(ascii); }
std::string Narrow(const std::u16string& text) { return mailcore::WideToCp932(text); }

std::string Delivered(const std::string& maildir) {
    std::string all;
    for (const char* sub : {"new", "cur"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(maildir) / sub)) {
            std::ifstream in(entry.path(), std::ios::binary);
            all += std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return all;
}

enum class Port { kSmtp, kSmtps, kSubmission };
enum class Login { kNone, kRight, kWrong };

struct Row {
    const char* name;
    Port port;
    std::int32_t security;
    Login login;
    bool trusted;
    std::int32_t status;
    std::int32_t last_error;
    const char* cause;  // in LastErrorText after a failure
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const Row kRows[] = {
    {"StartTlsOnTheSmtpPort", Port::kSmtp, 1, Login::kNone, true, 1, 0, ""},
    {"StartTlsAndAuthOnSubmission", Port::kSubmission, 1, Login::kRight, true, 1, 0, ""},
    {"ImplicitTlsAndAuth", Port::kSmtps, 2, Login::kRight, true, 1, 0, ""},
    {"ImplicitTlsWithoutAuth", Port::kSmtps, 2, Login::kNone, true, 1, 0, ""},
    {"WrongPassword", Port::kSubmission, 1, Login::kWrong, true, -7, -12, "AUTH PLAIN: negative reply: 535"},
    // Postfix turns the sender down only at RCPT, with its own text.
    {"SubmissionWithoutAuth", Port::kSubmission, 1, Login::kNone, true, -4, 0, "Access denied"},
    {"UntrustedImplicit", Port::kSmtps, 2, Login::kNone, false, -8, -11, "server certificate not accepted"},
    {"UntrustedStartTls", Port::kSmtp, 1, Login::kRight, false, -8, -11, "TLS 127.0.0.1"},
    {"ImplicitTlsToThePlainPort", Port::kSmtp, 2, Login::kNone, true, -8, -10, "TLS handshake failed"},
};

class SmtpTlsServers : public ms::RealServersTest, public testing::WithParamInterface<Row> {
  protected:
    int PortOf(Port port) const {
        switch (port) {
            case Port::kSmtps:
                return env().smtpsPort;
            case Port::kSubmission:
                return env().submissionPort;
            default:
                return env().smtpPort;
        }
    }
};

TEST_P(SmtpTlsServers, OneShotSend) {
    const Row& row = GetParam();
    // Any mailbox logs in; the leased one receives.
    const ms::Mailbox* sender = env().Find("phone");
    ASSERT_NE(sender, nullptr);
    const std::string wrong = "not-" + sender->password;
    Smtp smtp;
    smtp.SetLogFilename(u"");
    smtp.SetPort(PortOf(row.port));
    smtp.SetSendTimeout(10);
    smtp.SetRecvTimeout(10);
    smtp.SetSecurity(row.security);
    if (row.trusted) smtp.SetTrustFile(Wide(env().caFile));
    if (row.login != Login::kNone) {
        smtp.SetSmtpUser(Wide(sender->user));
        smtp.SetSmtpPassword(Wide(row.login == Login::kRight ? sender->password : wrong));
    }
    const std::string token = std::string("tls row ") + row.name;
    std::int32_t status = 0;
    smtp.SendMail(Wide(env().host), Wide(mailbox().address), Wide(sender->address), Wide(token), Wide(token),
                  u"", &status);
    const std::string text = Narrow(smtp.LastErrorText());
    EXPECT_EQ(status, row.status) << text;
    EXPECT_EQ(smtp.LastError(), row.last_error);
    if (row.status == 1) {
        ASSERT_EQ(ms::WaitForMessages(mailbox().maildir, 1), "");
        EXPECT_NE(Delivered(mailbox().maildir).find(token), std::string::npos);
        return;
    }
    EXPECT_NE(text.find(row.cause), std::string::npos) << text;
    EXPECT_EQ(text.find(wrong), std::string::npos);
    EXPECT_EQ(ms::CountMessages(mailbox().maildir), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rows, SmtpTlsServers, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

class SmtpTlsSessionServers : public ms::RealServersTest {};

// The control step by step: Security 2 connects over TLS (refused without the CA), Security 1 upgrades at
// EHLO, whose lines are then those Postfix gives over TLS (no STARTTLS among them).
TEST_F(SmtpTlsSessionServers, ControlStepByStep) {
    struct Case {
        std::int32_t security;
        int port;
        bool trusted;
        std::int32_t connected;
        std::int32_t last_error;
    };
    const Case cases[] = {{2, env().smtpsPort, false, 0, -11},
                          {2, env().smtpsPort, true, 1, 0},
                          {1, env().smtpPort, true, 1, 0}};
    for (const Case& c : cases) {
        Smtp smtp;
        smtp.SetPort(c.port);
        smtp.SetSendTimeout(10);
        smtp.SetRecvTimeout(10);
        smtp.SetSecurity(c.security);
        if (c.trusted) smtp.SetTrustFile(Wide(env().caFile));
        std::int32_t r = 0;
        smtp.ConnectByName(Wide(env().host), &r);
        EXPECT_EQ(r, c.connected) << Narrow(smtp.LastErrorText());
        EXPECT_EQ(smtp.LastError(), c.last_error);
        if (r != 1) continue;
        smtp.EHLO(u"client.example", &r);
        ASSERT_EQ(r, 1) << Narrow(smtp.LastErrorText());
        std::int32_t count = 0;
        smtp.GetCount(&count);
        EXPECT_GT(count, 1);
        for (std::int32_t i = 1; i <= count; ++i) {
            std::u16string line;
            smtp.GetData(i, &line);
            EXPECT_NE(Narrow(line), "STARTTLS");
        }
        smtp.MAIL(Wide("phone@" + env().domain), &r);
        EXPECT_EQ(r, 1) << Narrow(smtp.LastErrorText());
        smtp.RCPT(Wide(mailbox().address), &r);
        EXPECT_EQ(r, 1) << Narrow(smtp.LastErrorText());
        smtp.QUIT(&r);
        EXPECT_EQ(r, 1);
    }
}

// Postfix offers PLAIN and LOGIN, so the session would always pick PLAIN: LOGIN is driven directly here, over
// the session the steps opened.
TEST_F(SmtpTlsSessionServers, StepsOnSubmissionWithPlainAndLogin) {
    const ms::Mailbox* sender = env().Find("phone");
    ASSERT_NE(sender, nullptr);
    for (AuthMechanism mechanism : {AuthMechanism::kPlain, AuthMechanism::kLogin}) {
        SmtpEngine engine;
        engine.Socket().SetSendTimeout(10000);
        engine.Socket().SetReceiveTimeout(10000);
        engine.PrepareSecurity({mailcore::Security::kStartTls, env().caFile}, env().host);
        ASSERT_EQ(engine.Connect(env().host, env().submissionPort, mailcore::MailEngine::Resolution::kByName),
                  1);
        ASSERT_EQ(engine.Command(kEhlo, "client.example"), 1) << mailcore::FailureText(engine.LastFailure());
        EXPECT_EQ(ChooseAuthMechanism(engine.ReplyLines()), AuthMechanism::kPlain);
        SmtpResults results;
        const std::vector<std::string> offer = {mechanism == AuthMechanism::kPlain ? "AUTH PLAIN"
                                                                                   : "AUTH LOGIN"};
        ASSERT_EQ(RunAuth(engine.Wire(), offer, sender->user, sender->password, results), kCommandOk)
            << mailcore::FailureText(results.failure);
        EXPECT_EQ(results.last_reply.substr(0, 4), "235 ");
        EXPECT_EQ(engine.Command(kMail, sender->address), 1);
        EXPECT_EQ(engine.Command(kRcpt, mailbox().address), 1) << mailcore::FailureText(engine.LastFailure());
        EXPECT_EQ(engine.Command(kQuit, {}), 1);
    }
}

// The lossless session's own steps on the submission port: EHLO, StartTls, EHLO again, Auth, a mail.
TEST_F(SmtpTlsSessionServers, LosslessSessionStartTlsOnSubmission) {
    const ms::Mailbox* sender = env().Find("phone");
    ASSERT_NE(sender, nullptr);
    SmtpServer server;
    server.host = env().host;
    server.port = env().submissionPort;
    server.security = SmtpSecurity::kStartTls;
    server.trustFile = env().caFile;
    SmtpSession session;
    ASSERT_TRUE(session.Connect(server));
    auto plain = session.Ehlo("client.example");
    ASSERT_TRUE(plain);
    auto tls = session.StartTls();
    ASSERT_TRUE(tls) << mailcore::FailureText(tls.error());
    EXPECT_EQ(tls->code, 220);
    auto secured = session.Ehlo("client.example");
    ASSERT_TRUE(secured);
    EXPECT_NE(std::find(secured->lines.begin(), secured->lines.end(), "AUTH PLAIN LOGIN"),
              secured->lines.end());
    auto auth = session.Auth(sender->user, sender->password);
    ASSERT_TRUE(auth) << mailcore::FailureText(auth.error());
    ASSERT_TRUE(session.MailFrom(sender->address));
    ASSERT_TRUE(session.RcptTo(mailbox().address));
    ASSERT_TRUE(session.Data("Subject: lossless over starttls\r\n\r\nbody\r\n"));
    ASSERT_TRUE(session.Quit());
    ASSERT_EQ(ms::WaitForMessages(mailbox().maildir, 1), "");
    EXPECT_NE(Delivered(mailbox().maildir).find("lossless over starttls"), std::string::npos);
}

// The lossless session: Connect over TLS, EHLO, AUTH, a whole mail, and a wrong password's record.
TEST_F(SmtpTlsSessionServers, LosslessSessionOverSmtps) {
    const ms::Mailbox* sender = env().Find("phone");
    ASSERT_NE(sender, nullptr);
    SmtpServer server;
    server.host = env().host;
    server.port = env().smtpsPort;
    server.security = SmtpSecurity::kImplicit;
    server.trustFile = env().caFile;
    SmtpSession session;
    ASSERT_TRUE(session.Connect(server));
    auto ehlo = session.Ehlo("client.example");
    ASSERT_TRUE(ehlo);
    auto wrong = session.Auth(sender->user, "wrong-secret");
    ASSERT_FALSE(wrong);
    EXPECT_EQ(wrong.error().kind, mailcore::FailureKind::NegativeReply);
    EXPECT_EQ(mailcore::FailureText(wrong.error()).find("wrong-secret"), std::string::npos);
    auto right = session.Auth(sender->user, sender->password);
    ASSERT_TRUE(right) << mailcore::FailureText(right.error());
    EXPECT_EQ(right->code, 235);
    ASSERT_TRUE(session.MailFrom(sender->address));
    ASSERT_TRUE(session.RcptTo(mailbox().address));
    ASSERT_TRUE(session.Data("Subject: lossless over smtps\r\n\r\nbody\r\n"));
    ASSERT_TRUE(session.Quit());
    ASSERT_EQ(ms::WaitForMessages(mailbox().maildir, 1), "");
    EXPECT_NE(Delivered(mailbox().maildir).find("lossless over smtps"), std::string::npos);
}

}  // namespace
}  // namespace outlark
