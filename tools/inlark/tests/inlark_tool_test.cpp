// The inlark program against the scripted server: what it sends, prints and writes.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/scripted_server/scripted_server.h"
#include "tools/inlark/tests/run_inlark.h"

namespace {

using inlark_tool_test::Outcome;
using inlark_tool_test::RunInlark;
using scripted::Script;
using scripted::ScriptedServer;

std::vector<std::string> Mailbox(const char* command, const ScriptedServer& server,
                                 const char* timeout = "5") {
    return {command, "-s",   "127.0.0.1", "-p",   std::to_string(server.Port()),
            "-u",    "taro", "--timeout", timeout};
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// No escape, bell or other control byte reached the terminal.
bool TerminalClean(const std::string& text) {
    for (unsigned char c : text) {
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return false;
    }
    return !Has(text, "\xc2\x9b");
}

Script LoggedIn() {
    return Script()
        .Reply("+OK ready\r\n")
        .Expect("USER taro\r\n")
        .Reply("+OK\r\n")
        .Expect("PASS pw\r\n")
        .Reply("+OK\r\n");
}

TEST(InlarkTool, ListPrintsSizes) {
    ScriptedServer server(LoggedIn()
                              .Expect("STAT\r\n")
                              .Reply("+OK 2 320\r\n")
                              .Expect("LIST\r\n")
                              .Reply("+OK\r\n1 120\r\n2 200\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK bye\r\n"));
    Outcome outcome = RunInlark(Mailbox("list", server), "pw");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "2 messages, 320 octets\n1 120\n2 200\n");
    EXPECT_NE(outcome.err.find("logged in as taro"), std::string::npos);
    server.Stop();
    EXPECT_TRUE(server.Failures().empty()) << server.Failures().front();
}

TEST(InlarkTool, RetrieveWritesTheMessageWithoutItsEndLine) {
    ScriptedServer server(LoggedIn()
                              .Expect("RETR 3\r\n")
                              .Reply("+OK\r\nSubject: s\r\n\r\n..dot\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK\r\n"));
    auto path =
        std::filesystem::temp_directory_path() / ("inlark_tool_test_" + std::to_string(getpid()) + ".eml");
    auto args = Mailbox("retrieve", server);
    args.insert(args.end(), {"3", "-o", path.string()});
    Outcome outcome = RunInlark(args, "pw");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_EQ(content.str(), "Subject: s\r\n\r\n.dot\r\n");
    std::filesystem::remove(path);
}

TEST(InlarkTool, RetrParsePrintsJsonAndSavesAttachments) {
    ScriptedServer server(LoggedIn()
                              .Expect("RETR 1\r\n")
                              .Reply("+OK\r\nSubject: hello\r\nMIME-Version: 1.0\r\n"
                                     "Content-Type: multipart/mixed; boundary=b1\r\n\r\n"
                                     "--b1\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
                                     "--b1\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
                                     "Content-Transfer-Encoding: base64\r\n\r\nAAECAw==\r\n--b1--\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK\r\n"));
    auto dir = std::filesystem::temp_directory_path() / ("inlark_tool_parse_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto args = Mailbox("retr", server);
    args.insert(args.end(), {"1", "--parse", "--save-attachments", dir.string()});
    Outcome outcome = RunInlark(args, "pw");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("\"subject\": \"hello\""), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("\"name\": \"a.bin\""), std::string::npos) << outcome.out;
    EXPECT_EQ(std::filesystem::file_size(dir / "a.bin"), 4u);
    std::filesystem::remove_all(dir);
}

TEST(InlarkTool, RetrParseIsExactUnlessAskedForTheControlsReading) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{"1", "--parse"}, "\"subject\": \"Hi \xf0\x9f\x98\x80\""},
        {{"1", "--parse", "--spec-reading"}, "\"subject\": \"=?UTF-8?B?SGkg8J+YgA==?=\""},
    };
    for (const auto& [args, subject] : runs) {
        ScriptedServer server(LoggedIn()
                                  .Expect("RETR 1\r\n")
                                  .Reply("+OK\r\nSubject: =?UTF-8?B?SGkg8J+YgA==?=\r\n\r\nbody\r\n.\r\n")
                                  .Expect("QUIT\r\n")
                                  .Reply("+OK\r\n"));
        Outcome outcome = RunInlark(With(Mailbox("retr", server), args), "pw");
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_TRUE(Has(outcome.out, subject)) << outcome.out;
    }
    Outcome alone =
        RunInlark({"retr", "1", "--spec-reading", "-s", "127.0.0.1", "-p", "1", "-u", "taro"}, "pw");
    EXPECT_EQ(alone.status, 2) << alone.err;
}

