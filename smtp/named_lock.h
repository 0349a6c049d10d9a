#pragma once
// A lock shared by every thread and process that uses the same name: an advisory lock on a file named after
// it in the per-user runtime folder ($XDG_RUNTIME_DIR, else the temporary folder).

#include <chrono>
#include <string>
#include <string_view>

#include "mailcore/unique_fd.h"

namespace outlark {

class NamedLock {
  public:
    // Waits at most `wait` for the lock; owns() tells whether it was obtained.
    NamedLock(std::string_view name, std::chrono::milliseconds wait);
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    [[nodiscard]] bool owns() const { return owned_; }

    static std::string LockFilePath(std::string_view name);

  private:
    mailcore::UniqueFd fd_;
    bool owned_ = false;
};

}  // namespace outlark
