// Proves the harness itself: mail handed to the real Postfix arrives in the Maildir and comes back
// intact over a hand-written POP3 exchange with the real Dovecot.
#include <gtest/gtest.h>

#include <string>

#include "testing/mail_servers_env/line_connection.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/real_servers_test.h"
#include "testing/mail_servers_env/smtp_delivery.h"

namespace mirelo::mail_servers {
namespace {

class MailServersSmoke : public RealServersTest {
  protected:
    // Connects and logs in; the test fails with the server's words otherwise.
    void Login(LineConnection& pop3, const std::string& password) {
        ASSERT_EQ(pop3.Connect(env().host, env().pop3Port), "");
        std::string line;
        ASSERT_EQ(pop3.ReadLine(&line), "");
        ASSERT_TRUE(line.starts_with("+OK")) << line;
        ASSERT_EQ(pop3.Send("USER " + mailbox().user + "\r\n"), "");
        ASSERT_EQ(pop3.ReadLine(&line), "");
        ASSERT_TRUE(line.starts_with("+OK")) << line;
        ASSERT_EQ(pop3.Send("PASS " + password + "\r\n"), "");
        ASSERT_EQ(pop3.ReadLine(&line), "");
        lastReply_ = line;
    }

    std::string Ask(LineConnection& pop3, const std::string& command) {
        std::string line;
        if (std::string error = pop3.Send(command + "\r\n"); !error.empty()) return error;
        if (std::string error = pop3.ReadLine(&line); !error.empty()) return error;
        return line;
    }

    std::string lastReply_;
};

TEST_F(MailServersSmoke, MailThroughPostfixComesBackOverPop3) {
    const std::string body =
        "first line\r\n"
        ".starts with a dot\r\n"
        "..two dots\r\n"
        "last line\r\n";
    ASSERT_EQ(DeliverMail(env(), "phone@" + env().domain, {mailbox().address},
                          SimpleMessage("phone@" + env().domain, mailbox().address, "smoke", body)),
              "");
    ASSERT_EQ(WaitForMessages(mailbox().maildir, 1), "");

    LineConnection pop3;
    ASSERT_NO_FATAL_FAILURE(Login(pop3, mailbox().password));
    ASSERT_TRUE(lastReply_.starts_with("+OK")) << lastReply_;
    const std::string stat = Ask(pop3, "STAT");
    ASSERT_TRUE(stat.starts_with("+OK 1 ")) << stat;

    const std::string retr = Ask(pop3, "RETR 1");
    ASSERT_TRUE(retr.starts_with("+OK")) << retr;
    std::string message;
    ASSERT_EQ(pop3.ReadMultiline(&message), "");
    EXPECT_NE(message.find("Subject: smoke\r\n"), std::string::npos) << message;
    EXPECT_NE(message.find("\r\n\r\n" + body), std::string::npos) << message;
    EXPECT_TRUE(Ask(pop3, "QUIT").starts_with("+OK"));
}

TEST_F(MailServersSmoke, WrongPasswordIsRefused) {
    LineConnection pop3;
    ASSERT_NO_FATAL_FAILURE(Login(pop3, mailbox().password + "x"));
    EXPECT_TRUE(lastReply_.starts_with("-ERR")) << lastReply_;
}

TEST_F(MailServersSmoke, DroppedMessagesAreServed) {
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(DropMessage(mailbox().maildir, "Subject: dropped " + std::to_string(i) + "\n\nbody\n"), "");
    }
    LineConnection pop3;
    ASSERT_NO_FATAL_FAILURE(Login(pop3, mailbox().password));
    ASSERT_TRUE(lastReply_.starts_with("+OK")) << lastReply_;
    const std::string stat = Ask(pop3, "STAT");
    EXPECT_TRUE(stat.starts_with("+OK 3 ")) << stat;
    EXPECT_TRUE(Ask(pop3, "QUIT").starts_with("+OK"));
}

}  // namespace
}  // namespace mirelo::mail_servers
