// The byte-exact session through the shared library's public header, against the scripted server: the
// wire bytes, the values, and a failure record that names the command and keeps the server's words.

#include "inlark/pop3_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "inlark/pop3.h"
#include "testing/scripted_server/scripted_server.h"

namespace {

using inlark::Pop3Session;
using mailcore::FailureKind;
using scripted::Script;
using scripted::ScriptedServer;

constexpr const char* kGreeting = "+OK POP3 ready\r\n";

inlark::Pop3ConnectOptions QuickOptions() {
    inlark::Pop3ConnectOptions options;
    options.sendTimeout = std::chrono::seconds(5);
    options.receiveTimeout = std::chrono::milliseconds(1500);
    return options;
}

// A value as text, or "! <kind> | <reply>" for a failure, whose detail must name `command`.
template <typename T>
std::string Shown(const mailcore::Result<T>& result, const std::string& command,
                  const std::function<std::string(const T&)>& show) {
    if (result) return show(*result);
    EXPECT_TRUE(result.error().detail.starts_with(command)) << result.error().detail;
    return std::string("! ") + mailcore::FailureKindText(result.error().kind) + " | " + result.error().reply;
}

std::string Shown(const mailcore::Result<void>& result, const std::string& command) {
    if (result) return "ok";
    EXPECT_TRUE(result.error().detail.starts_with(command)) << result.error().detail;
    return std::string("! ") + mailcore::FailureKindText(result.error().kind) + " | " + result.error().reply;
}

std::string Listed(const std::vector<inlark::Pop3Listed>& list) {
    std::string text;
    for (const auto& entry : list) {
        text += (text.empty() ? "" : " ") + std::to_string(entry.number) + ":" +
                (entry.uid.empty() ? std::to_string(entry.octets) : entry.uid);
    }
    return text;
}

std::string Text(const std::string& text) { return text; }

struct Exchange {
    std::string expect;  // the exact command line
    std::string reply;
};

struct Row {
    const char* name;
    std::function<std::string(Pop3Session&)> call;
    std::vector<Exchange> exchanges;
    std::string shown;
    friend void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }
};

class SessionCommands : public ::testing::TestWithParam<Row> {};

TEST_P(SessionCommands, SendExactLinesAndGiveValuesOrTheServersWords) {
    const Row& row = GetParam();
    Script script;
    script.Reply(kGreeting);
    for (const Exchange& exchange : row.exchanges) script.Expect(exchange.expect).Reply(exchange.reply);
    ScriptedServer server(script);
    Pop3Session session;
    auto greeting = session.Connect("127.0.0.1", server.Port(), QuickOptions());
    ASSERT_TRUE(greeting) << mailcore::FailureText(greeting.error());
    EXPECT_EQ(*greeting, "+OK POP3 ready");

    EXPECT_EQ(row.call(session), row.shown);
    server.Stop(scripted::Milliseconds(100));
    EXPECT_TRUE(server.Failures().empty()) << server.Failures().front();
}

