#include "smtp/smtp_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <string>
#include <vector>

namespace outlark {
namespace {

using testing::ElementsAre;

// Answers from a list; a missing answer is a failed read (time-out).
class FakeTransport : public mailcore::LineTransport {
  public:
    explicit FakeTransport(std::vector<std::optional<std::string>> replies)
        : replies_(replies.begin(), replies.end()) {}
    std::int32_t SendText(std::string_view text) override {
        sent.emplace_back(text);
        return static_cast<std::int32_t>(text.size());
    }
    bool ReadReply(std::string& reply, mailcore::ReplyMode, std::string_view, std::size_t) override {
        failure_ = {};
        if (replies_.empty() || !replies_.front()) {
            if (!replies_.empty()) replies_.pop_front();
            failure_.kind = mailcore::FailureKind::TimedOut;
            return false;
        }
        reply = *replies_.front();
        replies_.pop_front();
        return true;
    }
    const mailcore::Failure& LastFailure() const override { return failure_; }
    std::vector<std::string> sent;

  private:
    std::deque<std::optional<std::string>> replies_;
    mailcore::Failure failure_;
};

OneShotMail Mail() {
    OneShotMail mail;
    mail.to = "to@example.com";
    mail.from = "from@example.com";
    mail.subject = "Hi";
    mail.body = "line\r\n.\r\n.dot";
    return mail;
}

TEST(RunSendStepsTest, UnansweredQuitAfterAcceptanceIsNoFailure) {
    FakeTransport t({"250 hello\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n"});
    mailcore::Failure failure{mailcore::FailureKind::Internal, 0, {}, "stale"};
    EXPECT_EQ(RunSendSteps(t, Mail(), nullptr, &failure), kSendOk);
    EXPECT_FALSE(failure.IsFailure());
}

TEST(RunSendStepsTest, ExactConversation) {
    FakeTransport t(
        {"250 hello\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n", "221 bye\r\n"});
    EXPECT_EQ(RunSendSteps(t, Mail()), kSendOk);
    ASSERT_EQ(t.sent.size(), 6u);
    EXPECT_THAT(std::vector<std::string>(t.sent.begin(), t.sent.begin() + 4),
                ElementsAre("HELO Outlark\r\n", "MAIL FROM:<from@example.com>\r\n",
                            "RCPT TO:<to@example.com>\r\n", "DATA\r\n"));
    EXPECT_THAT(t.sent[4],
                testing::StartsWith("X-Mailer: Outlark Version 1.6.2.1\r\nX-Priority: 3\r\nDate: "));
    EXPECT_THAT(t.sent[4], testing::EndsWith("\r\n\r\nline\r\n..\r\n..dot\r\n.\r\n"));
    EXPECT_EQ(t.sent[5], "QUIT\r\n");
}

struct StatusCase {
    const char* name;
    std::vector<std::optional<std::string>> replies;
    std::int32_t status;
    size_t commands_sent;
    std::string failure;  // FailureText of the send's record
};

// Test names carry the row; no byte dump of the row itself.
void PrintTo(const StatusCase& row, std::ostream* os) { *os << row.name; }

class SendStatusTest : public testing::TestWithParam<StatusCase> {};

TEST_P(SendStatusTest, StopsWithItsCodeAndNoQuit) {
    FakeTransport t(GetParam().replies);
    mailcore::Failure failure;
    EXPECT_EQ(RunSendSteps(t, Mail(), nullptr, &failure), GetParam().status);
    EXPECT_EQ(t.sent.size(), GetParam().commands_sent);
    EXPECT_EQ(mailcore::FailureText(failure), GetParam().failure);
    for (const std::string& sent : t.sent) EXPECT_NE(sent, "QUIT\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SendStatusTest,
    testing::Values(
        StatusCase{"HeloRefused", {"500 no\r\n"}, kSendHeloRefused, 1, "HELO: negative reply: 500 no"},
        StatusCase{"HeloUnanswered", {std::nullopt}, kSendHeloRefused, 1, "HELO: timed out"},
        StatusCase{"MailRefused",
                   {"250 ok\r\n", "550 no\r\n"},
                   kSendMailRefused,
                   2,
                   "MAIL FROM: negative reply: 550 no"},
        StatusCase{"RcptMalformed",
                   {"250 ok\r\n", "250 ok\r\n", "5x0 no\r\n"},
                   kSendRcptRefused,
                   3,
                   "RCPT TO: malformed reply: 5x0 no"},
        StatusCase{"DataRefused",
                   {"250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "554 no\r\n"},
                   kSendDataRefused,
                   4,
                   "DATA: negative reply: 554 no"},
        StatusCase{"MessageRefused",
                   {"250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n", "552 too big\r\n"},
                   kSendDataRefused,
                   5,
                   "message: negative reply: 552 too big"}),
    [](const auto& info) { return info.param.name; });

TEST(RunListCommandTest, EhloFillsLines) {
    FakeTransport t({"250-mail.example.com\r\n250-SIZE 1000\r\n250 HELP\r\n"});
    SmtpResults results;
    EXPECT_EQ(RunListCommand(t, kEhlo, "me", results, true), kCommandOk);
    EXPECT_THAT(results.reply_lines, ElementsAre("mail.example.com", "SIZE 1000", "HELP"));
    EXPECT_THAT(t.sent, ElementsAre("EHLO me\r\n"));
}

TEST(RunListCommandTest, VrfyAmbiguousIsFailureLinesKeptOnlyWhenAsked) {
    SmtpResults results;
    FakeTransport sync_t({"252 cannot verify\r\n"});
    EXPECT_EQ(RunListCommand(sync_t, kVrfy, "x", results, true), kCommandFailed);
    EXPECT_THAT(results.reply_lines, ElementsAre("cannot verify"));
    FakeTransport async_t({"252 cannot verify\r\n"});
    EXPECT_EQ(RunListCommand(async_t, kVrfy, "x", results, false), kCommandFailed);
    EXPECT_THAT(results.reply_lines, ElementsAre());
}

TEST(RunListCommandTest, LongReplyJudgedByItsFirstCode) {
    std::string reply = "250-" + std::string(300, 'x') + "\r\n250 end\r\n";
    FakeTransport t({reply});
    SmtpResults results;
    EXPECT_EQ(RunListCommand(t, kEhlo, "me", results, true), kCommandOk);
    EXPECT_EQ(results.last_reply.size(), 255u);
    EXPECT_EQ(results.reply_lines.size(), 2u);
}

TEST(RunLineCommandTest, LineBreakInArgumentSendsNothing) {
    FakeTransport t({"250 ok\r\n"});
    SmtpResults results;
    EXPECT_EQ(RunLineCommand(t, kMail, "a@b>\r\nRCPT TO:<c@d", results), kCommandBadArgument);
    EXPECT_EQ(RunListCommand(t, kVrfy, "a\nb", results, true), kCommandBadArgument);
    EXPECT_TRUE(t.sent.empty());
}

TEST(RunLineCommandTest, TooLongArgumentFailsWithoutSending) {
    FakeTransport t({"250 ok\r\n"});
    SmtpResults results;
    EXPECT_EQ(RunLineCommand(t, kHelo, std::string(300, 'h'), results), kCommandFailed);
    EXPECT_TRUE(t.sent.empty());
}

}  // namespace
}  // namespace outlark
