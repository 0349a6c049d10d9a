#pragma once
// The one worker thread of a control's engine or of its one-shot send: at most one job at a time, its
// outcome posted to the host's completion queue.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "mailcore/completion_queue.h"

namespace mailcore {

class WorkerThread {
  public:
    // Everything the job needs must be in it, copied, before Start: nothing is handed over later.
    using Job = std::function<std::int32_t()>;

    WorkerThread() = default;
    // Waits for a running job and joins.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs `job` on a new thread after joining the previous one. The thread marks itself not running
    // before it posts the job's outcome (0 when the job threw), so a host that starts the next job from
    // that event is never told "busy". False when a job still runs or no thread could be started.
    [[nodiscard]] bool Start(Job job, CompletionQueue& queue);
    bool Running() const { return running_.load(std::memory_order_acquire); }
    // Waits at most `wait` for a running job to end; true when none runs.
    bool WaitIdle(std::chrono::milliseconds wait);
    // Waits for the thread to end.
    void Join();

  private:
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::mutex mutex_;
    std::condition_variable ended_;
};

}  // namespace mailcore
