#pragma once
// SIGINT and SIGTERM as readable events instead of asynchronous handlers: both are blocked for the
// process and delivered through a signalfd, which the event loop watches like any socket. A signal that
// arrives during a check is therefore seen once the check is over.

#include <signal.h>

#include "mailcore/unique_fd.h"

namespace mirelo {

class StopSignals {
  public:
    // Call before any thread starts, so that every thread inherits the blocked mask.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // -1 when the signalfd could not be made (the signals then keep their default action).
    [[nodiscard]] int Fd() const { return fd_.get(); }
    // Takes the pending signals off the descriptor.
    void Drain();

  private:
    sigset_t previous_{};
    mailcore::UniqueFd fd_;
};

}  // namespace mirelo
