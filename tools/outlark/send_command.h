#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mail_options.h"

namespace outlark_tool {

struct ServerOptions {
    std::string server;
    std::int32_t port = 25;
    std::int32_t send_timeout = 30;  // seconds
    std::int32_t recv_timeout = 30;
    bool by_address = false;
    std::string log_file;           // empty: no send record
    std::string security = "none";  // none, starttls or tls
    std::string trust_file;         // empty: the system's CA store
    std::string user;               // empty: no log-in
    std::string password_file;      // empty: $OUTLARK_PASSWORD
};

// One-shot send; prints the status code and its meaning, and on a failure its cause on standard error.
// The exit status: 0 when the mail was accepted, 1 when the send failed, 2 when a request the component
// would refuse (a bad port, an address beyond its room) was turned down before connecting.
int RunSend(const MailOptions& mail, const ServerOptions& server);

// The external sender command line: LOG SERVER TO FROM SUBJECT BODY [FILENAME], SERVER as host or
// host:port. Sends synchronously and writes the send record to LOG, also for a send refused outright.
int RunExternalSender(int argc, char** argv);

}  // namespace outlark_tool
