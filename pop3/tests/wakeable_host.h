#pragma once
// A test host for the asynchronous POP3 control.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "inlark/pop3.h"

namespace inlark {

// A host that sleeps until the wake-up callback says an outcome waits, then drains on its own thread.
class WakeableHost {
  public:
    explicit WakeableHost(Pop3& pop3) : pop3_(pop3) {
        pop3_.SetWakeUp([this] {
            std::lock_guard lock(mutex_);
            ++wakeups_;
            wakeupThread_ = std::this_thread::get_id();
            woken_.notify_all();
        });
    }
    // Waits for one more wake-up, then raises the waiting events here.
    void AwaitEvent(std::chrono::seconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(woken_.wait_for(lock, timeout, [&] { return wakeups_ > handled_; }));
        handled_ = wakeups_;
        lock.unlock();
        pop3_.ProcessEvents();
    }
    std::thread::id WakeupThread() {
        std::lock_guard lock(mutex_);
        return wakeupThread_;
    }

  private:
    Pop3& pop3_;
    std::mutex mutex_;
    std::condition_variable woken_;
    int wakeups_ = 0;
    int handled_ = 0;
    std::thread::id wakeupThread_;
};

}  // namespace inlark
