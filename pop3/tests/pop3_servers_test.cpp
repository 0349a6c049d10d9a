// The Pop3 class against the real Dovecot, with mail delivered through the real Postfix
// (testing/servers/mail-servers; skipped when those servers are not running).
#include <dirent.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "inlark/pop3.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/real_servers_test.h"
#include "testing/mail_servers_env/smtp_delivery.h"

namespace inlark {
namespace {

namespace ms = mirelo::mail_servers;

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Narrow(const std::u16string& ascii) {
    std::string out;
    out.reserve(ascii.size());
    for (char16_t c : ascii) out += static_cast<char>(c);
    return out;
}

int OpenDescriptors() {
    int n = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) ++n;
        ::closedir(dir);
    }
    return n;
}

class Pop3Servers : public ms::RealServersTest {
  protected:
    void SetUp() override {
        RealServersTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        pop3_.SetPort(env().pop3Port);
        // Bounded waits: a hung server fails the test instead of stalling the suite.
        pop3_.SetSendTimeout(10);
        pop3_.SetRecvTimeout(10);
    }

    // Mail through Postfix into the leased mailbox; waits until Dovecot can see it.
    void Deliver(const std::vector<std::string>& bodies) {
        const size_t before = ms::CountMessages(mailbox().maildir);
        for (size_t i = 0; i < bodies.size(); ++i) {
            const std::string from = "phone@" + env().domain;
            ASSERT_EQ(ms::DeliverMail(env(), from, {mailbox().address},
                                      ms::SimpleMessage(from, mailbox().address,
                                                        "mail " + std::to_string(i + 1), bodies[i])),
                      "");
            // One at a time, so the Maildir order (and so the message numbers) follows the list.
            ASSERT_EQ(ms::WaitForMessages(mailbox().maildir, before + i + 1), "");
        }
    }

    std::int32_t Connect() {
        std::int32_t result = -99;
        pop3_.ConnectByName(Wide(env().host), &result);
        return result;
    }

    void ConnectAndLogIn() {
        ASSERT_EQ(Connect(), 1);
        std::int32_t result = -99;
        pop3_.Authorize(Wide(mailbox().user), Wide(mailbox().password), &result);
        ASSERT_EQ(result, 1) << Narrow(Message());
    }

    void QuitAndDestroy() {
        std::int32_t result = -99;
        pop3_.QUIT(&result);
        EXPECT_EQ(result, 1);
        pop3_.Destroy(&result);
    }

    std::int32_t Count() {
        std::int32_t count = -99;
        pop3_.GetCount(&count);
        return count;
    }
    std::int32_t No(std::int32_t index) {
        std::int32_t no = -99;
        pop3_.GetNo(index, &no);
        return no;
    }
    std::string Data(std::int32_t index) {
        std::u16string data;
        pop3_.GetData(index, &data);
        return Narrow(data);
    }
    std::u16string Message() {
        std::u16string message;
        pop3_.GetMessage(&message);
        return message;
    }

    Pop3 pop3_;
};

TEST_F(Pop3Servers, LogInAcceptsOnlyTheRightPassword) {
    ASSERT_EQ(Connect(), 1);
    EXPECT_TRUE(Message().starts_with(u"+OK")) << "greeting: " << Narrow(Message());
    struct Row {
        const char* name;
        std::string password;
        std::int32_t expected;
    };
    // Dovecot answers a second log-in on the same connection after a refused one.
    const Row rows[] = {
        {"wrong password", mailbox().password + "x", 0},
        {"short wrong password", "x", 0},
        {"right password", mailbox().password, 1},
    };
    for (const Row& row : rows) {
        std::int32_t result = -99;
        pop3_.Authorize(Wide(mailbox().user), Wide(row.password), &result);
        EXPECT_EQ(result, row.expected) << row.name << ": " << Narrow(Message());
        if (row.expected == 0) {
            EXPECT_TRUE(Message().starts_with(u"-ERR")) << row.name;
        }
    }
    QuitAndDestroy();
}