const std::string kStuffed = "+OK\r\nSubject: a\r\n\r\n..dot\r\n.\r\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, SessionCommands,
    ::testing::Values(
        Row{"Login",
            [](Pop3Session& s) { return Shown(s.Login("taro", "pw"), ""); },
            {{"USER taro\r\n", "+OK\r\n"}, {"PASS pw\r\n", "+OK in\r\n"}},
            "ok"},
        Row{"LoginRefusedKeepsThePasswordOut",
            [](Pop3Session& s) {
                auto r = s.Login("taro", "secret");
                EXPECT_EQ(r.error().detail.find("secret"), std::string::npos);
                return Shown(r, "PASS");
            },
            {{"USER taro\r\n", "+OK\r\n"}, {"PASS secret\r\n", "-ERR [AUTH] no\r\n"}},
            "! negative reply | -ERR [AUTH] no"},
        Row{"LoginTooLongSendsNothing",
            [](Pop3Session& s) { return Shown(s.Login(std::string(33, 'u'), "pw"), "USER"); },
            {},
            "! bad argument | "},
        Row{"StatWholeOctets",
            [](Pop3Session& s) {
                return Shown<inlark::Pop3Totals>(s.Stat(), "STAT", [](const inlark::Pop3Totals& t) {
                    return std::to_string(t.messages) + " " + std::to_string(t.octets);
                });
            },
            {{"STAT\r\n", "+OK 3 5000000000\r\n"}},
            "3 5000000000"},
        Row{"StatWithoutOctets",
            [](Pop3Session& s) {
                return Shown<inlark::Pop3Totals>(s.Stat(), "STAT", [](const auto&) { return "?"; });
            },
            {{"STAT\r\n", "+OK 3\r\n"}},
            "! malformed reply | +OK 3"},
        Row{"ListWholeSizes",
            [](Pop3Session& s) { return Shown<std::vector<inlark::Pop3Listed>>(s.List(), "LIST", Listed); },
            {{"LIST\r\n", "+OK\r\n1 300\r\n2 5000000000\r\n.\r\n"}},
            "1:300 2:5000000000"},
        Row{"ListOneRefused",
            [](Pop3Session& s) {
                return Shown<inlark::Pop3Listed>(s.List(7), "LIST 7", [](const auto&) { return "?"; });
            },
            {{"LIST 7\r\n", "-ERR There's no message 7.\r\n"}},
            "! negative reply | -ERR There's no message 7."},
        Row{"UidlKeepsTheIdsBytes",
            [](Pop3Session& s) { return Shown<std::vector<inlark::Pop3Listed>>(s.Uidl(), "UIDL", Listed); },
            {{"UIDL\r\n",
              "+OK\r\n1 abc\r\n2 d\xff\x1b"
              "e\r\n.\r\n"}},
            "1:abc 2:d\xff\x1b"
            "e"},
        Row{"UidlOne",
            [](Pop3Session& s) {
                return Shown<inlark::Pop3Listed>(s.Uidl(2), "UIDL 2", [](const auto& e) {
                    return std::to_string(e.number) + ":" + e.uid;
                });
            },
            {{"UIDL 2\r\n", "+OK 2 xyz\r\n"}},
            "2:xyz"},
        Row{"RetrieveGivesTheBytesUnstuffed",
            [](Pop3Session& s) { return Shown<std::string>(s.Retrieve(1), "RETR 1", Text); },
            {{"RETR 1\r\n", std::string("+OK\r\nSubject: \xe9\r\n\r\n..dot\r\nb\xff\0c\r\n.\r\n", 35)}},
            std::string("Subject: \xe9\r\n\r\n.dot\r\nb\xff\0c\r\n", 26)},
        Row{"RetrieveRefusedKeepsTheServersWords",
            [](Pop3Session& s) { return Shown<std::string>(s.Retrieve(3), "RETR 3", Text); },
            {{"RETR 3\r\n", "-ERR locked\r\n"}},
            "! negative reply | -ERR locked"},
        Row{"TopZeroAsksForTheHeaderWithACount",
            [](Pop3Session& s) { return Shown<std::string>(s.Top(1, 0), "TOP 1 0", Text); },
            {{"TOP 1 0\r\n", "+OK\r\nSubject: a\r\n\r\n.\r\n"}},
            "Subject: a\r\n\r\n"},
        Row{"TopNegativeSendsNothing",
            [](Pop3Session& s) { return Shown<std::string>(s.Top(1, -1), "TOP 1 -1", Text); },
            {},
            "! bad argument | "},
        Row{"DeleteZeroSendsNothing",
            [](Pop3Session& s) { return Shown(s.Delete(0), "DELE 0"); },
            {},
            "! bad argument | "},
        Row{"Delete",
            [](Pop3Session& s) { return Shown(s.Delete(2), "DELE 2"); },
            {{"DELE 2\r\n", "+OK\r\n"}},
            "ok"},
        Row{"NoopAndReset",
            [](Pop3Session& s) {
                std::string shown = Shown(s.Noop(), "NOOP");
                return shown + " " + Shown(s.Reset(), "RSET");
            },
            {{"NOOP\r\n", "+OK\r\n"}, {"RSET\r\n", "-ERR\r\n"}},
            "ok ! negative reply | -ERR"},
        Row{"QuitCloses",
            [](Pop3Session& s) {
                std::string shown = Shown(s.Quit(), "QUIT");
                shown += s.IsConnected() ? " connected " : " closed ";
                return shown + Shown(s.Noop(), "NOOP");
            },
            {{"QUIT\r\n", "+OK bye\r\n"}},
            "ok closed ! not connected | "},
        Row{"RefusedQuitStaysConnected",
            [](Pop3Session& s) { return Shown(s.Quit(), "QUIT") + (s.IsConnected() ? " connected" : ""); },
            {{"QUIT\r\n", "-ERR cannot commit\r\n"}},
            "! negative reply | -ERR cannot commit connected"},
        Row{"GarbageIsMalformed",
            [](Pop3Session& s) { return Shown(s.Noop(), "NOOP"); },
            {{"NOOP\r\n", "hello\r\n"}},
            "! malformed reply | hello"}),
    [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

TEST(Session, CommandsWithoutAConnectionSayNotConnected) {
    Pop3Session session;
    auto stat = session.Stat();
    ASSERT_FALSE(stat);
    EXPECT_EQ(stat.error().kind, FailureKind::NotConnected);
    EXPECT_EQ(stat.error().detail, "STAT");
    EXPECT_FALSE(session.Retrieve(1));
}

TEST(Session, BrokenOffMessageIsAFailureNotAShortMessage) {
    ScriptedServer server(
        Script().Reply(kGreeting).Expect("RETR 1\r\n").Reply("+OK\r\nSubject: a\r\n\r\nhalf").Drop());
    Pop3Session session;
    ASSERT_TRUE(session.Connect("127.0.0.1", server.Port(), QuickOptions()));
    auto message = session.Retrieve(1);
    ASSERT_FALSE(message);
    EXPECT_EQ(message.error().kind, FailureKind::Closed) << mailcore::FailureText(message.error());
}

TEST(Session, CancelFromAnotherThreadEndsARetrieval) {
    ScriptedServer server(
        Script().Reply(kGreeting).Expect("RETR 1\r\n").Reply("+OK\r\nSubject: a\r\n").Silence());
    Pop3Session session;
    inlark::Pop3ConnectOptions options = QuickOptions();
    options.receiveTimeout = std::chrono::seconds(30);
    ASSERT_TRUE(session.Connect("127.0.0.1", server.Port(), options));
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        session.Cancel();
    });
    auto message = session.Retrieve(1);
    canceller.join();
    ASSERT_FALSE(message);
    EXPECT_EQ(message.error().kind, FailureKind::Cancelled) << mailcore::FailureText(message.error());
    // The session can be connected again after a cancel.
    server.Stop(scripted::Milliseconds(0));
    ScriptedServer next(Script().Reply(kGreeting).Expect("NOOP\r\n").Reply("+OK\r\n"));
    ASSERT_TRUE(session.Connect("127.0.0.1", next.Port(), QuickOptions()));
    EXPECT_TRUE(session.Noop());
}

// The control reads the same record: the server's refusal reaches LastErrorText, and a success clears it.
TEST(Session, TheControlsLastErrorTextShowsARefusalUntilTheNextSuccess) {
    ScriptedServer server(Script()
                              .Reply(kGreeting)
                              .Expect("RETR 3\r\n")
                              .Reply("-ERR locked\r\n")
                              .Expect("NOOP\r\n")
                              .Reply("+OK\r\n"));
    inlark::Pop3 pop3;
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    ASSERT_EQ(result, 1);
    pop3.RETR(3, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(pop3.LastErrorText(), u"RETR 3: negative reply: -ERR locked");
    pop3.NOOP(&result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(pop3.LastErrorText(), u"");
}

}  // namespace
