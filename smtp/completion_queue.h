#pragma once
// Where workers leave their outcomes for the host's thread (the control's "window").

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace outlark {

class CompletionQueue {
  public:
    void Post(std::int32_t status) {
        std::function<void()> wake_up;
        {
            std::lock_guard lock(mutex_);
            pending_.push_back(status);
            wake_up = wake_up_;
        }
        if (wake_up) wake_up();
    }
    std::vector<std::int32_t> Drain() {
        std::lock_guard lock(mutex_);
        return std::exchange(pending_, {});
    }
    void SetWakeUp(std::function<void()> wake_up) {
        std::lock_guard lock(mutex_);
        wake_up_ = std::move(wake_up);
    }
    bool HasWakeUp() const {
        std::lock_guard lock(mutex_);
        return static_cast<bool>(wake_up_);
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::int32_t> pending_;
    std::function<void()> wake_up_;
};

}  // namespace outlark