TEST(InlarkTool, DeleteIsAllOrNothing) {
    ScriptedServer server(LoggedIn()
                              .Expect("DELE 1\r\n")
                              .Reply("+OK\r\n")
                              .Expect("DELE 2\r\n")
                              .Reply("-ERR no such message\r\n"));
    auto args = Mailbox("delete", server);
    args.insert(args.end(), {"1", "2", "3"});
    Outcome outcome = RunInlark(args, "pw");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("DELE 2 failed: the server refused it: -ERR no such message"),
              std::string::npos)
        << outcome.err;
    server.Stop();
    EXPECT_EQ(server.Received(), "USER taro\r\nPASS pw\r\nDELE 1\r\nDELE 2\r\n");  // no QUIT
}

TEST(InlarkTool, PasswordComesFromAFileOrTheEnvironmentOnly) {
    ScriptedServer server(LoggedIn()
                              .Expect("STAT\r\n")
                              .Reply("+OK 0 0\r\n")
                              .Expect("LIST\r\n")
                              .Reply("+OK\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK\r\n"));
    auto path = std::filesystem::temp_directory_path() / ("inlark_tool_pw_" + std::to_string(getpid()));
    std::ofstream(path) << "pw\nsecond line\n";
    auto args = Mailbox("list", server);
    args.insert(args.end(), {"--password-file", path.string()});
    Outcome outcome = RunInlark(args, "from-environment");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    std::filesystem::remove(path);

    ScriptedServer unused(Script().Reply("+OK\r\n"));
    Outcome missing = RunInlark(Mailbox("list", unused), nullptr);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("INLARK_PASSWORD"), std::string::npos);
    Outcome noOption = RunInlark({"list", "-s", "127.0.0.1", "-u", "taro", "--password", "pw"}, nullptr);
    EXPECT_NE(noOption.status, 0);
    unused.Stop(scripted::Milliseconds(0));
    EXPECT_EQ(unused.Accepted(), 0u);
}

