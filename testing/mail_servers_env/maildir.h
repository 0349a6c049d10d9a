#pragma once
// Direct access to a Maildir that Dovecot serves: counting, waiting for delivery, emptying, and dropping
// messages in without SMTP (fast seeding for benchmarks).

#include <chrono>
#include <cstddef>
#include <string>

namespace mirelo::mail_servers {

// Messages in new/ and cur/.
[[nodiscard]] std::size_t CountMessages(const std::string& maildir);

// Polls until at least count messages are there. Empty string on success, otherwise how many arrived.
[[nodiscard]] std::string WaitForMessages(const std::string& maildir, std::size_t count,
                                          std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Removes every message; Dovecot notices at the next session. Empty string on success.
[[nodiscard]] std::string EmptyMaildir(const std::string& maildir);

// Writes message into tmp/ and renames it into new/, as a delivery agent does, owned like the Maildir.
// Line ends are stored as LF, the Maildir convention; Dovecot serves them as CR LF.
[[nodiscard]] std::string DropMessage(const std::string& maildir, const std::string& message);

}  // namespace mirelo::mail_servers
