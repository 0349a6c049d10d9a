// The pieces both controls share: result-code texts, the failure text for the host, the catch-all, the
// refusal records, and the worker thread.
#include "mailcore/control_shell.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "mailcore/result_code.h"
#include "mailcore/worker_thread.h"

namespace mailcore {
namespace {

struct CodeText {
    std::int32_t code;
    const char* (*text)(std::int32_t);
    const char* expected;
};

// Every number of both controls, with the text a log line shows for it.
const CodeText kCodeTexts[] = {
    {1, ResultCodeText, "success"},
    {0, ResultCodeText, "failure"},
    {-1, ResultCodeText, "busy: the previous asynchronous command is still running"},
    {-2, ResultCodeText, "bad argument"},
    {-3, ResultCodeText, "user name longer than 32 bytes"},
    {-4, ResultCodeText, "password longer than 32 bytes"},
    {-5, ResultCodeText, "already connected"},
    {-6, ResultCodeText, "unknown result code"},
    {2, ResultCodeText, "unknown result code"},
    {1, SendStatusText, "the message was accepted by the server"},
    {0, SendStatusText, "the send could not be started"},
    {-1, SendStatusText, "the connection failed, or a send is still running"},
    {-2, SendStatusText, "HELO (EHLO when TLS or a log-in is asked for) was not answered with 250"},
    {-3, SendStatusText, "MAIL was not answered with 250"},
    {-4, SendStatusText, "RCPT was not answered with 250"},
    {-5, SendStatusText, "DATA was not answered with 354, or the message was not answered with 250"},
    {-6, SendStatusText, "an attachment is missing, unreadable or not a regular file; nothing was sent"},
    {-99, SendStatusText, "the server, recipient or sender is empty or holds a line break"},
    {-9, SendStatusText, "unknown send status"},
    {-11, Pop3LastErrorText, "the server's certificate is not trusted or does not name the host"},
    {0, Pop3LastErrorText, "no error"},
    {-5, Pop3LastErrorText, "an index outside the current list"},
    {-6, Pop3LastErrorText, "unknown error value"},
    {0, SmtpLastErrorText, "no error"},
    {-5, SmtpLastErrorText, "a MakeData method was given an empty text"},
    {-6, SmtpLastErrorText, "an attachment is missing, unreadable or not a regular file; nothing was sent"},
    {-7, SmtpLastErrorText, "the send log record could not be written"},
    {-1, SmtpLastErrorText, "unknown error value"},
};

TEST(ResultCodes, EveryNumberHasItsText) {
    for (const CodeText& row : kCodeTexts) {
        EXPECT_STREQ(row.text(row.code), row.expected) << "code " << row.code;
    }
}

TEST(ResultCodes, TheNumbersAreTheSpecifiedOnes) {
    EXPECT_EQ(ToInt(ResultCode::Success), 1);
    EXPECT_EQ(ToInt(ResultCode::Failure), 0);
    EXPECT_EQ(ToInt(ResultCode::Busy), -1);
    EXPECT_EQ(ToInt(ResultCode::BadArgument), -2);
    EXPECT_EQ(ToInt(ResultCode::UserTooLong), -3);
    EXPECT_EQ(ToInt(ResultCode::PasswordTooLong), -4);
    EXPECT_EQ(ToInt(ResultCode::AlreadyConnected), -5);
    EXPECT_EQ(ToInt(SendStatus::ConnectFailed), -1);
    EXPECT_EQ(ToInt(SendStatus::DataRefused), -5);
    EXPECT_EQ(ToInt(SendStatus::AttachmentUnreadable), -6);
    EXPECT_EQ(ToInt(SendStatus::MissingArgument), -99);
    EXPECT_EQ(ToInt(SmtpLastError::LogNotWritten), -7);
    EXPECT_EQ(ToInt(Pop3LastError::IndexOutOfRange), -5);
    // The engine's constants are the public ones.
    EXPECT_EQ(kResultBusy, ToInt(ResultCode::Busy));
    EXPECT_EQ(kResultAlreadyConnected, ToInt(ResultCode::AlreadyConnected));
}

TEST(FailureTextWide, ServerReplyAndDetailAreShiftJis) {
    Failure failure{FailureKind::NegativeReply, 0, "-ERR \x83\x81\x81\x5B\x83\x8B", "RETR 3"};
    EXPECT_EQ(FailureTextWide(failure), u"RETR 3: negative reply: -ERR \u30E1\u30FC\u30EB");
    // Bytes that are no Shift_JIS become "?" rather than reaching the host raw.
    Failure broken{FailureKind::NegativeReply, 0, "-ERR \xFF", "STAT"};
    EXPECT_EQ(FailureTextWide(broken), u"STAT: negative reply: -ERR ?");
}

TEST(ControlShell, ExceptionBecomesZeroEmptyTextAndAnInternalRecord) {
    ControlShell shell;
    std::int32_t number = 7;
    shell.Guard(&number, [&] {
        number = 5;
        throw std::runtime_error("iconv gave up");
    });
    EXPECT_EQ(number, 0);
    EXPECT_EQ(shell.LastErrorText(nullptr), u"iconv gave up: internal error");

    std::u16string text = u"old";
    shell.Guard(&text, [] { throw std::bad_alloc(); });
    EXPECT_EQ(text, u"");
    EXPECT_EQ(shell.LastErrorText(nullptr), u"std::bad_alloc: internal error");

    double date = 1.5;
    shell.Guard(&date, [] { throw 42; });
    EXPECT_EQ(date, 0.0);
    EXPECT_EQ(shell.LastErrorText(nullptr), u"unknown exception: internal error");

    std::int32_t* none = nullptr;
    shell.Guard(none, [] { throw std::logic_error("null pVal too"); });
    EXPECT_EQ(
        shell.GuardValue(std::u16string(u"fallback"), []() -> std::u16string { throw std::exception(); }),
        u"fallback");
}

TEST(ControlShell, RefusalsByResultCode) {
    struct Row {
        std::int32_t result;
        const char16_t* text;
    };
    const Row rows[] = {
        {1, u""},
        {-1, u"NOOP: busy"},
        {-2, u"NOOP (bad argument): bad argument"},
        {-3, u"NOOP (user name longer than 32 bytes): bad argument"},
        {-4, u"NOOP (password longer than 32 bytes): bad argument"},
        {-5, u"NOOP (already connected): bad argument"},
        {0, u"NOOP: not connected"},
    };
    for (const Row& row : rows) {
        ControlShell shell;
        MailEngine engine;
        std::int32_t result = shell.Command("NOOP", &engine, [&](MailEngine&) { return row.result; });
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(shell.LastErrorText(&engine), row.text) << "result " << row.result;
    }
    ControlShell shell;
    EXPECT_EQ(shell.Command("STAT", static_cast<MailEngine*>(nullptr), [](MailEngine&) { return 1; }), 0);
    EXPECT_EQ(shell.LastErrorText(nullptr), u"STAT: not connected");
    // A failed connect is not told as "not connected": the engine says why.
    MailEngine engine;
    EXPECT_EQ(shell.Connect("ConnectByName", engine, [](MailEngine&) { return 0; }), 0);
    EXPECT_EQ(shell.LastErrorText(&engine), u"");
}

TEST(ControlShell, AdoptedRecordAndSuccessReplaceTheLastFailure) {
    ControlShell shell;
    shell.Refuse(FailureKind::Busy, "SendMail");
    EXPECT_EQ(shell.LastErrorText(nullptr), u"SendMail: busy");
    shell.Adopt({FailureKind::TimedOut, 0, {}, "connect to mail.example"});
    EXPECT_EQ(shell.LastErrorText(nullptr), u"connect to mail.example: timed out");
    shell.Adopt({});
    EXPECT_EQ(shell.LastErrorText(nullptr), u"");
}

// The worker of one control: outcomes reach the queue, the flag is down before they do.
class WorkerThreadTest : public testing::Test {
  protected:
    void SetUp() override {
        queue.SetWakeup([this] {
            std::lock_guard lock(mutex);
            runningAtPost.push_back(worker.Running());
            posted.notify_all();
        });
    }
    bool WaitPosts(std::size_t count) {
        std::unique_lock lock(mutex);
        return posted.wait_for(lock, std::chrono::seconds(10), [&] { return runningAtPost.size() >= count; });
    }
    std::mutex mutex;
    std::condition_variable posted;
    std::vector<bool> runningAtPost;
    CompletionQueue queue;
    WorkerThread worker;  // last: joined before the queue goes
};

TEST_F(WorkerThreadTest, FlagIsDownBeforeTheOutcomeIsPosted) {
    for (std::int32_t i = 0; i < 50; ++i) {
        ASSERT_TRUE(worker.Start([i] { return i; }, queue));
        ASSERT_TRUE(WaitPosts(static_cast<std::size_t>(i) + 1));
    }
    std::vector<std::int32_t> outcomes = queue.TakeAll();
    ASSERT_EQ(outcomes.size(), 50u);
    for (std::int32_t i = 0; i < 50; ++i) EXPECT_EQ(outcomes[static_cast<std::size_t>(i)], i);
    for (bool running : runningAtPost) EXPECT_FALSE(running);
}

TEST_F(WorkerThreadTest, SecondStartWhileRunningIsRefused) {
    std::mutex gate;
    std::unique_lock hold(gate);
    ASSERT_TRUE(worker.Start(
        [&] {
            std::lock_guard wait(gate);
            return 1;
        },
        queue));
    EXPECT_TRUE(worker.Running());
    EXPECT_FALSE(worker.Start([] { return 2; }, queue));
    EXPECT_FALSE(worker.WaitIdle(std::chrono::milliseconds(20)));
    hold.unlock();
    EXPECT_TRUE(worker.WaitIdle(std::chrono::seconds(10)));
    ASSERT_TRUE(WaitPosts(1));
    EXPECT_EQ(queue.TakeAll(), std::vector<std::int32_t>{1});
}

TEST_F(WorkerThreadTest, ThrowingJobPostsZeroAndThrowingWakeupEndsNothing) {
    ASSERT_TRUE(worker.Start([]() -> std::int32_t { throw std::runtime_error("job"); }, queue));
    ASSERT_TRUE(WaitPosts(1));
    EXPECT_EQ(queue.TakeAll(), std::vector<std::int32_t>{0});

    std::atomic<int> wakeups{0};
    queue.SetWakeup([&] {
        ++wakeups;
        throw std::runtime_error("wake-up");
    });
    ASSERT_TRUE(worker.Start([] { return 1; }, queue));
    worker.Join();
    EXPECT_EQ(wakeups, 1);
    EXPECT_EQ(queue.TakeAll(), std::vector<std::int32_t>{1});
    ASSERT_TRUE(worker.Start([] { return 1; }, queue)) << "still usable";
}

}  // namespace
}  // namespace mailcore
