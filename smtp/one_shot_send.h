#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "mailcore/failure.h"
#include "mailcore/mail_socket.h"
#include "smtp/smtp_session.h"

namespace outlark {

class SmtpEngine;

// Everything a one-shot send needs, copied, so a worker can own it.
struct SendJob {
    std::string server;
    std::int32_t port = 25;
    std::int32_t send_timeout_ms = 30000;
    std::int32_t recv_timeout_ms = 30000;
    enum class Resolve { kByName, kByAddress } kind = Resolve::kByName;
    OneShotMail mail;
    // TLS from the first byte, or STARTTLS after EHLO, verified for `server` as given.
    mailcore::ConnectionSecurity security;
    bool log_in = false;  // AUTH as `user` (UTF-8) with `password`
    std::string user, password;
};

struct OneShotOutcome {
    std::int32_t status = kSendOk;
    // Why it failed: the engine's record, or else the refused step with the server's reply; kind None after
    // a success.
    mailcore::Failure failure;
};

// Connects a fresh engine of its own, runs the send steps, and closes (without QUIT after a failure). A
// failed TLS handshake at the connect is a TLS failure, not a failed connect.
OneShotOutcome RunOneShot(const SendJob& job);

// The same on `engine`, which must not be connected (the greeting is awaited with the time-outs its socket
// has); `cancelled`, set by another thread, names a cancel as the cause of a failure.
OneShotOutcome RunOneShot(const SendJob& job, SmtpEngine& engine,
                          const std::atomic<bool>* cancelled = nullptr);

}  // namespace outlark
