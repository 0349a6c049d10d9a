#pragma once
// Hands a message to the real Postfix with a minimal SMTP exchange, so tests can fill mailboxes
// without the project's own SMTP client.

#include <string>
#include <vector>

#include "testing/mail_servers_env/mail_servers_env.h"

namespace mirelo::mail_servers {

// message is the whole mail (headers, blank line, body), lines ending in LF or CR LF; it is sent
// dot-stuffed with CR LF. Returns an empty string once Postfix accepted it, otherwise the failing step
// and the server's reply. Delivery into the Maildir happens afterwards: see WaitForMessages.
[[nodiscard]] std::string DeliverMail(const MailServersEnv& env, const std::string& from,
                                      const std::vector<std::string>& recipients, const std::string& message);

// "From:", "To:", "Subject:" and "Date:" headers, a blank line and the body.
[[nodiscard]] std::string SimpleMessage(const std::string& from, const std::string& to,
                                        const std::string& subject, const std::string& body);

}  // namespace mirelo::mail_servers
