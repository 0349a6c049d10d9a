#pragma once

#include <cstdint>
#include <string>

#include "smtp/smtp_session.h"

namespace outlark {

// Everything a one-shot send needs, copied, so a worker can own it.
struct SendJob {
    std::string server;
    std::int32_t port = 25;
    std::int32_t send_timeout_ms = 30000;
    std::int32_t recv_timeout_ms = 30000;
    enum class Resolve { kByName, kByAddress } kind = Resolve::kByName;
    OneShotMail mail;
};

// Connects a fresh engine of its own, runs the send steps, and closes (without QUIT after a failure).
std::int32_t RunOneShot(const SendJob& job);

}  // namespace outlark
