// Why an SMTP command failed: refusals and broken connections against the scripted server, and the engine
// driven through a scripted byte stream that splits, delays and fails reads and writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "smtp/smtp_engine.h"
#include "testing/fake_stream/fake_byte_stream.h"
#include "testing/scripted_server/scripted_server.h"

namespace outlark {
namespace {

using mailcore::FailureKind;
using mailcore::FailureText;
using scripted::FakeByteStream;
using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;

constexpr const char* kGreeting = "220 mail.test ESMTP\r\n";
constexpr auto kByName = mailcore::MailEngine::Resolution::kByName;

struct CommandRow {
    const char* name;
    std::function<void(Script&)> script;  // what follows the greeting
    std::function<std::int32_t(SmtpEngine&)> call;
    FailureKind kind;
    std::string text;
    friend void PrintTo(const CommandRow& row, std::ostream* os) { *os << row.name; }
};

class CommandFailures : public ::testing::TestWithParam<CommandRow> {};

TEST_P(CommandFailures, AreRecordedUnderTheCommand) {
    const CommandRow& row = GetParam();
    Script script;
    script.Reply(kGreeting);
    row.script(script);
    ScriptedServer server(script);
    SmtpEngine engine;
    engine.Socket().SetReceiveTimeout(5000);
    ASSERT_EQ(engine.Connect("127.0.0.1", server.Port(), kByName), 1);
    engine.Socket().SetReceiveTimeout(150);
    EXPECT_EQ(row.call(engine), 0);
    EXPECT_EQ(engine.LastFailure().kind, row.kind);
    EXPECT_EQ(FailureText(engine.LastFailure()), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    SmtpEngine, CommandFailures,
    ::testing::Values(
        CommandRow{"MailRefused",
                   [](Script& s) { s.Expect("MAIL FROM:<a@b.test>\r\n").Reply("550 5.7.1 not you\r\n"); },
                   [](SmtpEngine& e) { return e.Command(kMail, "a@b.test"); }, FailureKind::NegativeReply,
                   "MAIL FROM: negative reply: 550 5.7.1 not you"},
        CommandRow{"RcptDeferred",
                   [](Script& s) { s.Expect("RCPT TO:<c@d.test>\r\n").Reply("451 later\r\n"); },
                   [](SmtpEngine& e) { return e.Command(kRcpt, "c@d.test"); }, FailureKind::NegativeReply,
                   "RCPT TO: negative reply: 451 later"},
        CommandRow{"HeloAnsweredWithNonsense", [](Script& s) { s.Expect("HELO me\r\n").Reply("hello\r\n"); },
                   [](SmtpEngine& e) { return e.Command(kHelo, "me"); }, FailureKind::MalformedReply,
                   "HELO: malformed reply: hello"},
        CommandRow{"EhloRefusedOverSeveralLines",
                   [](Script& s) { s.Expect("EHLO me\r\n").Reply("554-one\r\n554 two\r\n"); },
                   [](SmtpEngine& e) { return e.Command(kEhlo, "me"); }, FailureKind::NegativeReply,
                   "EHLO: negative reply: 554-one"},
        CommandRow{"EhloClosedMidReply",
                   [](Script& s) { s.Expect("EHLO me\r\n").Reply("250-a\r\n250-b").Drop(); },
                   [](SmtpEngine& e) { return e.Command(kEhlo, "me"); }, FailureKind::Closed,
                   "EHLO: connection closed by the server"},
        CommandRow{"EhloTooLong", [](Script& s) { s.Expect("EHLO me\r\n").Flood(4096, 'e', 60); },
                   [](SmtpEngine& e) {
                       e.Socket().SetReplyLimit(1000);
                       return e.Command(kEhlo, "me");
                   },
                   FailureKind::ReplyTooLong, "EHLO: reply too long"},
        CommandRow{"NoopSilent", [](Script& s) { s.Expect("NOOP\r\n").Silence(); },
                   [](SmtpEngine& e) { return e.Command(kNoop, ""); }, FailureKind::TimedOut,
                   "NOOP: timed out"},
        CommandRow{"DataRefused",
                   [](Script& s) { s.Expect("DATA\r\n").Reply("554 no valid recipients\r\n"); },
                   [](SmtpEngine& e) { return e.Data("Subject: x\r\n\r\nbody\r\n.\r\n"); },
                   FailureKind::NegativeReply, "DATA: negative reply: 554 no valid recipients"},
        CommandRow{
            "MessageRefused",
            [](Script& s) {
                s.Expect("DATA\r\n").Reply("354 go\r\n").ExpectThrough(".\r\n").Reply("552 too big\r\n");
            },
            [](SmtpEngine& e) { return e.Data("Subject: x\r\n\r\nbody\r\n.\r\n"); },
            FailureKind::NegativeReply, "message: negative reply: 552 too big"},
        CommandRow{"MessageUnanswered",
                   [](Script& s) { s.Expect("DATA\r\n").Reply("354 go\r\n").ExpectThrough(".\r\n").Drop(); },
                   [](SmtpEngine& e) { return e.Data("Subject: x\r\n\r\nbody\r\n.\r\n"); },
                   FailureKind::Closed, "message: connection closed by the server"}),
    [](const auto& info) { return info.param.name; });

TEST(SmtpEngineFailure, RefusingGreetingStillConnects) {
    // The greeting's text is not examined; a refusal shows in the first command.
    ScriptedServer server(Script().Reply("554 no service\r\n").Expect("QUIT\r\n").Reply("221 bye\r\n"));
    SmtpEngine engine;
    engine.Socket().SetReceiveTimeout(5000);
    EXPECT_EQ(engine.Connect("127.0.0.1", server.Port(), kByName), 1);
    EXPECT_EQ(engine.LastReply(), "554 no service\r\n");
    EXPECT_EQ(engine.LastFailure().kind, FailureKind::None);
}

// --- The engine over the scripted byte stream ---

struct FakeRig {
    FakeByteStream* fake;
    std::unique_ptr<SmtpEngine> engine;
};

FakeRig OverFake(const std::function<void(FakeByteStream&)>& script) {
    auto fake = std::make_unique<FakeByteStream>();
    FakeByteStream* raw = fake.get();
    script(*raw);
    auto engine = std::make_unique<SmtpEngine>(std::move(fake));
    engine->Socket().SetReceiveTimeout(100);
    engine->Socket().SetSendTimeout(100);
    return {raw, std::move(engine)};
}

const std::string kServer = std::string(kGreeting) +
                            "250-mail.test\r\n250-SIZE 1000\r\n250 HELP\r\n250 ok\r\n250 ok\r\n354 go\r\n"
                            "250 queued\r\n221 bye\r\n";
// A composed message text ends with its closing "." line.
const std::string kMessageText = "Subject: x\r\n\r\n.dot\r\n" + std::string(3000, 'b') + "\r\n.\r\n";
const std::string kClient =
    "EHLO me\r\nMAIL FROM:<a@b.test>\r\nRCPT TO:<c@d.test>\r\nDATA\r\nSubject: x\r\n\r\n..dot\r\n" +
    std::string(3000, 'b') + "\r\n.\r\nQUIT\r\n";

struct SessionRow {
    const char* name;
    std::function<void(FakeByteStream&)> script;
    friend void PrintTo(const SessionRow& row, std::ostream* os) { *os << row.name; }
};

class SessionOverFake : public ::testing::TestWithParam<SessionRow> {};

TEST_P(SessionOverFake, EndsTheSameWhateverTheStreamDoes) {
    FakeRig rig = OverFake(GetParam().script);
    SmtpEngine& engine = *rig.engine;
    ASSERT_EQ(engine.Connect("mail.test", 25, kByName), 1) << FailureText(engine.LastFailure());
    ASSERT_EQ(engine.Command(kEhlo, "me"), 1) << FailureText(engine.LastFailure());
    EXPECT_EQ(engine.ReplyLines(), (std::vector<std::string>{"mail.test", "SIZE 1000", "HELP"}));
    ASSERT_EQ(engine.Command(kMail, "a@b.test"), 1) << FailureText(engine.LastFailure());
    ASSERT_EQ(engine.Command(kRcpt, "c@d.test"), 1) << FailureText(engine.LastFailure());
    ASSERT_EQ(engine.Data(kMessageText), 1) << FailureText(engine.LastFailure());
    EXPECT_EQ(engine.LastReply(), "250 queued\r\n");
    ASSERT_EQ(engine.Command(kQuit, ""), 1) << FailureText(engine.LastFailure());
    const std::string written = rig.fake->Written();
    EXPECT_TRUE(written == kClient)
        << "differs from byte "
        << std::mismatch(written.begin(), written.end(), kClient.begin(), kClient.end()).first -
               written.begin();
}

INSTANTIATE_TEST_SUITE_P(
    SmtpEngine, SessionOverFake,
    ::testing::Values(SessionRow{"Whole", [](FakeByteStream& f) { f.Deliver(kServer); }},
                      SessionRow{"ByteByByte", [](FakeByteStream& f) { f.DeliverBytewise(kServer); }},
                      SessionRow{"SilencesBelowTheTimeOut",
                                 [](FakeByteStream& f) {
                                     for (char c : kServer)
                                         f.Delay(Milliseconds(95)).Deliver(std::string(1, c));
                                 }},
                      SessionRow{"ShortWrites",
                                 [](FakeByteStream& f) {
                                     f.Deliver(kServer, {30, 31}).LimitWrites(7);
                                 }}),
    [](const auto& info) { return info.param.name; });

struct FakeFailureRow {
    const char* name;
    std::function<void(FakeByteStream&)> script;  // after the greeting and the 354
    FailureKind kind;
    std::string text;
    friend void PrintTo(const FakeFailureRow& row, std::ostream* os) { *os << row.name; }
};

class DataFailuresOverFake : public ::testing::TestWithParam<FakeFailureRow> {};

TEST_P(DataFailuresOverFake, NameTheStepAndTheCause) {
    const FakeFailureRow& row = GetParam();
    FakeRig rig = OverFake([&](FakeByteStream& f) {
        f.Deliver(kGreeting).Deliver("354 go\r\n");
        row.script(f);
    });
    ASSERT_EQ(rig.engine->Connect("mail.test", 25, kByName), 1);
    EXPECT_EQ(rig.engine->Data(kMessageText), 0);
    EXPECT_EQ(rig.engine->LastFailure().kind, row.kind);
    EXPECT_EQ(FailureText(rig.engine->LastFailure()), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    SmtpEngine, DataFailuresOverFake,
    ::testing::Values(
        FakeFailureRow{"MessageWriteBroken",
                       [](FakeByteStream& f) {
                           f.FailWritesAfter(1500, {FailureKind::Closed, EPIPE});
                       },
                       FailureKind::Closed, "message: connection closed by the server (Broken pipe)"},
        FakeFailureRow{"NoRoomForTheMessage", [](FakeByteStream& f) { f.BlockWritesAfter(2000); },
                       FailureKind::TimedOut, "message: timed out"},
        FakeFailureRow{"DataWriteFails",
                       [](FakeByteStream& f) {
                           f.FailWritesAfter(0, {FailureKind::Io, EIO});
                       },
                       FailureKind::Io, "DATA: input/output error (Input/output error)"},
        FakeFailureRow{"AnswerLost",
                       [](FakeByteStream& f) {
                           f.Deliver("25").FailRead({FailureKind::Closed, ECONNRESET});
                       },
                       FailureKind::Closed,
                       "message: connection closed by the server (Connection reset by peer)"},
        FakeFailureRow{"AnswerTooLong",
                       [](FakeByteStream& f) { f.Deliver("250 " + std::string(300, 'k') + "\r\n"); },
                       FailureKind::ReplyTooLong, "message: reply too long"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace outlark
