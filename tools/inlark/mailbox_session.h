#pragma once
// What every mailbox subcommand shares: where the mailbox is, how to log in, and one logged-in session.

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "inlark/pop3.h"
#include "tools/inlark/failure_cause.h"

namespace inlark_tool {

struct MailboxOptions {
    std::string server;
    std::int32_t port = 110;
    std::string user;
    std::string passwordFile;   // empty: the INLARK_PASSWORD environment variable
    std::int32_t timeout = 60;  // seconds
    bool byAddress = false;
};

// Adds --server, --port, --user, --password-file, --timeout and --address to a subcommand. A time-out
// below one second is refused at parse time.
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
    // QUIT after a command that only read: a refusal is a warning, since what was asked for arrived.
    // Always 0, the exit status.
    int QuitAfterReading(const std::string& done);

    inlark::Pop3& Pop3() { return pop3_; }

    // Runs `call(pop3, &result)`; on failure prints "inlark: <what> failed: <cause>" (or leaves that text
    // in `failure` when given) and returns false.
    template <typename Call>
    bool Run(const std::string& what, CommandKind kind, Call&& call, std::string* failure = nullptr) {
        const auto started = std::chrono::steady_clock::now();
        std::int32_t result = 0;
        call(pop3_, &result);
        if (result == 1) return true;
        std::string text = Describe(what, kind, result,
                                    std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - started));
        if (failure != nullptr) {
            *failure = std::move(text);
        } else {
            Print(text);
        }
        return false;
    }

  private:
    std::string Describe(const std::string& what, CommandKind kind, std::int32_t result,
                         std::chrono::milliseconds elapsed);
    static void Print(const std::string& failure);

    const MailboxOptions& options_;
    inlark::Pop3 pop3_;
};

}  // namespace inlark_tool
