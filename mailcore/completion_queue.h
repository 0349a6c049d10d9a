#pragma once
// Carries the outcome of a command that ran on a worker thread to the host's thread. The worker posts;
// the host drains the queue on its own thread, either when it polls or after the wake-up callback told it
// that something is waiting.

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace mailcore {

class CompletionQueue {
  public:
    // Runs on the posting (worker) thread right after each post. It must only arrange for the host's
    // thread to drain the queue; it must not call back into the component.
    using Wakeup = std::function<void()>;

    void SetWakeup(Wakeup wakeup);
    [[nodiscard]] bool HasWakeup() const;

    // Any thread.
    void Post(std::int32_t status);
    // The host's thread: every outcome posted so far, oldest first.
    [[nodiscard]] std::vector<std::int32_t> TakeAll();

  private:
    mutable std::mutex mutex_;
    std::vector<std::int32_t> pending_;
    Wakeup wakeup_;
};

}  // namespace mailcore
