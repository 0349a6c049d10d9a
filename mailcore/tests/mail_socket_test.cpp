#include "mailcore/mail_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <ostream>
#include <string>
#include <vector>

#include "testing/scripted_server/scripted_server.h"

namespace mailcore {
namespace {

using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kPatientMs = 5000;  // for reads that must succeed; only a fault waits this long
constexpr std::string_view kEndOfMessage = "\r\n.\r\n";

// A socket connected to `server`, with time-outs that only a fault reaches.
void ConnectTo(MailSocket& socket, const ScriptedServer& server) {
    ASSERT_EQ(socket.Open(), 1);
    socket.SetReceiveTimeout(kPatientMs);
    socket.SetSendTimeout(kPatientMs);
    ASSERT_EQ(socket.ConnectToName("127.0.0.1", server.Port()), 1);
}

sockaddr_storage Numeric(const char* text) {
    sockaddr_storage address{};
    if (inet_pton(AF_INET, text, &reinterpret_cast<sockaddr_in*>(&address)->sin_addr) == 1) {
        address.ss_family = AF_INET;
    } else {
        inet_pton(AF_INET6, text, &reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr);
        address.ss_family = AF_INET6;
    }
    return address;
}

struct ModeRow {
    const char* name;
    std::string sent;
    ReplyMode mode;
    std::string_view terminator;
    std::string expected;
    std::string next;  // what a following OneLine read returns; empty: nothing is left
    friend void PrintTo(const ModeRow& row, std::ostream* os) { *os << row.name; }
};

class ReplyModes : public ::testing::TestWithParam<ModeRow> {};

TEST_P(ReplyModes, EndWhereTheModeSays) {
    const ModeRow& row = GetParam();
    ScriptedServer server(Script().Reply(row.sent));
    MailSocket socket;
    ConnectTo(socket, server);
    std::string reply;
    ASSERT_TRUE(socket.ReadReply(reply, row.mode, row.terminator));
    EXPECT_EQ(reply, row.expected);
    if (!row.next.empty()) {
        ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine));
        EXPECT_EQ(reply, row.next);
    }
}

INSTANTIATE_TEST_SUITE_P(
    MailSocket, ReplyModes,
    ::testing::Values(ModeRow{"OneLineStopsAtTheFirstLf",
                              "+OK one\r\n+OK two\r\n",
                              ReplyMode::OneLine,
                              {},
                              "+OK one\r\n",
                              "+OK two\r\n"},
                      ModeRow{"OneLineSplitsAtBareLf", "a\nb\r\n", ReplyMode::OneLine, {}, "a\n", "b\r\n"},
                      ModeRow{"FinalLineEndsAtPositiveGreeting",
                              "+OK ready\r\nNEXT\r\n",
                              ReplyMode::UntilFinalLine,
                              {},
                              "+OK ready\r\n",
                              "NEXT\r\n"},
                      ModeRow{"FinalLineSkipsContinuationLines",
                              "220-one\r\n220-two\r\n220 three\r\n",
                              ReplyMode::UntilFinalLine,
                              {},
                              "220-one\r\n220-two\r\n220 three\r\n",
                              ""},
                      ModeRow{"FinalLineSkipsLinesStartingWithBlankOrTab",
                              " 23 x\r\n\t23 y\r\n+OK z\r\n",
                              ReplyMode::UntilFinalLine,
                              {},
                              " 23 x\r\n\t23 y\r\n+OK z\r\n",
                              ""},
                      ModeRow{"FinalLineNeedsMoreThanThreeBytes",
                              "+OK\r\n+OK ok\r\n",
                              ReplyMode::UntilFinalLine,
                              {},
                              "+OK\r\n+OK ok\r\n",
                              ""},
                      ModeRow{"TerminatorIsNotFooledByAStuffedDot", "a\r\n..\r\nb\r\n.\r\n+OK\r\n",
                              ReplyMode::UntilTerminator, kEndOfMessage, "a\r\n..\r\nb\r\n.\r\n", "+OK\r\n"},
                      ModeRow{"TerminatorOfAnEmptyMessage", ".\r\n+OK\r\n", ReplyMode::UntilTerminator,
                              kEndOfMessage, ".\r\n", "+OK\r\n"},
                      ModeRow{"TerminatorAfterAnEmptyLine", "H: v\r\n\r\n.\r\n", ReplyMode::UntilTerminator,
                              kEndOfMessage, "H: v\r\n\r\n.\r\n", ""}),
    [](const auto& info) { return info.param.name; });