TEST_F(Pop3Servers, StatListAndUidlDescribeTheMailbox) {
    ASSERT_NO_FATAL_FAILURE(
        Deliver({"short\r\n", "a little longer body\r\nwith two lines\r\n", "third\r\n"}));
    ASSERT_NO_FATAL_FAILURE(ConnectAndLogIn());
    std::int32_t result = -99;

    pop3_.LIST(0, &result);
    ASSERT_EQ(result, 1);
    ASSERT_EQ(Count(), 3);
    long total = 0;
    std::vector<std::string> sizes;
    for (std::int32_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(No(i), i);
        sizes.push_back(Data(i));
        total += std::stol(sizes.back());
    }
    EXPECT_LT(std::stol(sizes[0]), std::stol(sizes[1]));

    pop3_.STAT(&result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(No(1), 3);
    EXPECT_EQ(Data(1), std::to_string(total));

    pop3_.LIST(2, &result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(No(1), 2);
    EXPECT_EQ(Data(1), sizes[1]);

    pop3_.UIDL(0, &result);
    ASSERT_EQ(result, 1);
    ASSERT_EQ(Count(), 3);
    std::set<std::string> ids;
    for (std::int32_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(No(i), i);
        const std::string id = Data(i);
        EXPECT_FALSE(id.empty());
        EXPECT_EQ(id.find_first_of("\r\n"), std::string::npos) << id;
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 3u);
    const std::string second = Data(2);

    pop3_.UIDL(2, &result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(No(1), 2);
    EXPECT_EQ(Data(1), second);

    // Out of range: the server says no and nothing stale stays behind.
    pop3_.LIST(4, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Count(), 0);
    QuitAndDestroy();
}

TEST_F(Pop3Servers, TopGivesTheHeadersAndTheAskedLines) {
    ASSERT_NO_FATAL_FAILURE(Deliver({"line one\r\nline two\r\nline three\r\n"}));
    ASSERT_NO_FATAL_FAILURE(ConnectAndLogIn());
    struct Row {
        const char* name;
        std::int32_t lines;
        std::int32_t expected;
        std::u16string bodyEnd;
    };
    const Row rows[] = {
        {"one line", 1, 1, u"\r\n\r\nline one\r\n.\r\n"},
        {"more lines than the body", 10, 1, u"\r\n\r\nline one\r\nline two\r\nline three\r\n.\r\n"},
        // TOP_ with 0 lines sends "TOP n" alone, which Dovecot refuses as noise after the number.
        {"zero lines", 0, 0, u""},
    };
    for (const Row& row : rows) {
        std::int32_t result = -99;
        pop3_.TOP_(1, row.lines, &result);
        EXPECT_EQ(result, row.expected) << row.name;
        const std::u16string text = Message();
        EXPECT_EQ(Count(), static_cast<std::int32_t>(text.size())) << row.name;
        if (row.expected == 1) {
            EXPECT_TRUE(text.find(u"Subject: mail 1\r\n") != std::u16string::npos) << row.name;
            EXPECT_TRUE(text.ends_with(row.bodyEnd)) << row.name << ": " << Narrow(text);
        } else {
            EXPECT_EQ(text, u"") << row.name;
        }
    }
    QuitAndDestroy();
}

TEST_F(Pop3Servers, RetrKeepsLinesThatStartWithADot) {
    const std::string body =
        "first\r\n"
        ".starts with a dot\r\n"
        "..starts with two\r\n"
        ".\r\n"
        "after a lone dot\r\n";
    ASSERT_NO_FATAL_FAILURE(Deliver({body}));
    ASSERT_NO_FATAL_FAILURE(ConnectAndLogIn());
    std::int32_t result = -99;
    pop3_.RETR(1, &result);
    ASSERT_EQ(result, 1);
    const std::u16string text = Message();
    EXPECT_EQ(Count(), static_cast<std::int32_t>(text.size()));
    EXPECT_TRUE(text.ends_with(u"\r\n\r\n" + Wide(body) + u".\r\n")) << Narrow(text);
    EXPECT_NE(text.find(u"Subject: mail 1\r\n"), std::u16string::npos);
    QuitAndDestroy();
}

TEST_F(Pop3Servers, RetrOfNineMebibytes) {
    std::string body;
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    while (body.size() < 9u * 1024 * 1024) {
        std::string line;
        for (size_t i = 0; i < 76; ++i) line += alphabet[(body.size() / 78 + i) % alphabet.size()];
        body += line + "\r\n";
    }
    ASSERT_NO_FATAL_FAILURE(Deliver({body}));
    ASSERT_NO_FATAL_FAILURE(ConnectAndLogIn());
    pop3_.SetRecvTimeout(60);
    std::int32_t result = -99;
    pop3_.RETR(1, &result);
    ASSERT_EQ(result, 1);
    const std::u16string text = Message();
    EXPECT_EQ(Count(), static_cast<std::int32_t>(text.size()));
    ASSERT_GT(text.size(), body.size());
    // Compared as a whole so a lost or doubled chunk anywhere shows.
    EXPECT_TRUE(text.ends_with(u"\r\n\r\n" + Wide(body) + u".\r\n"));
    QuitAndDestroy();
}

TEST_F(Pop3Servers, DeleThenQuitRemovesAndDeleThenRsetKeeps) {
    struct Row {
        const char* name;
        bool reset;
        std::int32_t left;
    };
    const Row rows[] = {{"DELE + RSET keeps", true, 2}, {"DELE + QUIT removes", false, 1}};
    ASSERT_NO_FATAL_FAILURE(Deliver({"first\r\n", "second\r\n"}));
    for (const Row& row : rows) {
        ASSERT_NO_FATAL_FAILURE(ConnectAndLogIn());
        std::int32_t result = -99;
        pop3_.DELE(1, &result);
        EXPECT_EQ(result, 1) << row.name;
        if (row.reset) {
            pop3_.RSET(&result);
            EXPECT_EQ(result, 1) << row.name;
        }
        QuitAndDestroy();

        ASSERT_NO_FATAL_FAILURE(ConnectAndLogIn());
        pop3_.STAT(&result);
        ASSERT_EQ(result, 1) << row.name;
        EXPECT_EQ(No(1), row.left) << row.name;
        pop3_.TOP_(1, 1, &result);
        ASSERT_EQ(result, 1) << row.name;
        const std::u16string firstLeft = row.left == 2 ? u"Subject: mail 1\r\n" : u"Subject: mail 2\r\n";
        EXPECT_NE(Message().find(firstLeft), std::u16string::npos) << row.name;
        QuitAndDestroy();
    }
    EXPECT_EQ(ms::CountMessages(mailbox().maildir), 1u);
}

TEST_F(Pop3Servers, RepeatedSessionsLeaveNoDescriptorBehind) {
    ASSERT_NO_FATAL_FAILURE(Deliver({"body\r\n"}));
    const int before = OpenDescriptors();
    for (int i = 0; i < 20; ++i) {
        ASSERT_NO_FATAL_FAILURE(ConnectAndLogIn());
        std::int32_t result = -99;
        pop3_.RETR(1, &result);
        ASSERT_EQ(result, 1);
        // Destroy without QUIT: the connection is dropped, as after a failure.
        pop3_.Destroy(&result);
        EXPECT_EQ(result, 1);
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

// Sync 0: the command runs on a worker; EndOfCommand arrives on this thread through ProcessEvents.
TEST_F(Pop3Servers, AsynchronousRetrEndsWithAnEvent) {
    ASSERT_NO_FATAL_FAILURE(Deliver({"asynchronous\r\n"}));
    ASSERT_NO_FATAL_FAILURE(ConnectAndLogIn());

    struct Sink : Pop3Events {
        void EndOfCommand(std::int32_t lStatus) override { statuses.push_back(lStatus); }
        std::vector<std::int32_t> statuses;
    } sink;
    std::mutex mutex;
    std::condition_variable woken;
    bool pending = false;
    std::int32_t cookie = pop3_.Advise(&sink);
    pop3_.SetWakeUp([&] {
        std::lock_guard lock(mutex);
        pending = true;
        woken.notify_one();
    });
    pop3_.SetSync(0);

    std::int32_t result = -99;
    pop3_.RETR(1, &result);
    ASSERT_EQ(result, 1);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(woken.wait_for(lock, std::chrono::seconds(20), [&] { return pending; }));
    }
    pop3_.ProcessEvents();
    ASSERT_EQ(sink.statuses, std::vector<std::int32_t>{1});
    EXPECT_NE(Message().find(u"\r\n\r\nasynchronous\r\n.\r\n"), std::u16string::npos);

    pop3_.SetSync(1);
    pop3_.Unadvise(cookie);
    QuitAndDestroy();
}

}  // namespace
}  // namespace inlark