// Each failure names the command and the cause, and shows the server's own refusal, cleaned.
TEST(InlarkTool, FailuresTellTheCause) {
    struct Case {
        const char* name;
        Script script;
        std::vector<std::string> command;
        const char* timeout;
        std::string message;
    };
    const std::string flood(11 * 1024 * 1024, 'x');
    Case cases[] = {
        {"no such message",
         LoggedIn().Expect("RETR 3\r\n").Reply("-ERR There's no message 3.\r\n"),
         {"retrieve", "3"},
         "5",
         "inlark: RETR 3 failed: the server refused it: -ERR There's no message 3.\n"},
        {"RETR refused",
         LoggedIn().Expect("RETR 3\r\n").Reply("-ERR locked\r\n"),
         {"retrieve", "3"},
         "5",
         "inlark: RETR 3 failed: the server refused it: -ERR locked\n"},
        {"RETR unanswered",
         LoggedIn().Expect("RETR 3\r\n").Silence(),
         {"retrieve", "3"},
         "1",
         "inlark: RETR 3 failed: no reply within 1 seconds"},
        {"DELE refused with control characters",
         LoggedIn().Expect("DELE 1\r\n").Reply("-ERR \x1b]0;owned\x07gone\x1b[2J\r\n"),
         {"delete", "1"},
         "5",
         "inlark: DELE 1 failed: the server refused it: -ERR ?]0;owned?gone?[2J\n"},
        {"connection closed at STAT",
         LoggedIn().Expect("STAT\r\n").Drop(),
         {"list"},
         "5",
         "inlark: STAT failed: the connection closed before the reply came\n"},
        {"closed before the greeting",
         Script().Drop(),
         {"list"},
         "5",
         " failed: no connection (name unknown, without a reverse entry, or connection refused) or it closed "
         "before the greeting\n"},
        {"log-in refused",
         Script().Reply("+OK ready\r\n").Expect("USER taro\r\n").Reply("-ERR [AUTH] no\r\n"),
         {"list"},
         "5",
         "inlark: logging in as taro failed: the server refused it: -ERR [AUTH] no\n"},
        {"over-long listing",
         LoggedIn()
             .Expect("STAT\r\n")
             .Reply("+OK 1 10\r\n")
             .Expect("LIST\r\n")
             .Reply("+OK listing\r\n")
             .Flood(flood.size(), 'x', 70),
         {"list"},
         "5",
         "inlark: LIST failed: the listing broke off after \"+OK listing\": longer than 10 MiB"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(std::move(c.script));
        Outcome outcome = RunInlark(With(Mailbox(c.command[0].c_str(), server, c.timeout),
                                         std::vector<std::string>(c.command.begin() + 1, c.command.end())),
                                    "pw");
        EXPECT_EQ(outcome.status, 1);
        EXPECT_TRUE(Has(outcome.err, c.message)) << outcome.err;
        EXPECT_FALSE(Has(outcome.err, "+OK\n"));
        EXPECT_TRUE(TerminalClean(outcome.err)) << outcome.err;
        EXPECT_TRUE(TerminalClean(outcome.out)) << outcome.out;
        server.Stop(scripted::Milliseconds(0));
    }
}

TEST(InlarkTool, ServerTextReachesTheTerminalWithoutControlCharacters) {
    ScriptedServer uids(LoggedIn()
                            .Expect("STAT\r\n")
                            .Reply("+OK 1 10\r\n")
                            .Expect("UIDL\r\n")
                            .Reply("+OK\r\n1 id\x1b[31m\x07\x7f\r\n.\r\n")
                            .Expect("QUIT\r\n")
                            .Reply("+OK\r\n"));
    Outcome listed = RunInlark(With(Mailbox("list", uids), {"--uidl"}), "pw");
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, "1 messages, 10 octets\n1 id?[31m??\n");

    ScriptedServer top(LoggedIn()
                           .Expect("TOP 2 3\r\n")
                           .Reply("+OK\r\nSubject: \x1b]2;title\x07hi\r\n\r\nbody\x1b[H\r\n.\r\n")
                           .Expect("QUIT\r\n")
                           .Reply("+OK\r\n"));
    Outcome shown = RunInlark(With(Mailbox("top", top), {"2", "3"}), "pw");
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, "Subject: ?]2;title?hi\n\nbody?[H\n");
}

TEST(InlarkTool, RetrieveToAFileKeepsTheBytesAsSent) {
    ScriptedServer server(LoggedIn()
                              .Expect("RETR 1\r\n")
                              .Reply("+OK\r\nSubject: \x1b[1mbold\r\n\r\nx\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK\r\n"));
    auto path = std::filesystem::temp_directory_path() / ("inlark_tool_raw_" + std::to_string(getpid()));
    Outcome outcome = RunInlark(With(Mailbox("retrieve", server), {"1", "-o", path.string()}), "pw");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_EQ(content.str(), "Subject: \x1b[1mbold\r\n\r\nx\r\n");
    std::filesystem::remove(path);
}

