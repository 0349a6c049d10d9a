#pragma once
// GoogleTest fixture for tests labelled `servers`: skips when no real servers run (MIRELO_SERVERS_ENV
// unset, as in `ctest -L unit`), fails when the variable names a file that cannot be read, and otherwise
// leases an emptied mailbox of the test pool for the test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "testing/mail_servers_env/mail_servers_env.h"
#include "testing/mail_servers_env/mailbox_lease.h"

namespace mirelo::mail_servers {

class RealServersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = std::getenv(kEnvVariable);
        if (path == nullptr || *path == '\0') {
            GTEST_SKIP() << "real mail servers are not running: " << kEnvVariable
                         << " is not set (./dev test starts them)";
        }
        const std::string error = LoadMailServersEnv(path, &env_);
        ASSERT_EQ(error, "");
        const std::string leaseError = lease_.AcquireSpare(env_);
        ASSERT_EQ(leaseError, "");
    }

    [[nodiscard]] const MailServersEnv& env() const { return env_; }
    // The leased mailbox, empty at the start of the test.
    [[nodiscard]] const Mailbox& mailbox() const { return lease_.mailbox(); }

  private:
    MailServersEnv env_;
    MailboxLease lease_;
};

}  // namespace mirelo::mail_servers
