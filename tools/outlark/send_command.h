#pragma once

#include <cstdint>
#include <string>

#include "tools/outlark/mail_options.h"

namespace outlark_tool {

struct ServerOptions {
    std::string server;
    std::int32_t port = 25;
    std::int32_t send_timeout = 30;  // seconds
    std::int32_t recv_timeout = 30;
    bool by_address = false;
    std::string log_file;  // empty: no send record
};

// One-shot send; prints the status code and its meaning. The exit status: 0 when the mail was accepted.
int RunSend(const MailOptions& mail, const ServerOptions& server);

// The external sender command line: LOG SERVER TO FROM SUBJECT BODY [FILENAME], SERVER as host or
// host:port. Sends synchronously and writes the send record to LOG.
int RunExternalSender(int argc, char** argv);

}  // namespace outlark_tool
