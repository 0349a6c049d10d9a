#include "tools/inlark/mailbox_session.h"

#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>

#include "mailcore/wide_text.h"

namespace inlark_tool {

void AddMailboxOptions(CLI::App& command, MailboxOptions& options) {
    command.add_option("-s,--server", options.server, "POP3 server name (or address with --address)")
        ->required();
    command.add_option("-p,--port", options.port, "POP3 port")->capture_default_str();
    command.add_option("-u,--user", options.user, "user name")->required();
    command.add_option("--password-file", options.passwordFile,
                       "file whose first line is the password (default: $INLARK_PASSWORD)");
    command.add_option("--timeout", options.timeout, "send and receive time-out in seconds")
        ->capture_default_str()
        ->check(CLI::Validator(
            [](std::string& value) {
                try {
                    if (std::stoll(value) >= 1) return std::string();
                } catch (const std::exception&) {
                }
                return "the time-out must be a whole number of seconds, at least 1 (not " + value + ")";
            },
            "SECONDS>=1"));
    command.add_flag("--address", options.byAddress,
                     "the server is a numeric address (needs a reverse entry)");
}

std::optional<std::string> ReadPassword(const MailboxOptions& options, std::string& problem) {
    if (!options.passwordFile.empty()) {
        std::ifstream file(options.passwordFile);
        std::string line;
        if (!file || !std::getline(file, line)) {
            problem = "cannot read the password file " + options.passwordFile;
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    if (const char* value = std::getenv("INLARK_PASSWORD")) return std::string(value);
    problem = "no password: set INLARK_PASSWORD or give --password-file";
    return std::nullopt;
}

std::string ToUtf8(const std::u16string& text) { return mailcore::Cp932ToUtf8(mailcore::WideToCp932(text)); }

std::u16string FromUtf8(const std::string& text) {
    return mailcore::Cp932ToWide(mailcore::Utf8ToCp932(text));
}

std::string MailboxSession::Describe(const std::string& what, CommandKind kind, std::int32_t result,
                                     std::chrono::milliseconds elapsed) {
    CommandFailure failure{what, kind, result, {}, elapsed, options_.timeout};
    if (result >= 0) {
        std::u16string reply;
        pop3_.GetMessage(&reply);
        failure.reply = ToUtf8(reply);
        while (!failure.reply.empty() && (failure.reply.back() == '\n' || failure.reply.back() == '\r')) {
            failure.reply.pop_back();
        }
    }
    return DescribeFailure(failure);
}

void MailboxSession::Print(const std::string& failure) { std::cerr << "inlark: " << failure << "\n"; }

bool MailboxSession::Open() {
    std::string problem;
    std::optional<std::string> password = ReadPassword(options_, problem);
    if (!password) {
        std::cerr << "inlark: " << problem << "\n";
        return false;
    }
    pop3_.SetPort(options_.port);
    pop3_.SetSendTimeout(options_.timeout);
    pop3_.SetRecvTimeout(options_.timeout);
    const std::u16string server = FromUtf8(options_.server);
    const bool connected = Run("connecting to " + options_.server + ":" + std::to_string(options_.port),
                               CommandKind::kConnect, [&](inlark::Pop3& pop3, std::int32_t* result) {
                                   if (options_.byAddress) {
                                       pop3.ConnectByAddr(server, result);
                                   } else {
                                       pop3.ConnectByName(server, result);
                                   }
                               });
    if (!connected) return false;
    std::cerr << "connected to " << options_.server << ":" << options_.port << "\n";
    if (!Run("logging in as " + options_.user, CommandKind::kStatus,
             [&](inlark::Pop3& pop3, std::int32_t* result) {
                 pop3.Authorize(FromUtf8(options_.user), FromUtf8(*password), result);
             })) {
        return false;
    }
    std::cerr << "logged in as " << options_.user << "\n";
    return true;
}

bool MailboxSession::Quit() {
    return Run("QUIT", CommandKind::kStatus,
               [](inlark::Pop3& pop3, std::int32_t* result) { pop3.QUIT(result); });
}

int MailboxSession::QuitAfterReading(const std::string& done) {
    std::string failure;
    if (!Run(
            "QUIT", CommandKind::kStatus, [](inlark::Pop3& pop3, std::int32_t* result) { pop3.QUIT(result); },
            &failure)) {
        std::cerr << "inlark: warning: " << failure << " (" << done << ")\n";
    }
    return 0;
}

MailboxSession::~MailboxSession() {
    std::int32_t result = 0;
    // Without QUIT the server forgets the session's deletions, which is what an aborted run wants.
    pop3_.Destroy(&result);
}

}  // namespace inlark_tool
