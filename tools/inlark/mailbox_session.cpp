#include "tools/inlark/mailbox_session.h"

#include <cstdlib>
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
        ->capture_default_str();
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

void MailboxSession::ReportFailure(const std::string& what, std::int32_t result) {
    std::cerr << "inlark: " << what << " failed";
    switch (result) {
        case -1:
            std::cerr << ": busy\n";
            return;
        case -2:
            std::cerr << ": bad argument\n";
            return;
        case -3:
            std::cerr << ": user name longer than 32 bytes\n";
            return;
        case -4:
            std::cerr << ": password longer than 32 bytes\n";
            return;
        case -5:
            std::cerr << ": already connected\n";
            return;
    }
    std::u16string reply;
    pop3_.GetMessage(&reply);
    std::string text = ToUtf8(reply);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty()) {
        std::cerr << " (no reply, or a negative one)\n";
    } else {
        std::cerr << ": " << text << "\n";
    }
}

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
    std::int32_t result = 0;
    if (options_.byAddress) {
        pop3_.ConnectByAddr(FromUtf8(options_.server), &result);
    } else {
        pop3_.ConnectByName(FromUtf8(options_.server), &result);
    }
    if (result != 1) {
        ReportFailure("connecting to " + options_.server + ":" + std::to_string(options_.port), result);
        return false;
    }
    std::cerr << "connected to " << options_.server << ":" << options_.port << "\n";
    pop3_.Authorize(FromUtf8(options_.user), FromUtf8(*password), &result);
    if (result != 1) {
        ReportFailure("logging in as " + options_.user, result);
        return false;
    }
    std::cerr << "logged in as " << options_.user << "\n";
    return true;
}

bool MailboxSession::Quit() {
    std::int32_t result = 0;
    pop3_.QUIT(&result);
    if (result != 1) {
        ReportFailure("QUIT", result);
        return false;
    }
    return true;
}

MailboxSession::~MailboxSession() {
    std::int32_t result = 0;
    // Without QUIT the server forgets the session's deletions, which is what an aborted run wants.
    pop3_.Destroy(&result);
}

}  // namespace inlark_tool
