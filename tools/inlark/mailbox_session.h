#pragma once
// What every mailbox subcommand shares: where the mailbox is, how to log in, and one logged-in session.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include "inlark/pop3_session.h"
#include "tools/inlark/failure_cause.h"

namespace inlark_tool {

enum class LoginMethod { kUserPass, kPlain };

struct MailboxOptions {
    std::string server;
    std::int32_t port = 0;  // 0: 110, or 995 with --security tls
    std::string user;
    std::string passwordFile;   // empty: the INLARK_PASSWORD environment variable
    std::int32_t timeout = 60;  // seconds
    bool byAddress = false;
    inlark::Pop3Security security = inlark::Pop3Security::kNone;
    std::string trustFile;  // empty: the system's CA store
    LoginMethod login = LoginMethod::kUserPass;
};

// The port to connect to: the given one, else the usual one for the security mode.
std::int32_t EffectivePort(const MailboxOptions& options);

// Adds --server, --port, --user, --password-file, --timeout, --address, --security, --trust-file and --auth
// to a subcommand. A time-out below one second is refused at parse time.
void AddMailboxOptions(CLI::App& command, MailboxOptions& options);

// A connected and logged-in mailbox; leaves without QUIT unless asked. Progress lines go to standard error.
class MailboxSession {
  public:
    explicit MailboxSession(const MailboxOptions& options) : options_(options) {}
    MailboxSession(const MailboxSession&) = delete;
    MailboxSession& operator=(const MailboxSession&) = delete;

    // Connects and logs in; false (with the reason printed) when that fails.
    [[nodiscard]] bool Open();
    // Ends the session with QUIT, which makes the server carry out deletions. False when QUIT failed.
    [[nodiscard]] bool Quit();
    // QUIT after a command that only read: a refusal is a warning, since what was asked for arrived.
    // Always 0, the exit status.
    int QuitAfterReading(const std::string& done);

    inlark::Pop3Session& Session() { return session_; }

    // The value of `result`; on failure prints "inlark: <what> failed: <cause>" (or leaves that text in
    // `failure` when given) and gives nothing.
    template <typename T>
    std::optional<T> Check(const std::string& what, CommandKind kind, mailcore::Result<T> result,
                           std::string* failure = nullptr) {
        if (result) return std::move(*result);
        Report(what, kind, result.error(), failure);
        return std::nullopt;
    }
    bool Check(const std::string& what, CommandKind kind, const mailcore::Result<void>& result,
               std::string* failure = nullptr) {
        if (result) return true;
        Report(what, kind, result.error(), failure);
        return false;
    }

  private:
    void Report(const std::string& what, CommandKind kind, const mailcore::Failure& error,
                std::string* failure);

    const MailboxOptions& options_;
    // Without QUIT the server forgets the session's deletions, which is what an aborted run wants.
    inlark::Pop3Session session_;
};

}  // namespace inlark_tool
