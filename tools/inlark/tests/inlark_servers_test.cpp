// The inlark program against the real Dovecot: scan and the header-only top.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "testing/mail_servers_env/line_connection.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/real_servers_test.h"
#include "tools/inlark/tests/run_inlark.h"

namespace {

using inlark_tool_test::Outcome;
using inlark_tool_test::RunInlark;
using inlark_tool_test::RunProgram;

class InlarkDovecot : public mirelo::mail_servers::RealServersTest {
  protected:
    std::vector<std::string> Args(std::vector<std::string> command) const {
        for (const std::string& a :
             {std::string("-s"), env().host, std::string("-p"), std::to_string(env().pop3Port),
              std::string("-u"), mailbox().user, std::string("--timeout"), std::string("10")}) {
            command.push_back(a);
        }
        return command;
    }
    Outcome Run(const std::vector<std::string>& command) const {
        return RunInlark(Args(command), mailbox().password.c_str());
    }
    static std::vector<std::string> With(std::vector<std::string> command,
                                         const std::vector<std::string>& more) {
        command.insert(command.end(), more.begin(), more.end());
        return command;
    }
    void Drop(const std::string& message) const {
        ASSERT_EQ(mirelo::mail_servers::DropMessage(mailbox().maildir, message), "");
    }
};

TEST_F(InlarkDovecot, RefusesTopWithoutALineCountButNotWithZero) {
    // Why the tool sends "TOP n 0" and never "TOP n" alone.
    Drop("From: a@mirelo.test\nSubject: one\n\nbody\n");
    mirelo::mail_servers::LineConnection pop3;
    ASSERT_EQ(pop3.Connect(env().host, env().pop3Port), "");
    std::string line;
    ASSERT_EQ(pop3.ReadLine(&line), "");
    for (const std::string& command : {"USER " + mailbox().user, "PASS " + mailbox().password}) {
        ASSERT_EQ(pop3.Send(command + "\r\n"), "");
        ASSERT_EQ(pop3.ReadLine(&line), "");
        ASSERT_TRUE(line.starts_with("+OK")) << line;
    }
    ASSERT_EQ(pop3.Send("TOP 1\r\n"), "");
    ASSERT_EQ(pop3.ReadLine(&line), "");
    EXPECT_TRUE(line.starts_with("-ERR")) << line;
    ASSERT_EQ(pop3.Send("TOP 1 0\r\n"), "");
    ASSERT_EQ(pop3.ReadLine(&line), "");
    EXPECT_TRUE(line.starts_with("+OK")) << line;
    std::string header;
    ASSERT_EQ(pop3.ReadMultiline(&header), "");
    // The header and the empty line after it, and nothing of the body.
    EXPECT_EQ(header.find("\r\n\r\n") + 4, header.size()) << header;
    EXPECT_EQ(header.find("body"), std::string::npos) << header;
    ASSERT_EQ(pop3.Send("QUIT\r\n"), "");
}

TEST_F(InlarkDovecot, TopPrintsTheHeaderAlone) {
    Drop("From: a@mirelo.test\nSubject: one\n\nfirst body line\nsecond\n");
    const Outcome whole = Run({"retrieve", "1", "-o", "-"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::size_t end = whole.out.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos) << whole.out;
    const std::string header = whole.out.substr(0, end + 4);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"top", "1"}, {"top", "1", "0"}}) {
        Outcome exact = Run(With(command, {"-o", "-"}));
        EXPECT_EQ(exact.status, 0) << exact.err;
        EXPECT_EQ(exact.out, header);
        Outcome shown = Run(command);
        EXPECT_EQ(shown.status, 0) << shown.err;
        EXPECT_TRUE(shown.out.find("Subject: one\n") != std::string::npos) << shown.out;
        EXPECT_TRUE(shown.out.ends_with("\n\n")) << shown.out;
        EXPECT_EQ(shown.out.find("first body line"), std::string::npos) << shown.out;
    }
    Outcome withLines = Run({"top", "1", "1"});
    EXPECT_EQ(withLines.status, 0) << withLines.err;
    EXPECT_TRUE(withLines.out.ends_with("\n\nfirst body line\n")) << withLines.out;
}

