#pragma once
// Exclusive use of one real mailbox by one test process. CTest runs tests in parallel, each in its own
// process; a lease (an advisory lock on a file in the servers' folder) keeps them out of each other's
// mailboxes. The lock goes with the process, so a crashed test frees its mailbox.

#include <chrono>
#include <string>

#include "testing/mail_servers_env/mail_servers_env.h"

namespace mirelo::mail_servers {

class MailboxLease {
  public:
    MailboxLease() = default;
    ~MailboxLease();
    MailboxLease(const MailboxLease&) = delete;
    MailboxLease& operator=(const MailboxLease&) = delete;
    MailboxLease(MailboxLease&& other) noexcept;
    MailboxLease& operator=(MailboxLease&& other) noexcept;

    // Waits for the named mailbox, then empties it. Empty string on success.
    [[nodiscard]] std::string Acquire(const MailServersEnv& env, const std::string& user,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(120));
    // Any free mailbox of the test pool (box01, box02, ...), emptied.
    [[nodiscard]] std::string AcquireSpare(const MailServersEnv& env,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(120));
    void Release();

    [[nodiscard]] bool Held() const { return fd_ >= 0; }
    [[nodiscard]] const Mailbox& mailbox() const { return mailbox_; }

  private:
    [[nodiscard]] std::string TryLock(const MailServersEnv& env, const Mailbox& box, bool* locked);

    int fd_ = -1;
    Mailbox mailbox_;
};

}  // namespace mirelo::mail_servers
