#include "smtp/named_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace outlark {

std::string NamedLock::LockFilePath(std::string_view name) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (dir == nullptr || *dir == '\0') dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0') dir = "/tmp";
    std::string path(dir);
    if (path.back() != '/') path += '/';
    path += name;
    path += ".lock";
    return path;
}

NamedLock::NamedLock(std::string_view name, std::chrono::milliseconds wait)
    : fd_(::open(LockFilePath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (!fd_) return;
    // flock has no time-out of its own; poll it in short steps up to the bound.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    while (true) {
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
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

NamedLock::~NamedLock() {
    if (owned_) ::flock(fd_.get(), LOCK_UN);
}

}  // namespace outlark
