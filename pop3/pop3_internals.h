#pragma once
// Test seam into a Pop3 control: millisecond time-outs instead of seconds, and its engine.

#include <chrono>
#include <cstdint>

#include "inlark/pop3.h"
#include "pop3/pop3_state.h"

namespace inlark {

class Pop3Internals {
  public:
    static void SetTimeoutsMs(Pop3& pop3, std::int32_t sendMs, std::int32_t recvMs) {
        pop3.state_->sendTimeoutMs = sendMs;
        pop3.state_->recvTimeoutMs = recvMs;
    }
    static void SetDisconnectWait(Pop3& pop3, std::chrono::milliseconds wait) {
        pop3.state_->disconnectWait = wait;
    }
    static std::int32_t SendTimeoutMs(const Pop3& pop3) { return pop3.state_->sendTimeoutMs; }
    static std::int32_t RecvTimeoutMs(const Pop3& pop3) { return pop3.state_->recvTimeoutMs; }
    // Null until the first connect.
    static Pop3Engine* Engine(Pop3& pop3) { return pop3.state_->engine.get(); }
    // The engine the next connect will use, created now so a test can prepare its socket.
    static Pop3Engine& EnsureEngine(Pop3& pop3) {
        if (!pop3.state_->engine) pop3.state_->engine = std::make_unique<Pop3Engine>();
        return *pop3.state_->engine;
    }
};

}  // namespace inlark
