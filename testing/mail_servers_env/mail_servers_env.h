#pragma once
// What the real-server harness (testing/servers/mail-servers) is running, read from the env file it writes.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirelo::mail_servers {

// Names the env file; ./dev test sets it, so its absence means "no real servers here".
inline constexpr const char* kEnvVariable = "MIRELO_SERVERS_ENV";

struct Mailbox {
    std::string user;
    std::string password;
    std::string address;  // user@domain; Postfix delivers it into maildir
    std::string maildir;  // holds cur/, new/ and tmp/
};

struct MailServersEnv {
    std::string host;
    int pop3Port = 0;
    int smtpPort = 0;
    int pop3sPort = 0;       // POP3 in TLS from the first byte
    int smtpsPort = 0;       // SMTP in TLS from the first byte; AUTH offered, not required
    int submissionPort = 0;  // SMTP with STARTTLS; mail only after AUTH (offered with and without TLS)
    std::string caFile;      // PEM; the only CA that signed the servers' certificate
    std::string domain;
    std::string logsDir;
    std::string locksDir;
    std::vector<Mailbox> mailboxes;

    // nullptr when no mailbox has that user name.
    [[nodiscard]] const Mailbox* Find(std::string_view user) const;
};

// Both return an empty string on success, otherwise what is wrong (naming the key or the file).
[[nodiscard]] std::string ParseMailServersEnv(std::string_view text, MailServersEnv* env);
[[nodiscard]] std::string LoadMailServersEnv(const std::string& path, MailServersEnv* env);

// For benchmark programs: the running servers, or nothing when none run (after a line on standard output
// that `program` is skipped). An env file that cannot be read ends the program with status 1.
[[nodiscard]] std::optional<MailServersEnv> BenchmarkServers(const char* program);

}  // namespace mirelo::mail_servers
