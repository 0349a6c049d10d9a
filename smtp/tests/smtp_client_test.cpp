// The lossless API through the shared library: the session against the scripted loopback server, and
// composed bytes equal to what the Smtp control sends.
#include "outlark/smtp_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "outlark/composer.h"
#include "outlark/send_record.h"
#include "outlark/smtp.h"
#include "testing/scripted_server/scripted_server.h"

namespace {

namespace fs = std::filesystem;
using mailcore::FailureKind;
using scripted::Script;
using scripted::ScriptedServer;
using testing::HasSubstr;

outlark::SmtpServer Local(const ScriptedServer& server) {
    return {"127.0.0.1", server.Port(), std::chrono::seconds(5), std::chrono::seconds(5), false};
}

Script Greeting() {
    Script s;
    s.Reply("220 ready\r\n");
    return s;
}

// One command of a session against one reply of the server.
TEST(SmtpSessionTest, EachCommandGivesTheReplyOrTheFailure) {
    using Call = std::function<mailcore::Result<outlark::ServerReply>(outlark::SmtpSession&)>;
    struct Case {
        const char* name;
        Call call;
        std::string expect;  // the line the server must read; "" for none
        std::function<void(Script&)> answer;
        FailureKind kind;   // None: success
        std::string reply;  // the reply line kept (success: the text, failure: the failure's reply)
        bool connected_after;
    };
    auto reply = [](std::string text) { return [text](Script& s) { s.Reply(text); }; };
    const Case cases[] = {
        {"HELO", [](auto& s) { return s.Helo("me"); }, "HELO me\r\n", reply("250 hi\r\n"), FailureKind::None,
         "250 hi\r\n", true},
        {"MAIL", [](auto& s) { return s.MailFrom("f@x"); }, "MAIL FROM:<f@x>\r\n", reply("250 ok\r\n"),
         FailureKind::None, "250 ok\r\n", true},
        {"RCPT refused", [](auto& s) { return s.RcptTo("t@x"); }, "RCPT TO:<t@x>\r\n",
         reply("550 5.1.1 no such user\r\n"), FailureKind::NegativeReply, "550 5.1.1 no such user", true},
        {"RCPT busy", [](auto& s) { return s.RcptTo("t@x"); }, "RCPT TO:<t@x>\r\n", reply("451 later\r\n"),
         FailureKind::NegativeReply, "451 later", true},
        {"RSET garbled", [](auto& s) { return s.Rset(); }, "RSET\r\n", reply("hello there\r\n"),
         FailureKind::MalformedReply, "hello there", true},
        {"QUIT", [](auto& s) { return s.Quit(); }, "QUIT\r\n", reply("221 bye\r\n"), FailureKind::None,
         "221 bye\r\n", false},
        {"line break refused", [](auto& s) { return s.MailFrom("f@x>\r\nRCPT TO:<all"); }, "", reply(""),
         FailureKind::BadArgument, "", true},
        {"line too long refused", [](auto& s) { return s.RcptTo(std::string(300, 'a')); }, "", reply(""),
         FailureKind::BadArgument, "", true},
    };
    for (const Case& c : cases) {
        Script s = Greeting();
        if (!c.expect.empty()) s.Expect(c.expect);
        c.answer(s);
        ScriptedServer server(std::move(s));
        outlark::SmtpSession session;
        ASSERT_TRUE(session.Connect(Local(server))) << c.name;
        auto result = c.call(session);
        if (c.kind == FailureKind::None) {
            ASSERT_TRUE(result) << c.name << ": " << mailcore::FailureText(result.error());
            EXPECT_EQ(result->text, c.reply) << c.name;
            EXPECT_EQ(result->code, std::stoi(c.reply.substr(0, 3))) << c.name;
        } else {
            ASSERT_FALSE(result) << c.name;
            EXPECT_EQ(result.error().kind, c.kind) << c.name << ": " << mailcore::FailureText(result.error());
            EXPECT_EQ(result.error().reply, c.reply) << c.name;
        }
        EXPECT_EQ(session.IsConnected(), c.connected_after) << c.name;
        session.Close();
        server.Stop();
        EXPECT_THAT(server.Failures(), testing::IsEmpty()) << c.name;
    }
}

TEST(SmtpSessionTest, NoReplyIsAFailureWithoutAServerLine) {
    const std::function<void(Script&)> faults[] = {
        [](Script& s) { s.Drop(); },
        [](Script& s) {
            s.Reply("250 never end");
            s.Drop();
        },
        [](Script& s) { s.Flood(400, 'x'); },  // beyond the 256-byte status buffer
    };
    for (const auto& fault : faults) {
        // RSET stands for any one-line command.
        Script t = Greeting();
        t.Expect("RSET\r\n");
        fault(t);
        ScriptedServer faulty(std::move(t));
        outlark::SmtpSession session;
        outlark::SmtpServer where = Local(faulty);
        where.receiveTimeout = std::chrono::milliseconds(500);
        ASSERT_TRUE(session.Connect(where));
        auto result = session.Rset();
        ASSERT_FALSE(result);
        EXPECT_NE(result.error().kind, FailureKind::None);
        EXPECT_NE(result.error().kind, FailureKind::NegativeReply);
        EXPECT_EQ(result.error().reply, "");
        EXPECT_THAT(mailcore::FailureText(result.error()), HasSubstr("RSET"));
    }
}

TEST(SmtpSessionTest, WholeConversationWithMultiLineEhloAndStuffedData) {
    Script s = Greeting();
    s.Expect("EHLO me\r\n").Reply("250-mx.example\r\n250-SIZE 1000\r\n250 HELP\r\n");
    s.Expect("MAIL FROM:<f@x>\r\n").Reply("250 ok\r\n").Expect("RCPT TO:<t@x>\r\n").Reply("250 ok\r\n");
    s.Expect("DATA\r\n").Reply("354 go\r\n");
    s.Expect("Subject: x\r\n").Expect("\r\n").Expect("..\r\n").Expect("..dot\r\n").Expect("bare\r\n");
    s.Expect("end\r\n").Expect(".\r\n").Reply("250 queued as 7\r\n");
    s.Expect("QUIT\r\n").Reply("221 bye\r\n");
    ScriptedServer server(std::move(s));
    outlark::SmtpSession session;
    auto greeting = session.Connect(Local(server));
    ASSERT_TRUE(greeting);
    EXPECT_EQ(greeting->code, 220);
    auto ehlo = session.Ehlo("me");
    ASSERT_TRUE(ehlo);
    EXPECT_THAT(ehlo->lines, testing::ElementsAre("mx.example", "SIZE 1000", "HELP"));
    ASSERT_TRUE(session.MailFrom("f@x"));
    ASSERT_TRUE(session.RcptTo("t@x"));
    auto data = session.Data("Subject: x\r\n\r\n.\r\n.dot\nbare\rend");
    ASSERT_TRUE(data) << mailcore::FailureText(data.error());
    EXPECT_EQ(data->text, "250 queued as 7\r\n");
    ASSERT_TRUE(session.Quit());
    EXPECT_FALSE(session.IsConnected());
    server.Stop();
    EXPECT_THAT(server.Failures(), testing::IsEmpty());
}

TEST(SmtpSessionTest, CommandsNeedAConnection) {
    outlark::SmtpSession session;
    auto result = session.Helo("me");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, FailureKind::NotConnected);
    ASSERT_FALSE(session.Data("x"));
    EXPECT_EQ(session.Data("x").error().kind, FailureKind::NotConnected);
}

