#pragma once
// An exclusive advisory lock (flock) on an open file, held for the guard's lifetime. Every thread and process
// that locks the same file this way is kept out; the file's own permissions decide who may take part.

#include <chrono>

namespace outlark {

class FileLock {
  public:
    // Waits at most `wait` for the lock on `fd` (which the guard does not own); owns() tells whether it was
    // obtained.
    FileLock(int fd, std::chrono::milliseconds wait);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    [[nodiscard]] bool owns() const { return owned_; }

  private:
    int fd_;
    bool owned_ = false;
};

}  // namespace outlark
