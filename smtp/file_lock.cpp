#include "smtp/file_lock.h"

#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace outlark {

FileLock::FileLock(int fd, std::chrono::milliseconds wait) : fd_(fd) {
    if (fd_ < 0) return;
    // flock has no time-out of its own; poll it in short steps up to the bound.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    while (true) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            owned_ = true;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) return;
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

FileLock::~FileLock() {
    if (owned_) ::flock(fd_, LOCK_UN);
}

}  // namespace outlark
