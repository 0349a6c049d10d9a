#include "testing/mail_servers_env/mailbox_lease.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "testing/mail_servers_env/maildir.h"

namespace mirelo::mail_servers {

MailboxLease::~MailboxLease() { Release(); }

MailboxLease::MailboxLease(MailboxLease&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), mailbox_(std::move(other.mailbox_)) {}

MailboxLease& MailboxLease::operator=(MailboxLease&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        mailbox_ = std::move(other.mailbox_);
    }
    return *this;
}

void MailboxLease::Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string MailboxLease::TryLock(const MailServersEnv& env, const Mailbox& box, bool* locked) {
    *locked = false;
    const std::string path = env.locksDir + "/" + box.user + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return "open " + path + ": " + std::strerror(errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK || error == EINTR) return {};
        return "lock " + path + ": " + std::strerror(error);
    }
    if (std::string error = EmptyMaildir(box.maildir); !error.empty()) {
        ::close(fd);
        return error;
    }
    Release();
    fd_ = fd;
    mailbox_ = box;
    *locked = true;
    return {};
}

std::string MailboxLease::Acquire(const MailServersEnv& env, const std::string& user,
                                  std::chrono::milliseconds timeout) {
    const Mailbox* box = env.Find(user);
    if (box == nullptr) return "no mailbox named " + user;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        bool locked = false;
        if (std::string error = TryLock(env, *box, &locked); !error.empty() || locked) return error;
        if (std::chrono::steady_clock::now() >= deadline) return "mailbox " + user + " stayed busy";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string MailboxLease::AcquireSpare(const MailServersEnv& env, std::chrono::milliseconds timeout) {
    std::vector<const Mailbox*> pool;
    for (const Mailbox& box : env.mailboxes) {
        if (box.user.starts_with("box")) pool.push_back(&box);
    }
    if (pool.empty()) return "the servers have no test mailboxes (box01, ...)";
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const Mailbox* box : pool) {
            bool locked = false;
            if (std::string error = TryLock(env, *box, &locked); !error.empty() || locked) return error;
        }
        if (std::chrono::steady_clock::now() >= deadline) return "every test mailbox stayed busy";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace mirelo::mail_servers