TEST(SmtpSessionTest, CancelFromAnotherThreadEndsAWaitingCommand) {
    Script s = Greeting();
    s.Expect("HELO me\r\n").Silence();
    ScriptedServer server(std::move(s));
    outlark::SmtpSession session;
    outlark::SmtpServer where = Local(server);
    where.receiveTimeout = std::chrono::minutes(5);  // only the cancel can end the wait
    ASSERT_TRUE(session.Connect(where));
    std::thread canceller([&] {
        // Cancel until the command has seen it: the first one may come before the command waits.
        while (session.IsConnected()) {
            session.Cancel();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    auto result = session.Helo("me");
    canceller.join();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, FailureKind::Cancelled);
    EXPECT_FALSE(session.IsConnected());
}

// Without what depends on the moment of composing: the Date line and the MIME boundary's tick count.
std::string Timeless(std::string message) {
    size_t date = message.find("\r\nDate: ");
    if (date != std::string::npos) message.erase(date, message.find("\r\n", date + 2) - date);
    const std::string boundary = "----=_NextPart_000_";
    for (size_t at = message.find(boundary); at != std::string::npos; at = message.find(boundary, at + 1))
        message.replace(at + boundary.size(), 8, "XXXXXXXX");
    return message;
}

std::u16string Utf16(std::string_view utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        char32_t code = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += 1 + extra;
        if (code >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

Script AcceptingAnyMessage() {
    Script s = Greeting();
    s.ExpectAnyLine()
        .Reply("250 hello\r\n")
        .ExpectAnyLine()
        .Reply("250 ok\r\n")
        .ExpectAnyLine()
        .Reply("250 ok\r\n");
    s.Expect("DATA\r\n").Reply("354 go\r\n").ExpectThrough(".\r\n").Reply("250 queued\r\n");
    s.Expect("QUIT\r\n").Reply("221 bye\r\n");
    return s;
}

class ComposeTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/smtp-client-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

// The control's SendMail, the session step by step with ComposeMail's bytes, and the session's Send put
// the same bytes on the wire.
TEST_F(ComposeTest, ComposedBytesAreWhatTheControlSends) {
    fs::path attachment = dir_ / "a b.bin";
    std::ofstream(attachment, std::ios::binary) << std::string("\0\r\n.\r\r\xff", 7);
    struct Case {
        std::string subject, body;
        bool attach;
        outlark::ComposeOptions options;
    };
    const Case cases[] = {
        {"Hi", "hello\r\n", false, {}},
        {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", ".\r\n..two\nbare\rcr", false, {0, 0, 0, 76, 3}},
        {"", "", false, {0, 1, 1, 76, 5}},
        {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe4\xbb\xb6\xe5\x90\x8d with file",
         "\xe6\x9c\xac\xe6\x96\x87\r\n",
         true,
         {0, 0, 0, 40, 1}},
        {"plain", "uu body", true, {1, 0, 1, 76, 2}},
    };
    for (const Case& c : cases) {
        std::string file = c.attach ? attachment.string() : "";
        std::vector<std::string> received;
        {
            ScriptedServer server(AcceptingAnyMessage());
            outlark::Smtp smtp;
            smtp.SetPort(server.Port());
            smtp.SetLogFilename(u"");
            smtp.SetType(c.options.type);
            smtp.SetEncode(c.options.encode);
            smtp.SetHeader8bit(c.options.header8bit);
            smtp.SetWidth(c.options.width);
            smtp.SetPriority(c.options.priority);
            std::int32_t status = 0;
            smtp.SendMail(u"127.0.0.1", u"t@x", u"f@x", Utf16(c.subject), Utf16(c.body), Utf16(file),
                          &status);
            EXPECT_EQ(status, 1) << c.subject;
            ASSERT_TRUE(server.WaitForFinished(1));
            received.push_back(server.Received());
        }
        {
            outlark::MailDraft draft;
            draft.from = outlark::MailAddress{"f@x", ""};
            draft.to = {{"t@x", ""}};
            if (!c.subject.empty()) draft.subject = c.subject;
            draft.body = c.body;
            if (c.attach) draft.attachments = {file};
            auto composed = outlark::ComposeMail(draft, c.options);
            ASSERT_TRUE(composed) << c.subject;
            EXPECT_THAT(composed->warnings, testing::IsEmpty());
            ScriptedServer server(AcceptingAnyMessage());
            outlark::SmtpSession session;
            ASSERT_TRUE(session.Connect(Local(server)));
            ASSERT_TRUE(session.Helo("Outlark"));
            ASSERT_TRUE(session.MailFrom("f@x"));
            ASSERT_TRUE(session.RcptTo("t@x"));
            ASSERT_TRUE(session.Data(composed->bytes));
            ASSERT_TRUE(session.Quit());
            ASSERT_TRUE(server.WaitForFinished(1));
            received.push_back(server.Received());
        }
        {
            ScriptedServer server(AcceptingAnyMessage());
            outlark::SmtpSession session;
            outlark::SendOutcome outcome =
                session.Send(Local(server), {"t@x", "f@x", c.subject, c.body, file, c.options, ""});
            EXPECT_EQ(outcome.status, mailcore::SendStatus::Sent) << mailcore::FailureText(outcome.failure);
            ASSERT_TRUE(server.WaitForFinished(1));
            received.push_back(server.Received());
        }
        EXPECT_EQ(Timeless(received[1]), Timeless(received[0])) << c.subject;
        EXPECT_EQ(Timeless(received[2]), Timeless(received[0])) << c.subject;
    }
}

TEST_F(ComposeTest, WarnsOfCharactersShiftJisCannotHold) {
    outlark::MailDraft draft;
    draft.to = {{"t@x", "caf\xc3\xa9"}};
    draft.subject = "\xf0\x9f\x98\x80 \xe2\x98\x83";
    draft.body = "ok";
    auto composed = outlark::ComposeMail(draft);
    ASSERT_TRUE(composed);
    ASSERT_EQ(composed->warnings.size(), 2u);
    EXPECT_EQ(composed->warnings[0].field, "To");
    EXPECT_EQ(composed->warnings[0].replaced, 1u);
    EXPECT_EQ(composed->warnings[1].field, "Subject");
    EXPECT_EQ(composed->warnings[1].replaced, 2u);
    EXPECT_FALSE(outlark::ComposeMail(draft, {2, 0, 1, 76, 3})) << "type 2 does not exist";
}

TEST_F(ComposeTest, SendFailuresCarryTheirCauseAndAreLogged) {
    fs::path log = dir_ / "send.log";
    struct Case {
        const char* name;
        std::function<void(Script&)> server;  // after the greeting
        outlark::OneShotRequest request;
        mailcore::SendStatus status;
        FailureKind kind;
        std::string reply;
        bool connects;
    };
    outlark::OneShotRequest plain{"t@x", "f@x", "s", "b", "", {}, log.string()};
    outlark::OneShotRequest missing_file = plain;
    missing_file.attachment = (dir_ / "missing.txt").string();
    outlark::OneShotRequest long_to = plain;
    long_to.to = std::string(244, 't');
    outlark::OneShotRequest no_from = plain;
    no_from.from = "";
    const Case cases[] = {
        {"RCPT refused",
         [](Script& s) {
             s.Expect("HELO Outlark\r\n")
                 .Reply("250 hi\r\n")
                 .Expect("MAIL FROM:<f@x>\r\n")
                 .Reply("250 ok\r\n");
             s.Expect("RCPT TO:<t@x>\r\n").Reply("550 no such user\r\n");
         },
         plain, mailcore::SendStatus::RcptRefused, FailureKind::NegativeReply, "550 no such user", true},
        {"HELO garbled", [](Script& s) { s.Expect("HELO Outlark\r\n").Reply("what?\r\n"); }, plain,
         mailcore::SendStatus::HeloRefused, FailureKind::MalformedReply, "what?", true},
        {"missing attachment", [](Script&) {}, missing_file, mailcore::SendStatus::AttachmentUnreadable,
         FailureKind::BadArgument, "", false},
        {"recipient too long", [](Script&) {}, long_to, mailcore::SendStatus::RcptRefused,
         FailureKind::BadArgument, "", false},
        {"no sender", [](Script&) {}, no_from, mailcore::SendStatus::MissingArgument,
         FailureKind::BadArgument, "", false},
    };
    for (const Case& c : cases) {
        fs::remove(log);
        Script s = Greeting();
        c.server(s);
        ScriptedServer server(std::move(s));
        outlark::SmtpSession session;
        outlark::SendOutcome outcome = session.Send(Local(server), c.request);
        EXPECT_EQ(outcome.status, c.status) << c.name;
        EXPECT_EQ(outcome.failure.kind, c.kind) << c.name << ": " << mailcore::FailureText(outcome.failure);
        EXPECT_EQ(outcome.failure.reply, c.reply) << c.name;
        server.Stop();
        EXPECT_EQ(server.Accepted() > 0, c.connects) << c.name;
        std::ifstream in(log, std::ios::binary);
        std::stringstream record;
        record << in.rdbuf();
        if (c.status == mailcore::SendStatus::MissingArgument) {
            EXPECT_EQ(record.str(), "") << c.name << ": a refused send leaves no record";
        } else {
            EXPECT_THAT(record.str(),
                        HasSubstr("Status:\r\n  " + std::to_string(mailcore::ToInt(c.status)) + " (P="))
                << c.name;
        }
    }
}

TEST_F(ComposeTest, AppendSendRecordWritesTheControlsRecord) {
    fs::path log = dir_ / "own.log";
    outlark::SendLogEntry entry;
    entry.status = 1;
    entry.server = "mx";
    entry.subject = "\xe6\x97\xa5";  // in the log as Shift_JIS
    entry.encode = 1;
    ASSERT_TRUE(outlark::AppendSendRecord(log.string(), entry));
    std::ifstream in(log, std::ios::binary);
    std::stringstream record;
    record << in.rdbuf();
    EXPECT_THAT(record.str(),
                HasSubstr("Status:\r\n  \x90\xac\x8c\xf7 (P=25, T=0, E=2, H=1, W=76, ST=30, RT=30, S=1)"));
    EXPECT_THAT(record.str(), HasSubstr("Subject:\r\n  \x93\xfa\r\n"));
    EXPECT_FALSE(outlark::AppendSendRecord((dir_ / "no" / "such.log").string(), entry));
}

}  // namespace
