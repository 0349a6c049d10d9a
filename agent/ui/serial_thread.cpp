#include "agent/ui/serial_thread.h"

#include <future>

namespace mirelo {

SerialThread::SerialThread() : thread_([this] { Run(); }) {}

SerialThread::~SerialThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void SerialThread::Post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void SerialThread::Drain() {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    Post([&done] { done.set_value(); });
    finished.wait();
}

void SerialThread::Run() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) return;  // stopping, and nothing left to do
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace mirelo