TEST_F(InlarkDovecot, ScanShowsEveryMessageAndRefusalsShowDovecotsText) {
    Drop("From: \"Taro\" <taro@mirelo.test>\nSubject: first\nDate: Mon, 7 Dec 2026 09:30:15 +0900\n\nbody\n");
    Drop("From: hana@mirelo.test\nSubject: second\x07\x7f\n\nbody\n");
    Outcome scanned = Run({"scan"});
    ASSERT_EQ(scanned.status, 0) << scanned.err;
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = scanned.out.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(scanned.out.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 2u) << scanned.out;
    EXPECT_TRUE(lines[0].starts_with("1\t")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("\t2026-12-07 09:30:15\tTaro <taro@mirelo.test>\tfirst")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("2\t")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("\t\thana@mirelo.test\tsecond??")) << lines[1];
    EXPECT_EQ(scanned.out.find('\x07'), std::string::npos);

    Outcome json = Run({"scan", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(json.out.starts_with("{\"number\":1,\"size\":")) << json.out;
    EXPECT_NE(json.out.find("\"subject\":\"second??\"}\n"), std::string::npos) << json.out;

    Outcome missing = Run({"retrieve", "3"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("inlark: RETR 3 failed: the server refused it: -ERR "), std::string::npos)
        << missing.err;
    EXPECT_EQ(mirelo::mail_servers::CountMessages(mailbox().maildir), 2u);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every byte but CR and LF, in lines of 64, and the lines a retrieval must unstuff.
std::string EightBitMessage() {
    std::string message = "From: a@mirelo.test\nSubject: every byte\n\n";
    std::string line;
    for (int c = 1; c < 256; ++c) {
        if (c == '\r' || c == '\n') continue;
        line += static_cast<char>(c);
        if (line.size() == 64) message += line + "\n", line.clear();
    }
    return message + line + "\n.\n..\n.x\n";
}

std::string LargeMessage() {
    std::string message = "From: a@mirelo.test\nSubject: nine MiB\n\n";
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    while (message.size() < 9 * 1024 * 1024) {
        for (std::size_t i = 0; i < 76; ++i) message += alphabet[(message.size() + i * 7) % alphabet.size()];
        message += '\n';
    }
    return message;
}

// What the tool writes with -o is what curl, another client, receives: byte for byte, whatever the bytes.
TEST_F(InlarkDovecot, RetrieveToAFileWritesTheBytesCurlReceives) {
    const std::vector<std::pair<const char*, std::string>> messages = {
        {"UTF-8",
         "From: a@mirelo.test\nSubject: \xe6\x97\xa5\xe6\x9c\xac\nContent-Type: text/plain; charset=utf-8\n\n"
         "\xe6\x9c\xac\xe6\x96\x87 \xc3\xbc\n"},
        {"Latin-1", "From: a@mirelo.test\nSubject: caf\xe9\n\n\xe0 la carte \xff\n"},
        {"8-bit", EightBitMessage()},
        {"NUL", std::string("From: a@mirelo.test\nSubject: nul\n\nbefore\0after\n\0\n", 48)},
        {"9 MiB", LargeMessage()},
    };
    for (const auto& [name, message] : messages) Drop(message);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("inlark-exact-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        SCOPED_TRACE(messages[i].first);
        const std::string number = std::to_string(i + 1);
        const std::filesystem::path ours = dir / ("inlark-" + number), theirs = dir / ("curl-" + number);
        Outcome retrieved = Run({"retrieve", number, "-o", ours.string()});
        ASSERT_EQ(retrieved.status, 0) << retrieved.err;
        Outcome curl = RunProgram(
            {"curl", "-s", "-S", "-o", theirs.string(), "-u", mailbox().user + ":" + mailbox().password,
             "pop3://" + env().host + ":" + std::to_string(env().pop3Port) + "/" + number},
            nullptr);
        ASSERT_EQ(curl.status, 0) << curl.err;
        const std::string bytes = ReadFile(ours);
        EXPECT_GE(bytes.size(), messages[i].second.size());
        EXPECT_TRUE(bytes == ReadFile(theirs))
            << "inlark wrote " << bytes.size() << " bytes, curl " << std::filesystem::file_size(theirs);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

TEST_F(InlarkDovecot, SecureConnectionsRetrieveTheSameBytes) {
    Drop("From: a@mirelo.test\nSubject: secure\n\nbody\n.dotted\n");
    const Outcome plain = Run({"retrieve", "1", "-o", "-"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const std::string pop3s = std::to_string(env().pop3sPort);
    const std::string plainPort = std::to_string(env().pop3Port);
    struct Row {
        const char* name;
        std::vector<std::string> options;
        int status;
        const char* inErr;
    };
    const std::vector<Row> rows = {
        {"tls", {"-p", pop3s, "--security", "tls", "--trust-file", env().caFile}, 0, "over TLS"},
        {"stls, AUTH PLAIN",
         {"-p", plainPort, "--security", "stls", "--trust-file", env().caFile, "--auth", "plain"},
         0,
         "logged in"},
        {"tls without the test CA", {"-p", pop3s, "--security", "tls"}, 1, "certificate was not accepted"},
        {"tls to the plain port",
         {"-p", plainPort, "--security", "tls", "--trust-file", env().caFile},
         1,
         "no TLS session"},
        {"unknown mode", {"--security", "ssl"}, 2, "--security"},
        {"unknown log-in", {"--auth", "login"}, 2, "--auth"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = RunInlark(
            With({"retrieve", "1", "-o", "-", "-s", env().host, "-u", mailbox().user, "--timeout", "10"},
                 row.options),
            mailbox().password.c_str());
        EXPECT_EQ(outcome.status, row.status) << outcome.err;
        EXPECT_NE(outcome.err.find(row.inErr), std::string::npos) << outcome.err;
        if (row.status == 0) {
            EXPECT_EQ(outcome.out, plain.out);
        } else {
            EXPECT_EQ(outcome.out, "");
        }
    }
}