// A write that fails halfway (here: over the file-size limit) leaves nothing behind: no half-written mail,
// no temporary file, and an older file of that name as it was.
TEST(InlarkTool, RetrieveThatCannotWriteLeavesNothing) {
    const std::string body(5000, 'x');
    ScriptedServer server(LoggedIn()
                              .Expect("RETR 1\r\n")
                              .Reply("+OK\r\n" + body + "\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK\r\n"));
    const auto folder =
        std::filesystem::temp_directory_path() / ("inlark_tool_dir_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto target = folder / "mail.eml";
    std::ofstream(target) << "old";

    // Inherited by the tool: its write stops at 1,000 bytes with EFBIG instead of a signal.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{1000, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    Outcome outcome = RunInlark(With(Mailbox("retrieve", server), {"1", "-o", target.string()}), "pw");
    std::signal(SIGXFSZ, oldHandler);
    ::setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(Has(outcome.err, "cannot write")) << outcome.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    std::ifstream file(target);
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_EQ(content.str(), "old");
    std::filesystem::remove_all(folder);
}

// "TOP n 0" (RFC 1939): the header alone, printed as the server sent it, nothing cut away.
TEST(InlarkTool, TopWithoutLineCountAsksForTheHeaderAlone) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"4"}, {"4", "0"}}) {
        ScriptedServer server(LoggedIn()
                                  .Expect("TOP 4 0\r\n")
                                  .Reply("+OK\r\nFrom: a@b\r\nSubject: s\r\n\r\n.\r\n")
                                  .Expect("QUIT\r\n")
                                  .Reply("+OK\r\n"));
        Outcome outcome = RunInlark(With(Mailbox("top", server), args), "pw");
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.out, "From: a@b\nSubject: s\n\n");
        EXPECT_TRUE(Has(outcome.err, "header of message 4: 25 octets")) << outcome.err;
        server.Stop();
        EXPECT_TRUE(server.Failures().empty()) << server.Failures().front();
    }
}

TEST(InlarkTool, MessageNumbersStartAtOne) {
    for (const char* command : {"top", "retrieve", "delete"}) {
        Outcome outcome = RunInlark({command, "0", "-s", "127.0.0.1", "-p", "1", "-u", "taro"}, "pw");
        EXPECT_EQ(outcome.status, 2) << command;
        EXPECT_FALSE(Has(outcome.err, "connect")) << outcome.err;
    }
}

TEST(InlarkTool, TimeoutBelowOneSecondIsRefused) {
    for (const char* timeout : {"0", "-5", "soon"}) {
        Outcome outcome =
            RunInlark({"list", "-s", "127.0.0.1", "-p", "1", "-u", "taro", "--timeout", timeout}, "pw");
        EXPECT_EQ(outcome.status, 2) << timeout;
        EXPECT_TRUE(Has(outcome.err, "at least 1")) << outcome.err;
        EXPECT_FALSE(Has(outcome.err, "connect")) << outcome.err;
    }
}

TEST(InlarkTool, SizesAboveTwoGibibytesAreShownWhole) {
    ScriptedServer server(LoggedIn()
                              .Expect("STAT\r\n")
                              .Reply("+OK 2 5000000100\r\n")
                              .Expect("LIST\r\n")
                              .Reply("+OK\r\n1 5000000000\r\n2 100\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK\r\n"));
    Outcome outcome = RunInlark(Mailbox("list", server), "pw");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "2 messages, 5000000100 octets\n1 5000000000\n2 100\n");
    EXPECT_FALSE(Has(outcome.err, "warning")) << outcome.err;
}

// A size no 64-bit number holds is shown as unknown (0), never a crash.
TEST(InlarkTool, AbsurdSizeIsNoCrash) {
    const std::string huge = "99999999999999999999999";
    ScriptedServer server(LoggedIn()
                              .Expect("STAT\r\n")
                              .Reply("+OK 1 " + huge + "\r\n")
                              .Expect("LIST\r\n")
                              .Reply("+OK\r\n1 " + huge + "\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK\r\n"));
    Outcome outcome = RunInlark(Mailbox("list", server), "pw");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "1 messages, 0 octets\n1 0\n");
    EXPECT_FALSE(Has(outcome.err, "warning")) << outcome.err;
}

