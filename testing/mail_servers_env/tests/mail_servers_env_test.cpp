#include "testing/mail_servers_env/mail_servers_env.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/mail_servers_env/maildir.h"

namespace mirelo::mail_servers {
namespace {

const std::string kValid =
    "# written by mail-servers\n"
    "MIRELO_HOST=127.0.0.1\n"
    "MIRELO_POP3_PORT=11110\n"
    "MIRELO_SMTP_PORT='10025'\n"
    "MIRELO_POP3S_PORT=11995\n"
    "MIRELO_SMTPS_PORT=10465\n"
    "MIRELO_SUBMISSION_PORT=10587\n"
    "MIRELO_CA_FILE=/srv/tls/ca.pem\n"
    "MIRELO_MAIL_DOMAIN=mirelo.test\r\n"
    "MIRELO_SERVERS_LOGS=/srv/log\n"
    "MIRELO_LOCKS=/srv/locks\n"
    "\n"
    "MIRELO_MAILBOXES=agent,box01\n"
    "MIRELO_AGENT_USER=agent\n"
    "MIRELO_AGENT_PASSWORD=agentpass\n"
    "MIRELO_AGENT_ADDRESS=agent@mirelo.test\n"
    "MIRELO_AGENT_MAILDIR=/srv/mail/agent\n"
    "MIRELO_BOX01_USER=box01\n"
    "MIRELO_BOX01_PASSWORD=\"box01pass\"\n"
    "MIRELO_BOX01_ADDRESS=box01@mirelo.test\n"
    "MIRELO_BOX01_MAILDIR=/srv/mail/box01\n";

TEST(MailServersEnv, ParsesWhatTheScriptWrites) {
    MailServersEnv env;
    ASSERT_EQ(ParseMailServersEnv(kValid, &env), "");
    EXPECT_EQ(env.host, "127.0.0.1");
    EXPECT_EQ(env.pop3Port, 11110);
    EXPECT_EQ(env.smtpPort, 10025);
    EXPECT_EQ(env.pop3sPort, 11995);
    EXPECT_EQ(env.smtpsPort, 10465);
    EXPECT_EQ(env.submissionPort, 10587);
    EXPECT_EQ(env.caFile, "/srv/tls/ca.pem");
    EXPECT_EQ(env.domain, "mirelo.test");
    EXPECT_EQ(env.locksDir, "/srv/locks");
    ASSERT_EQ(env.mailboxes.size(), 2u);
    const Mailbox* box = env.Find("box01");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->password, "box01pass");
    EXPECT_EQ(box->address, "box01@mirelo.test");
    EXPECT_EQ(box->maildir, "/srv/mail/box01");
    EXPECT_EQ(env.Find("phone"), nullptr);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(MailServersEnv, RejectsBrokenFilesNamingTheProblem) {
    struct Row {
        const char* name;
        std::string text;
        const char* error;
    };
    const Row rows[] = {
        {"missing port", Replace(kValid, "MIRELO_POP3_PORT=11110\n", ""), "missing MIRELO_POP3_PORT"},
        {"empty host", Replace(kValid, "=127.0.0.1", "="), "missing MIRELO_HOST"},
        {"port not a number", Replace(kValid, "=11110", "=11110x"), "MIRELO_POP3_PORT is not a port: 11110x"},
        {"port out of range", Replace(kValid, "=11110", "=70000"), "MIRELO_POP3_PORT is not a port: 70000"},
        {"port zero", Replace(kValid, "=11110", "=0"), "MIRELO_POP3_PORT is not a port: 0"},
        {"missing TLS port", Replace(kValid, "MIRELO_SMTPS_PORT=10465\n", ""), "missing MIRELO_SMTPS_PORT"},
        {"missing CA file", Replace(kValid, "=/srv/tls/ca.pem", "="), "missing MIRELO_CA_FILE"},
        {"mailbox without maildir", Replace(kValid, "MIRELO_AGENT_MAILDIR=/srv/mail/agent\n", ""),
         "missing MIRELO_AGENT_MAILDIR"},
        {"empty mailbox name", Replace(kValid, "=agent,box01", "=agent,,box01"),
         "MIRELO_MAILBOXES has an empty name: agent,,box01"},
        {"line without equals sign", kValid + "garbage\n", "line 22 is not KEY=VALUE: garbage"},
        {"empty file", "", "missing MIRELO_HOST"},
    };
    for (const Row& row : rows) {
        MailServersEnv env;
        env.host = "untouched";
        EXPECT_EQ(ParseMailServersEnv(row.text, &env), row.error) << row.name;
        EXPECT_EQ(env.host, "untouched") << row.name;
    }
}

TEST(MailServersEnv, LoadNamesTheFile) {
    MailServersEnv env;
    EXPECT_EQ(LoadMailServersEnv("/nonexistent/servers.env", &env), "cannot read /nonexistent/servers.env");
}

class MaildirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = std::filesystem::path(TEST_BINARY_DIR) /
                ("maildir-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        for (const char* sub : {"cur", "new", "tmp"}) std::filesystem::create_directories(root_ / sub);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    [[nodiscard]] std::string dir() const { return root_.string(); }

  private:
    std::filesystem::path root_;
};

TEST_F(MaildirTest, DroppedMessagesLandInNewWithLfLineEnds) {
    ASSERT_EQ(DropMessage(dir(), "Subject: a\r\n\r\nline\r\n.dot\r\nbare\rcr\n"), "");
    ASSERT_EQ(DropMessage(dir(), "Subject: b\n\nbody\n"), "");
    EXPECT_EQ(CountMessages(dir()), 2u);
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(dir()) / "tmp"));

    std::string found;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(dir()) / "new")) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (text.str().starts_with("Subject: a")) found = text.str();
    }
    EXPECT_EQ(found, "Subject: a\n\nline\n.dot\nbare\rcr\n");
}

TEST_F(MaildirTest, EmptyRemovesEveryMessage) {
    ASSERT_EQ(DropMessage(dir(), "x\n"), "");
    std::ofstream(std::filesystem::path(dir()) / "cur" / "1.seen:2,S") << "y\n";
    ASSERT_EQ(CountMessages(dir()), 2u);
    ASSERT_EQ(EmptyMaildir(dir()), "");
    EXPECT_EQ(CountMessages(dir()), 0u);
}

TEST_F(MaildirTest, WaitReportsHowManyArrived) {
    ASSERT_EQ(DropMessage(dir(), "x\n"), "");
    EXPECT_EQ(WaitForMessages(dir(), 1, std::chrono::milliseconds(0)), "");
    EXPECT_EQ(WaitForMessages(dir(), 2, std::chrono::milliseconds(30)),
              "1 of 2 messages arrived in " + dir() + " within 30 ms (see the Postfix log)");
}

TEST(Maildir, DropIntoMissingFolderFails) { EXPECT_NE(DropMessage("/nonexistent/maildir", "x\n"), ""); }

}  // namespace
}  // namespace mirelo::mail_servers