// What TCP really delivers: every reply cut at every byte position must come out whole.
TEST(MailSocket, RepliesSplitAtEveryBytePosition) {
    struct Row {
        std::string text;
        ReplyMode mode;
        std::string_view terminator;
    };
    const std::vector<Row> rows = {
        {"+OK 2 320\r\n", ReplyMode::OneLine, {}},
        {"220-a\r\n220 b\r\n", ReplyMode::UntilFinalLine, {}},
        {"Subject: x\r\n\r\n..dot\r\nbody\r\n.\r\n", ReplyMode::UntilTerminator, kEndOfMessage},
        {".\r\n", ReplyMode::UntilTerminator, kEndOfMessage},
        {"a\r\n.\r\n", ReplyMode::UntilTerminator, kEndOfMessage},
    };
    for (const Row& row : rows) {
        for (std::size_t cut = 1; cut < row.text.size(); ++cut) {
            SCOPED_TRACE(row.text + " cut at " + std::to_string(cut));
            ScriptedServer server(Script().Reply(row.text, {cut}, Milliseconds(2)).Reply("TAIL\r\n"));
            MailSocket socket;
            ConnectTo(socket, server);
            std::string reply;
            ASSERT_TRUE(socket.ReadReply(reply, row.mode, row.terminator));
            EXPECT_EQ(reply, row.text);
            ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine));
            EXPECT_EQ(reply, "TAIL\r\n");
        }
    }
}

TEST(MailSocket, ReplyOneByteAtATime) {
    const std::string text = "From: a\r\n\r\n..x\r\n.\r\n";
    ScriptedServer server(Script().ReplyBytewise(text, Milliseconds(1)));
    MailSocket socket;
    ConnectTo(socket, server);
    std::string reply;
    ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::UntilTerminator, kEndOfMessage));
    EXPECT_EQ(reply, text);
}

struct FailureRow {
    const char* name;
    Script script;
    ReplyMode mode;
    std::size_t capacity;
    std::string keptInCallerBuffer;
    friend void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }
};

class ReadFailures : public ::testing::TestWithParam<FailureRow> {};

TEST_P(ReadFailures, FailAndLeaveTheSocketUsable) {
    const FailureRow& row = GetParam();
    ScriptedServer server(row.script);
    MailSocket socket;
    ConnectTo(socket, server);
    socket.SetReceiveTimeout(150);
    std::string reply = "stale";
    EXPECT_FALSE(socket.ReadReply(reply, row.mode, kEndOfMessage, row.capacity));
    EXPECT_EQ(reply, row.keptInCallerBuffer);
    socket.Close();
    // A closed socket opens again for a new connection.
    ScriptedServer next(Script().Reply("+OK again\r\n"));
    ConnectTo(socket, next);
    ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine));
    EXPECT_EQ(reply, "+OK again\r\n");
    socket.Close();
}

INSTANTIATE_TEST_SUITE_P(
    MailSocket, ReadFailures,
    ::testing::Values(
        FailureRow{"SilenceTimesOut", Script().Silence(), ReplyMode::OneLine, 0, ""},
        FailureRow{"NegativeLineNeverEndsAFinalLineRead", Script().Reply("-ERR no\r\n").Silence(),
                   ReplyMode::UntilFinalLine, 0, ""},
        FailureRow{"ClosedBeforeAnyByte", Script().Drop(), ReplyMode::OneLine, 0, ""},
        FailureRow{"ClosedMidLine", Script().Reply("+OK par").Drop(), ReplyMode::OneLine, 0, ""},
        FailureRow{"ClosedMidMessage", Script().Reply("+OK\r\nline\r\n").Drop(), ReplyMode::UntilTerminator,
                   0, ""},
        FailureRow{"CallerBufferKeepsWhatArrived", Script().Reply("+OK par").Drop(), ReplyMode::OneLine, 256,
                   "+OK par"},
        FailureRow{"StatusLineOf255BytesOverflows256", Script().Reply(std::string(253, 'x') + "\r\n"),
                   ReplyMode::OneLine, 256, std::string(253, 'x') + "\r\n"}),
    [](const auto& info) { return info.param.name; });