TEST(InlarkTool, RefusedQuitAfterReadingIsAWarning) {
    ScriptedServer server(LoggedIn()
                              .Expect("RETR 1\r\n")
                              .Reply("+OK\r\nSubject: s\r\n\r\nb\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("-ERR \x07"
                                     "cannot commit\r\n"));
    Outcome outcome = RunInlark(With(Mailbox("retrieve", server), {"1"}), "pw");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "Subject: s\n\nb\n");
    EXPECT_TRUE(Has(outcome.err,
                    "inlark: warning: QUIT failed: the server refused it: -ERR ?cannot commit "
                    "(message 1 was read)"))
        << outcome.err;

    ScriptedServer deleting(
        LoggedIn().Expect("DELE 1\r\n").Reply("+OK\r\n").Expect("QUIT\r\n").Reply("-ERR no\r\n"));
    Outcome deleted = RunInlark(With(Mailbox("delete", deleting), {"1"}), "pw");
    EXPECT_EQ(deleted.status, 1);  // the deletion may not have happened
    EXPECT_TRUE(Has(deleted.err, "inlark: QUIT failed: the server refused it: -ERR no")) << deleted.err;
}

TEST(InlarkTool, ScanListsEveryMessageInOneSession) {
    const std::string header1 =
        "MIME-Version: 1.0\r\nFrom: \"=?ISO-2022-JP?B?GyRCQkBPOhsoQg==?=\" <taro@example.jp>\r\n"
        "Subject: hello =?UTF-8?B?8J+YgA==?=\r\n"
        "Date: Mon, 7 Dec 2026 09:30:15 +0900\r\n\r\n.\r\n";
    const std::string header2 =
        "From: evil@example.com\r\nSubject: a\x07"
        "b\x7f\tgo\r\n\r\n.\r\n";
    auto script = [&] {
        return LoggedIn()
            .Expect("LIST\r\n")
            .Reply("+OK\r\n1 300\r\n2 3000000000\r\n.\r\n")
            .Expect("UIDL\r\n")
            .Reply("+OK\r\n1 uid-one\r\n2 uid\x1b-two\r\n.\r\n")
            .Expect("TOP 1 0\r\n")
            .Reply("+OK\r\n" + header1)
            .Expect("TOP 2 0\r\n")
            .Reply("+OK\r\n" + header2)
            .Expect("QUIT\r\n")
            .Reply("+OK\r\n");
    };
    ScriptedServer server(script());
    Outcome outcome = RunInlark(Mailbox("scan", server), "pw");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out,
              "1\t300\tuid-one\t2026-12-07 09:30:15\t\xe5\xa4\xaa\xe9\x83\x8e <taro@example.jp>\thello "
              "\xf0\x9f\x98\x80\n"
              "2\t3000000000\tuid?-two\t\tevil@example.com\ta?b? go\n");
    server.Stop();
    EXPECT_TRUE(server.Failures().empty()) << server.Failures().front();
    EXPECT_EQ(server.Accepted(), 1u);

    ScriptedServer json(script());
    Outcome lines = RunInlark(With(Mailbox("scan", json), {"--json"}), "pw");
    EXPECT_EQ(lines.status, 0) << lines.err;
    EXPECT_EQ(lines.out,
              "{\"number\":1,\"size\":300,\"uid\":\"uid-one\",\"date\":\"2026-12-07 09:30:15\","
              "\"from\":{\"name\":\"\xe5\xa4\xaa\xe9\x83\x8e\",\"address\":\"taro@example.jp\"},\"subject\":"
              "\"hello \xf0\x9f\x98\x80\"}\n"
              "{\"number\":2,\"size\":3000000000,\"uid\":\"uid?-two\",\"date\":null,"
              "\"from\":{\"name\":\"\",\"address\":\"evil@example.com\"},\"subject\":\"a?b?\\tgo\"}\n");
}

}  // namespace
