// The outlark program: as the component's external sender (Sync = 2), and its send and compose commands.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "outlark/smtp.h"
#include "testing/scripted_server/scripted_server.h"

namespace {

namespace fs = std::filesystem;
using scripted::Script;
using scripted::ScriptedServer;
using testing::HasSubstr;

Script Accepting(size_t message_lines) {
    Script s;
    s.Reply("220 ready\r\n").Expect("HELO Outlark\r\n").Reply("250 hello\r\n");
    s.Expect("MAIL FROM:<f@x>\r\n").Reply("250 ok\r\n").Expect("RCPT TO:<t@x>\r\n").Reply("250 ok\r\n");
    s.Expect("DATA\r\n").Reply("354 go\r\n");
    for (size_t i = 0; i < message_lines; ++i) s.ExpectAnyLine();
    s.Reply("250 queued\r\n").Expect("QUIT\r\n").Reply("221 bye\r\n");
    return s;
}

std::string RunOutlark(const std::string& arguments, int* exit_status = nullptr) {
    std::string command = std::string(OUTLARK_PROGRAM) + " " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = pclose(pipe);
    if (exit_status) *exit_status = WEXITSTATUS(status);
    return out;
}

class OutlarkToolTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/outlark-tool-XXXXXX";
        dir_ = mkdtemp(pattern);
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Read(const fs::path& path) const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    fs::path dir_;
};

TEST_F(OutlarkToolTest, ExternalSenderModeSendsAndLogs) {
    // "(No Body)" stands in for the empty body; headers X-Mailer .. Content-Transfer-Encoding, blank, body,
    // ".".
    ScriptedServer server(Accepting(12));
    fs::path log = dir_ / "Outlark.log";
    {
        outlark::Smtp smtp;
        smtp.SetSync(2);
        smtp.SetExecuteFilename(std::u16string(fs::path(OUTLARK_PROGRAM).u16string()));
        smtp.SetLogFilename(log.u16string());
        std::int32_t status = 0;
        std::string server_text = "127.0.0.1:" + std::to_string(server.Port());
        smtp.SendMail(std::u16string(server_text.begin(), server_text.end()), u"t@x", u"f@x", u"Hi \"there\"",
                      u"", u"0", &status);
        EXPECT_EQ(status, 1);
    }
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_THAT(server.Failures(), testing::IsEmpty());
    EXPECT_THAT(server.Received(), HasSubstr("Subject: Hi there\r\n"));
    EXPECT_THAT(server.Received(), HasSubstr("\r\n\r\n(No Body)\r\n.\r\n"));
    // The program writes its record after QUIT; give it a moment.
    for (int i = 0; i < 200 && Read(log).find("\r\n\r\n", Read(log).find("Filename:")) == std::string::npos;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string record = Read(log);
    EXPECT_THAT(record, HasSubstr("Status:\r\n  \x90\xac\x8c\xf7 (P="));
    EXPECT_THAT(record, HasSubstr("Body:\r\n  (No Body)\r\n"));
}

TEST_F(OutlarkToolTest, SendReportsStatus) {
    ScriptedServer server(Accepting(12));
    fs::path body = dir_ / "body.txt";
    std::ofstream(body) << "hello\n";
    int exit_status = -1;
    std::string out = RunOutlark("send -S 127.0.0.1 -p " + std::to_string(server.Port()) +
                                     " -f f@x -t t@x -s Hi -b " + body.string() + " --recv-timeout 5",
                                 &exit_status);
    EXPECT_EQ(out, "1 the message was accepted by the server\n");
    EXPECT_EQ(exit_status, 0);
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_THAT(server.Received(), HasSubstr("\r\n\r\nhello\r\n.\r\nQUIT\r\n"));
}

TEST_F(OutlarkToolTest, SendRefusedRecipient) {
    Script s;
    s.Reply("220 ready\r\n").Expect("HELO Outlark\r\n").Reply("250 hello\r\n");
    s.Expect("MAIL FROM:<f@x>\r\n").Reply("250 ok\r\n").Expect("RCPT TO:<t@x>\r\n").Reply("550 unknown\r\n");
    ScriptedServer server(std::move(s));
    int exit_status = -1;
    std::string out =
        RunOutlark("send -S 127.0.0.1 -p " + std::to_string(server.Port()) + " -f f@x -t t@x -b /dev/null",
                   &exit_status);
    EXPECT_EQ(out, "-4 RCPT was not answered with 250\n");
    EXPECT_EQ(exit_status, 1);
}

TEST_F(OutlarkToolTest, ComposeWritesTheMessage) {
    fs::path body = dir_ / "body.txt";
    std::ofstream(body) << "\xe6\x97\xa5\xe6\x9c\xac\n.dot\n";  // "日本"
    std::string out = RunOutlark("compose -f f@x -t \"Taro <t@x>\" -s Hi --header8bit 0 -b " + body.string());
    EXPECT_THAT(out, HasSubstr("To: \"Taro\" <t@x>\r\nFrom: <f@x>\r\nSubject: Hi\r\nMIME-Version: 1.0\r\n"));
    EXPECT_THAT(out, HasSubstr("\r\n\r\n\x1b$BF|K\\\x1b(B\r\n.dot\r\n"));
    EXPECT_FALSE(out.ends_with(".\r\n")) << "the SMTP closing line is not part of the message";
}

}  // namespace
