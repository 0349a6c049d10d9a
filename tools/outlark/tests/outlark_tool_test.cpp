// The outlark program: as the component's external sender (Sync = 2), and its send and compose commands.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

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
using testing::Not;

Script Accepting(size_t message_lines) {
    Script s;
    s.Reply("220 ready\r\n").Expect("HELO Outlark\r\n").Reply("250 hello\r\n");
    s.Expect("MAIL FROM:<f@x>\r\n").Reply("250 ok\r\n").Expect("RCPT TO:<t@x>\r\n").Reply("250 ok\r\n");
    s.Expect("DATA\r\n").Reply("354 go\r\n");
    for (size_t i = 0; i < message_lines; ++i) s.ExpectAnyLine();
    s.Reply("250 queued\r\n").Expect("QUIT\r\n").Reply("221 bye\r\n");
    return s;
}

// Standard output; standard error goes to `error_text` when given (through a file next to nothing else).
std::string RunOutlark(const std::string& arguments, int* exit_status = nullptr,
                       std::string* error_text = nullptr) {
    std::string command = std::string(OUTLARK_PROGRAM) + " " + arguments;
    char error_file[] = "/tmp/outlark-stderr-XXXXXX";
    if (error_text) {
        close(mkstemp(error_file));
        command += std::string(" 2>") + error_file;
    }
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = pclose(pipe);
    if (exit_status) *exit_status = WEXITSTATUS(status);
    if (error_text) {
        std::ifstream in(error_file, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        *error_text = all.str();
        fs::remove(error_file);
    }
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
    EXPECT_EQ(out, "-4 the recipient was refused or not answered (RCPT TO got no 250 reply)\n");
    EXPECT_EQ(exit_status, 1);
}

TEST_F(OutlarkToolTest, SendRefusesNicknamesWithoutConnecting) {
    for (const char* addresses : {"-f \"Taro <f@x>\" -t t@x", "-f f@x -t \"Hana <t@x>\""}) {
        int exit_status = -1;
        // Port 1: nothing listens there, so a connect attempt would show as a status line.
        std::string out = RunOutlark(
            std::string("send -S 127.0.0.1 -p 1 ") + addresses + " -b /dev/null 2>&1", &exit_status);
        EXPECT_THAT(out, HasSubstr("send takes bare addresses")) << addresses;
        EXPECT_EQ(exit_status, 2) << addresses;
    }
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

namespace {

// Without what depends on the moment of composing: the Date line and the MIME boundary's tick count.
std::string Timeless(std::string message) {
    size_t date = message.find("\r\nDate: ");
    if (date != std::string::npos) message.erase(date, message.find("\r\n", date + 2) - date);
    const std::string boundary = "----=_NextPart_000_";
    for (size_t at = message.find(boundary); at != std::string::npos; at = message.find(boundary, at + 1))
        message.replace(at + boundary.size(), 8, "XXXXXXXX");
    return message;
}

// The message of the DATA command as the server got it, dot-unstuffed, without the closing ".".
std::string DataOf(const std::string& received) {
    size_t start = received.find("DATA\r\n") + 6;
    size_t end = received.find("\r\n.\r\nQUIT\r\n", start) + 2;
    std::string out;
    bool line_start = true;
    for (size_t i = start; i < end; ++i) {
        if (line_start && received[i] == '.') {
            line_start = false;
            continue;
        }
        out.push_back(received[i]);
        line_start = received[i] == '\n';
    }
    return out;
}

TEST_F(OutlarkToolTest, CharactersCp932CannotHoldBecomeOneQuestionMarkEach) {
    struct Case {
        const char* subject;
        const char* body;
        const char* subject_line;  // as written with --header8bit 1
        const char* body_text;
        const char* warning;  // "" for none
    };
    const Case cases[] = {
        {"caf\xc3\xa9", "x", "Subject: caf?\r\n", "x\r\n",
         "1 character of the Subject cannot be written in Shift_JIS (CP932)"},
        {"a\xf0\x9f\x98\x80\xe2\x98\x83"
         "b",
         "x", "Subject: a??b\r\n", "x\r\n", "2 characters of the Subject"},
        {"\xe6\x97\xa5\xe6\x9c\xac?", "x", "Subject: \x1b$BF|K\\\x1b(B?\r\n", "x\r\n", ""},
        {"s",
         "na\xc3\xaf"
         "ve \xef\xbd\xb1",
         "Subject: s\r\n", "na?ve \x1b$B%\"\x1b(B\r\n", "1 character of the body"},
        {"bad\xff", "x", "Subject: bad?\r\n", "x\r\n", "1 character of the Subject"},
    };
    for (const Case& c : cases) {
        fs::path body = dir_ / "body.txt";
        std::ofstream(body, std::ios::trunc) << c.body;
        int exit_status = -1;
        std::string errors;
        std::string out =
            RunOutlark(std::string("compose -f f@x -t t@x -s '") + c.subject + "' -b " + body.string(),
                       &exit_status, &errors);
        EXPECT_EQ(exit_status, 0) << c.subject;
        EXPECT_THAT(out, HasSubstr(c.subject_line)) << c.subject;
        EXPECT_TRUE(out.ends_with(std::string("\r\n\r\n") + c.body_text)) << c.subject;
        if (*c.warning) {
            EXPECT_THAT(errors, HasSubstr(c.warning)) << c.subject;
        } else {
            EXPECT_EQ(errors, "") << c.subject;
        }
    }
}

// With --utf8 nothing becomes "?" and nothing is warned about; a malformed byte is replaced and told.
TEST_F(OutlarkToolTest, Utf8KeepsWhatCp932CannotHold) {
    fs::path body = dir_ / "body.txt";
    std::ofstream(body, std::ios::trunc) << "na\xc3\xafve \xe2\x98\x83";
    int exit_status = -1;
    std::string errors;
    std::string out = RunOutlark(
        "compose --utf8 -f f@x -t t@x -s 'a\xf0\x9f\x98\x80"
        "b' -b " +
            body.string(),
        &exit_status, &errors);
    EXPECT_EQ(exit_status, 0);
    EXPECT_EQ(errors, "");
    EXPECT_THAT(out, HasSubstr("Subject: =?UTF-8?B?YfCfmIBi?=\r\n"));
    EXPECT_TRUE(out.ends_with("\r\n\r\nna=C3=AFve =E2=98=83\r\n")) << out;
    out = RunOutlark("compose --utf8 -f f@x -t t@x -s 'bad\xff' -b " + body.string(), &exit_status, &errors);
    EXPECT_THAT(out, HasSubstr("Subject: =?UTF-8?B?YmFk77+9?=\r\n"));
    EXPECT_THAT(errors, HasSubstr("1 character of the Subject"));
}

TEST_F(OutlarkToolTest, ComposePrintsWhatSendSends) {
    fs::path attachment = dir_ / "a.bin";
    std::ofstream(attachment, std::ios::binary) << std::string("\0\r\n.\r\r\xff", 7);
    struct Case {
        const char* body;
        std::string options;
    };
    const Case cases[] = {
        {"bare\rCR\n", ""},
        {"crlf\r\n.\r\n..dots\r\n", ""},
        {"\xe6\x97\xa5\r\xe6\x9c\xac\r", " --header8bit 0"},
        {"", ""},
        {"mime\rpart\n", " -a " + attachment.string()},
        {"uu\rencoded\n", " --type 1 -a " + attachment.string()},
        {"Zo\xc3\xab \xf0\x9f\x98\x80\r\n.dot\n", " --utf8"},
        {"\xe6\x97\xa5 \xf0\x9f\x98\x80", " --utf8 --encode 1 -a " + attachment.string()},
    };
    for (const Case& c : cases) {
        fs::path body = dir_ / "body.txt";
        std::ofstream(body, std::ios::trunc | std::ios::binary) << c.body;
        std::string options = " -f f@x -t t@x -s Hi -b " + body.string() + c.options;
        std::string composed = RunOutlark("compose" + options);
        size_t lines = 0;
        for (size_t at = composed.find("\r\n"); at != std::string::npos; at = composed.find("\r\n", at + 2))
            ++lines;
        ScriptedServer server(Accepting(lines + 1));
        int exit_status = -1;
        RunOutlark("send -S 127.0.0.1 -p " + std::to_string(server.Port()) + options + " --recv-timeout 5",
                   &exit_status);
        EXPECT_EQ(exit_status, 0) << c.body << c.options;
        ASSERT_TRUE(server.WaitForFinished(1));
        EXPECT_THAT(server.Failures(), testing::IsEmpty()) << c.body << c.options;
        EXPECT_EQ(Timeless(composed), Timeless(DataOf(server.Received()))) << c.body << c.options;
    }
}

TEST_F(OutlarkToolTest, SendFailuresSayWhatHappened) {
    std::string long_label(64, 'a');  // beyond DNS label room: the resolver fails without asking anyone
    Script drop;
    drop.Drop();
    ScriptedServer silent(std::move(drop));  // closes each connection without a greeting
    struct Case {
        std::string arguments;
        std::string out;
        std::string error;
        int exit_status;
    };
    const Case cases[] = {
        {"-S 127.0.0.1 -p 1 -t t@x", "-1 no SMTP session could be opened with the server\n",
         "the connection to \"127.0.0.1\" port 1 was refused", 1},
        {"-S " + long_label + ".example -t t@x", "-1 no SMTP session could be opened with the server\n",
         "the host name \"" + long_label + ".example\" could not be resolved", 1},
        {"-S 127.0.0.1 -p " + std::to_string(silent.Port()) + " -t t@x",
         "-1 no SMTP session could be opened with the server\n", "took the connection but sent no greeting",
         1},
        {"-S 127.0.0.1 -p 70000 -t t@x", "", "the port 70000 is outside 1..65535", 2},
        {"-S 127.0.0.1 -p 0 -t t@x", "", "the port 0 is outside 1..65535", 2},
        {"-S 127.0.0.1 -p 1 -t " + std::string(244, 't'), "",
         "the recipient address is 244 bytes long; the RCPT TO: line has room for 243 bytes", 2},
        {"-p 1 -t t@x --by-addr -S localhost", "-1 no SMTP session could be opened with the server\n",
         "\"localhost\" is not a numeric address", 1},
    };
    for (const Case& c : cases) {
        int exit_status = -1;
        std::string errors;
        std::string out =
            RunOutlark("send -f f@x -b /dev/null --send-timeout 2 --recv-timeout 2 " + c.arguments,
                       &exit_status, &errors);
        EXPECT_EQ(out, c.out) << c.arguments;
        EXPECT_THAT(errors, HasSubstr(c.error)) << c.arguments;
        EXPECT_EQ(exit_status, c.exit_status) << c.arguments;
    }
    // Just within the room, the recipient reaches the server.
    std::string fits(243, 't');
    Script s;
    s.Reply("220 ready\r\n").Expect("HELO Outlark\r\n").Reply("250 hello\r\n");
    s.Expect("MAIL FROM:<f@x>\r\n")
        .Reply("250 ok\r\n")
        .Expect("RCPT TO:<" + fits + ">\r\n")
        .Reply("550 no\r\n");
    ScriptedServer server(std::move(s));
    std::string out = RunOutlark("send -f f@x -b /dev/null -S 127.0.0.1 -p " + std::to_string(server.Port()) +
                                 " -t " + fits);
    EXPECT_THAT(out, HasSubstr("-4 the recipient was refused"));
}

TEST_F(OutlarkToolTest, ExternalSenderFailuresSayWhyAndAreLogged) {
    struct Case {
        std::string server, to;
        std::string error;
        std::string status_line;  // of the record
    };
    const Case cases[] = {
        {"127.0.0.1:1", "t@x", "the connection to \"127.0.0.1\" port 1 was refused", "  -1 (P=1,"},
        {"127.0.0.1:99999", "t@x", "the port 99999 is outside 1..65535", "  -1 (P=0,"},
        {"127.0.0.1:1", "'t@x\r\n'", "the recipient holds a line break", "  -99 (P=1,"},
    };
    for (const Case& c : cases) {
        fs::path log = dir_ / "Outlark.log";
        fs::remove(log);
        int exit_status = -1;
        std::string errors;
        std::string out =
            RunOutlark(log.string() + " " + c.server + " $(printf " + c.to + ") f@x 'a\r\nb' body",
                       &exit_status, &errors);
        EXPECT_EQ(exit_status, 1) << c.server;
        EXPECT_THAT(errors, HasSubstr(c.error)) << c.server;
        EXPECT_THAT(Read(log), HasSubstr("Status:\r\n" + c.status_line)) << c.server;
        EXPECT_THAT(Read(log), HasSubstr("Subject:\r\n  a\r\nb\r\n")) << c.server;
    }
}

}  // namespace

// The password of --user comes from the file, else from OUTLARK_PASSWORD; with neither nothing is sent.
TEST_F(OutlarkToolTest, UserPasswordComesFromTheFileOrTheEnvironment) {
    fs::path password_file = dir_ / "password";
    std::ofstream(password_file) << "from-file\r\nsecond line\n";
    struct Case {
        std::string options;
        std::string environment;
        std::string plain;  // base64 of "\0u\0password", or empty: no connection expected
        int exit_status;
    };
    const Case cases[] = {
        {"--password-file " + password_file.string(), "OUTLARK_PASSWORD=from-env", "AHUAZnJvbS1maWxl", 0},
        {"", "OUTLARK_PASSWORD=from-env", "AHUAZnJvbS1lbnY=", 0},
        {"", "-u OUTLARK_PASSWORD", "", 2},
        {"--password-file " + (dir_ / "missing").string(), "OUTLARK_PASSWORD=from-env", "", 2},
    };
    for (const Case& c : cases) {
        Script s;
        s.Reply("220 ready\r\n").Expect("EHLO Outlark\r\n").Reply("250-mx\r\n250 AUTH PLAIN\r\n");
        s.Expect("AUTH PLAIN " + c.plain + "\r\n").Reply("235 ok\r\n");
        s.Expect("MAIL FROM:<f@x>\r\n").Reply("250 ok\r\n").Expect("RCPT TO:<t@x>\r\n").Reply("250 ok\r\n");
        s.Expect("DATA\r\n").Reply("354 go\r\n").ExpectThrough(".\r\n").Reply("250 queued\r\n");
        s.Expect("QUIT\r\n").Reply("221 bye\r\n");
        ScriptedServer server(std::move(s));
        std::string command = "send -S 127.0.0.1 -p " + std::to_string(server.Port()) +
                              " -f f@x -t t@x -b /dev/null --recv-timeout 5 --user u " + c.options;
        std::string shell = "env " + c.environment + " " + std::string(OUTLARK_PROGRAM) + " " + command;
        FILE* pipe = popen((shell + " 2>&1").c_str(), "r");
        std::string output;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        const int exit_status = WEXITSTATUS(pclose(pipe));
        EXPECT_EQ(exit_status, c.exit_status) << c.options << " " << c.environment << ": " << output;
        server.Stop();
        if (c.plain.empty()) {
            EXPECT_EQ(server.Accepted(), 0u) << c.options;
            EXPECT_THAT(output, HasSubstr("password")) << c.options;
        } else {
            EXPECT_THAT(server.Failures(), testing::IsEmpty()) << c.options;
        }
        EXPECT_THAT(output, Not(HasSubstr("from-")));
    }
}
