// outlark send through the real Postfix: the message delivered to the Maildir is what outlark compose
// prints, byte for byte, apart from the headers Postfix adds and the Date (testing/servers/mail-servers;
// skipped when those servers are not running).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/real_servers_test.h"

namespace {

namespace fs = std::filesystem;
namespace ms = mirelo::mail_servers;

std::string RunOutlark(const std::string& arguments) {
    std::string command = std::string(OUTLARK_PROGRAM) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

// Header lines Postfix adds or both sides write with their own time.
std::string WithoutLines(std::string message, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        size_t at = message.find(std::string("\r\n") + name);
        if (at != std::string::npos) message.erase(at, message.find("\r\n", at + 2) - at);
    }
    return message;
}

class OutlarkServers : public ms::RealServersTest {};

TEST_F(OutlarkServers, DeliveredMessageIsWhatComposePrints) {
    struct Case {
        const char* subject;
        const char* body;
    };
    const Case cases[] = {
        {"bare CR", "one\rtwo\n.\n..three\r\n"},
        {"\xe6\x97\xa5\xe6\x9c\xac caf\xc3\xa9", "\xef\xbd\xb1\xef\xbd\xb2\r\xe6\x97\xa5\xe6\x9c\xac\n"},
    };
    char pattern[] = "/tmp/outlark-servers-XXXXXX";
    fs::path dir = mkdtemp(pattern);
    for (const Case& c : cases) {
        ASSERT_EQ(ms::EmptyMaildir(mailbox().maildir), "");
        fs::path body = dir / "body.txt";
        std::ofstream(body, std::ios::binary | std::ios::trunc) << c.body;
        std::string options = " -f phone@" + env().domain + " -t " + mailbox().address + " -s '" + c.subject +
                              "' -b " + body.string();
        std::string composed = RunOutlark("compose" + options);
        std::string status = RunOutlark("send -S " + env().host + " -p " + std::to_string(env().smtpPort) +
                                        " --send-timeout 10 --recv-timeout 10" + options);
        ASSERT_EQ(status, "1 the message was accepted by the server\n") << c.subject;
        ASSERT_EQ(ms::WaitForMessages(mailbox().maildir, 1), "");

        std::string delivered;
        for (const char* sub : {"new", "cur"}) {
            for (const auto& entry : fs::directory_iterator(fs::path(mailbox().maildir) / sub))
                delivered = ReadFile(entry.path());
        }
        // The Maildir stores LF; the wire had CR LF.
        std::string wire;
        for (char ch : delivered) {
            if (ch == '\n') wire.push_back('\r');
            wire.push_back(ch);
        }
        size_t start = wire.find("X-Mailer: ");
        ASSERT_NE(start, std::string::npos) << c.subject;
        EXPECT_EQ(WithoutLines(wire.substr(start), {"Date: ", "Message-Id: "}),
                  WithoutLines(composed, {"Date: "}))
            << c.subject;
    }
    fs::remove_all(dir);
}

}  // namespace

namespace {

// outlark send with TLS and a log-in whose password only the environment holds: over SMTPS, and with STARTTLS
// on the submission port, which takes mail only after AUTH.
TEST_F(OutlarkServers, SendsWithTlsAndTheEnvironmentsPassword) {
    const ms::Mailbox* sender = env().Find("phone");
    ASSERT_NE(sender, nullptr);
    struct Case {
        const char* security;
        int port;
    };
    const Case cases[] = {{"tls", env().smtpsPort}, {"starttls", env().submissionPort}};
    for (const Case& c : cases) {
        ASSERT_EQ(ms::EmptyMaildir(mailbox().maildir), "");
        const std::string subject = std::string("secured ") + c.security;
        std::string command = "env OUTLARK_PASSWORD=" + sender->password + " " + OUTLARK_PROGRAM +
                              " send -S " + env().host + " -p " + std::to_string(c.port) + " --security " +
                              c.security + " --trust-file " + env().caFile + " --user " + sender->user +
                              " -f " + sender->address + " -t " + mailbox().address + " -s '" + subject +
                              "' -b /dev/null --send-timeout 10 --recv-timeout 10 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string out;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
        ASSERT_EQ(out, "1 the message was accepted by the server\n") << c.security;
        ASSERT_EQ(ms::WaitForMessages(mailbox().maildir, 1), "");
        std::string delivered;
        for (const char* sub : {"new", "cur"}) {
            for (const auto& entry : fs::directory_iterator(fs::path(mailbox().maildir) / sub))
                delivered = ReadFile(entry.path());
        }
        EXPECT_NE(delivered.find(subject), std::string::npos) << c.security;
    }
}

}  // namespace
