#pragma once
// One worker thread that runs posted tasks one at a time, in the order they were posted. Destroying it
// runs the tasks still queued and joins the thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace mirelo {

class SerialThread {
  public:
    SerialThread();
    ~SerialThread();
    SerialThread(const SerialThread&) = delete;
    SerialThread& operator=(const SerialThread&) = delete;

    void Post(std::function<void()> task);
    // Blocks until every task posted before this call has run.
    void Drain();

  private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;  // last: it starts once the queue exists
};

}  // namespace mirelo