TEST(MailSocket, StatusLineOf254BytesFits) {
    const std::string line = std::string(252, 'x') + "\r\n";
    ScriptedServer server(Script().Reply(line));
    MailSocket socket;
    ConnectTo(socket, server);
    std::string reply;
    ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine, {}, 256));
    EXPECT_EQ(reply, line);
}

TEST(MailSocket, ReplyLimitIsExclusive) {
    for (std::size_t size : {std::size_t{4095}, std::size_t{4096}}) {
        SCOPED_TRACE(size);
        std::string text = std::string(size - 5, 'a') + kEndOfMessage.data();
        ScriptedServer server(Script().Reply(text));
        MailSocket socket;
        ConnectTo(socket, server);
        socket.SetReplyLimit(4096);
        std::string reply;
        EXPECT_EQ(socket.ReadReply(reply, ReplyMode::UntilTerminator, kEndOfMessage), size < 4096);
        EXPECT_EQ(reply.size(), size < 4096 ? size : 0u);
    }
}

TEST(MailSocket, ReplyBeyondTenMebibytesFails) {
    ScriptedServer server(Script().Flood(MailSocket::kDefaultReplyLimit + 4096, 'm', 78));
    MailSocket socket;
    ConnectTo(socket, server);
    std::string reply;
    EXPECT_FALSE(socket.ReadReply(reply, ReplyMode::UntilTerminator, kEndOfMessage));
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(reply.capacity(), std::string().capacity());  // nothing of the big buffer is kept
}

TEST(MailSocket, TricklingServerNeverTimesOut) {
    // 12 pieces 30 ms apart take longer than the 100 ms time-out, which bounds silence, not the reply.
    ScriptedServer server(Script().ReplyBytewise("+OK slow.\r\n", Milliseconds(30)));
    MailSocket socket;
    ConnectTo(socket, server);
    socket.SetReceiveTimeout(100);
    std::string reply;
    ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine));
    EXPECT_EQ(reply, "+OK slow.\r\n");
}

TEST(MailSocket, TimeOutWaitsAtLeastItsLength) {
    ScriptedServer server(Script().Silence());
    MailSocket socket;
    ConnectTo(socket, server);
    socket.SetReceiveTimeout(120);
    auto start = Clock::now();
    std::string reply;
    EXPECT_FALSE(socket.ReadReply(reply, ReplyMode::OneLine));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(120));
}

TEST(MailSocket, CancelEndsAWaitFromAnotherThread) {
    ScriptedServer server(Script().Silence());
    MailSocket socket;
    ConnectTo(socket, server);
    socket.SetReceiveTimeout(60000);
    auto read = std::async(std::launch::async, [&] {
        std::string reply;
        return socket.ReadReply(reply, ReplyMode::OneLine);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(socket.Cancel(), 0);
    ASSERT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(read.get());
    // The abort stays until Close.
    EXPECT_EQ(socket.SendText("NOOP\r\n"), -1);
    std::string reply;
    EXPECT_FALSE(socket.ReadReply(reply, ReplyMode::OneLine));
}

TEST(MailSocket, SendsLongTextWholeInChunks) {
    std::string text(3000, 'z');
    text += "\r\n";
    ScriptedServer server(Script().Expect(text).Reply("+OK\r\n"));
    MailSocket socket;
    ConnectTo(socket, server);
    socket.SetSendChunkSize(7);
    EXPECT_EQ(socket.SendText(text), static_cast<std::int32_t>(text.size()));
    std::string reply;
    ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine));
    socket.Close();
    server.Stop();
    EXPECT_EQ(server.Received(), text);
    EXPECT_TRUE(server.Failures().empty());
}

TEST(MailSocket, ObserverSeesEveryTextAndEveryWholeReply) {
    ScriptedServer server(
        Script().Reply("+OK hi\r\n", {2}, Milliseconds(2)).ExpectAnyLine().Reply("-ERR no\r\n"));
    MailSocket socket;
    std::vector<std::string> seen;
    socket.SetObserver([&](std::string_view text) { seen.emplace_back(text); });
    ConnectTo(socket, server);
    std::string reply;
    ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine));
    ASSERT_EQ(socket.SendLine("STAT\r\n"), 6);
    ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine));
    EXPECT_EQ(seen, (std::vector<std::string>{"+OK hi\r\n", "STAT\r\n", "-ERR no\r\n"}));
}

