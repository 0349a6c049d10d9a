#pragma once
// What every mailbox subcommand shares: where the mailbox is, how to log in, and one logged-in session.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>

#include "inlark/pop3.h"

namespace inlark_tool {

struct MailboxOptions {
    std::string server;
    std::int32_t port = 110;
    std::string user;
    std::string passwordFile;   // empty: the INLARK_PASSWORD environment variable
    std::int32_t timeout = 60;  // seconds
    bool byAddress = false;
};

// Adds --server, --port, --user, --password-file, --timeout and --address to a subcommand.
void AddMailboxOptions(CLI::App& command, MailboxOptions& options);

// The password from --password-file (its first line) or from INLARK_PASSWORD; never from the argument
// list, where other users of the machine could read it. Nothing when neither gives one.
std::optional<std::string> ReadPassword(const MailboxOptions& options, std::string& problem);

// Text for the terminal (UTF-8) from the component's text, and back.
std::string ToUtf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& text);

// A connected and logged-in mailbox; QUIT and Destroy when it goes. Progress lines go to standard error.
class MailboxSession {
  public:
    explicit MailboxSession(const MailboxOptions& options) : options_(options) {}
    ~MailboxSession();
    MailboxSession(const MailboxSession&) = delete;
    MailboxSession& operator=(const MailboxSession&) = delete;

    // Connects and logs in; false (with the reason printed) when that fails.
    [[nodiscard]] bool Open();
    // Ends the session with QUIT, which makes the server carry out deletions. False when QUIT failed.
    [[nodiscard]] bool Quit();

    inlark::Pop3& Pop3() { return pop3_; }
    // Prints "inlark: <what> failed: <server's reply>" to standard error.
    void ReportFailure(const std::string& what, std::int32_t result);

  private:
    const MailboxOptions& options_;
    inlark::Pop3 pop3_;
};

}  // namespace inlark_tool
