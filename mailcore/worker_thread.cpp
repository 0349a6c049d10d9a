#include "mailcore/worker_thread.h"

#include <utility>

namespace mailcore {

WorkerThread::~WorkerThread() { Join(); }

bool WorkerThread::Start(Job job, CompletionQueue& queue) {
    if (Running()) return false;
    // Not running: the last thread is past its outcome and ends at once.
    Join();
    running_.store(true, std::memory_order_release);
    try {
        thread_ = std::thread([this, job = std::move(job), &queue] {
            std::int32_t outcome = 0;
            try {
                outcome = job();
            } catch (...) {
                // Nothing may leave a thread: it would end the host's process.
            }
            {
                std::lock_guard lock(mutex_);
                running_.store(false, std::memory_order_release);
            }
            ended_.notify_all();
            try {
                queue.Post(outcome);
            } catch (...) {
                // A wake-up that threw (the outcome was queued before it ran), or no memory to queue it.
            }
        });
    } catch (...) {
        // No thread (std::system_error) or no memory for one.
        running_.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

bool WorkerThread::WaitIdle(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, wait, [this] { return !Running(); });
}

void WorkerThread::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace mailcore