TEST(MailSocket, ConnectByNameAndByAddress) {
    ScriptedServer server(Script().Reply("+OK\r\n"));
    struct Row {
        const char* name;
        std::int32_t (MailSocket::*connect)(const std::string&, std::int32_t);
        std::string text;
        std::int32_t expected;
    };
    const std::vector<Row> rows = {
        {"name", &MailSocket::ConnectToName, "localhost", 1},
        {"numeric name", &MailSocket::ConnectToName, "127.0.0.1", 1},
        {"address with reverse entry", &MailSocket::ConnectToAddress, "127.0.0.1", 1},
        {"address that is a name", &MailSocket::ConnectToAddress, "localhost", -1},
        {"either with address", &MailSocket::ConnectToEither, "127.0.0.1", 1},
        {"either with name", &MailSocket::ConnectToEither, "localhost", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MailSocket socket;
        ASSERT_EQ(socket.Open(), 1);
        EXPECT_EQ((socket.*row.connect)(row.text, server.Port()), row.expected);
    }
}

TEST(MailSocket, AddressWithoutReverseEntryIsNotTried) {
    ScriptedServer server(Script().Reply("+OK\r\n"));
    MailSocket socket;
    MailSocket::Resolver resolver = MailSocket::SystemResolver();
    resolver.hasReverseEntry = [](const sockaddr_storage&) { return false; };
    socket.SetResolver(resolver);
    ASSERT_EQ(socket.Open(), 1);
    EXPECT_EQ(socket.ConnectToAddress("127.0.0.1", server.Port()), -1);
    server.Stop(Milliseconds(0));
    EXPECT_EQ(server.Accepted(), 0u);
}

TEST(MailSocket, NamePrefersIpv4AndFallsBackToIpv6) {
    ScriptedServer server(Script().Reply("+OK\r\n"));
    MailSocket socket;
    std::vector<sockaddr_storage> answer = {Numeric("::1"), Numeric("127.0.0.1")};
    socket.SetResolver({[&](const std::string&) { return answer; }, {}});
    ASSERT_EQ(socket.Open(), 1);
    EXPECT_EQ(socket.ConnectToName("dual.example", server.Port()), 1);  // the server listens on IPv4 only

    answer = {};
    EXPECT_EQ(socket.ConnectToName("unknown.example", server.Port()), -1);
}

TEST(MailSocket, ConnectToAClosedPortFails) {
    std::uint16_t port;
    {
        ScriptedServer gone(Script{});
        port = gone.Port();
    }
    MailSocket socket;
    ASSERT_EQ(socket.Open(), 1);
    EXPECT_EQ(socket.ConnectToName("127.0.0.1", port), 0);
    EXPECT_FALSE(socket.IsConnected());
    EXPECT_EQ(socket.ConnectToName("127.0.0.1", 0), 0);
    EXPECT_EQ(socket.ConnectToName("127.0.0.1", 70000), 0);
}

struct UnstuffRow {
    const char* name;
    std::string in;
    std::string out;
    friend void PrintTo(const UnstuffRow& row, std::ostream* os) { *os << row.name; }
};

class DotUnstuffing : public ::testing::TestWithParam<UnstuffRow> {};

TEST_P(DotUnstuffing, RemovesTheStuffedDot) {
    std::string text = GetParam().in;
    DotUnstuff(text);
    EXPECT_EQ(text, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    MailSocket, DotUnstuffing,
    ::testing::Values(UnstuffRow{"Nothing", "a\r\nb\r\n.\r\n", "a\r\nb\r\n.\r\n"},
                      UnstuffRow{"OneLine", "a\r\n..b\r\n.\r\n", "a\r\n.b\r\n.\r\n"},
                      UnstuffRow{"DotOnlyLine", "a\r\n..\r\n.\r\n", "a\r\n.\r\n.\r\n"},
                      UnstuffRow{"OnlyOneDotPerLine", "a\r\n...\r\n.\r\n", "a\r\n..\r\n.\r\n"},
                      UnstuffRow{"ConsecutiveLines", "\r\n..\r\n..\r\n..x", "\r\n.\r\n.\r\n.x"},
                      UnstuffRow{"StartOfTextLeftAlone", "..a\r\n.\r\n", "..a\r\n.\r\n"},
                      UnstuffRow{"BareLfIsNoLineBreak", "a\n..b", "a\n..b"},
                      UnstuffRow{"AtTheVeryEnd", "a\r\n..", "a\r\n."}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace mailcore
