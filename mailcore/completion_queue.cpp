#include "mailcore/completion_queue.h"

#include <utility>

namespace mailcore {

void CompletionQueue::SetWakeup(Wakeup wakeup) {
    std::lock_guard lock(mutex_);
    wakeup_ = std::move(wakeup);
}

bool CompletionQueue::HasWakeup() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(wakeup_);
}

void CompletionQueue::Post(std::int32_t status) {
    Wakeup wakeup;
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(status);
        wakeup = wakeup_;
    }
    if (wakeup) wakeup();
}

std::vector<std::int32_t> CompletionQueue::TakeAll() {
    std::lock_guard lock(mutex_);
    return std::exchange(pending_, {});
}

}  // namespace mailcore
