#include "mailcore/mail_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "mailcore/unique_fd.h"
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
    FailureKind kind;
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
    EXPECT_EQ(socket.LastFailure().kind, row.kind) << FailureText(socket.LastFailure());
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
        FailureRow{"SilenceTimesOut", Script().Silence(), ReplyMode::OneLine, 0, "", FailureKind::TimedOut},
        FailureRow{"NegativeLineNeverEndsAFinalLineRead", Script().Reply("-ERR no\r\n").Silence(),
                   ReplyMode::UntilFinalLine, 0, "", FailureKind::TimedOut},
        FailureRow{"ClosedBeforeAnyByte", Script().Drop(), ReplyMode::OneLine, 0, "", FailureKind::Closed},
        FailureRow{"ClosedMidLine", Script().Reply("+OK par").Drop(), ReplyMode::OneLine, 0, "",
                   FailureKind::Closed},
        FailureRow{"ClosedMidMessage", Script().Reply("+OK\r\nline\r\n").Drop(), ReplyMode::UntilTerminator,
                   0, "", FailureKind::Closed},
        FailureRow{"CallerBufferKeepsWhatArrived", Script().Reply("+OK par").Drop(), ReplyMode::OneLine, 256,
                   "+OK par", FailureKind::Closed},
        FailureRow{"StatusLineOf255BytesOverflows256", Script().Reply(std::string(253, 'x') + "\r\n"),
                   ReplyMode::OneLine, 256, std::string(253, 'x') + "\r\n", FailureKind::ReplyTooLong}),
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
        EXPECT_EQ(socket.LastFailure().kind, size < 4096 ? FailureKind::None : FailureKind::ReplyTooLong);
    }
}

// Large messages go straight into the reply: the end must still be found wherever the segments fall,
// and what follows it must stay for the next read.
TEST(MailSocket, LargeMessageEndsAtItsTerminatorWhereverItIsCut) {
    std::string message;
    while (message.size() < 200 * 1024) message += "line of a large message\r\n..stuffed\r\n";
    message += "\r\n.\r\n";
    const std::string text = message + "+OK next\r\n";
    for (std::size_t back = 1; back <= 12; ++back) {
        SCOPED_TRACE(back);
        ScriptedServer server(Script().Reply(text, {70 * 1024, message.size() - back}, Milliseconds(2)));
        MailSocket socket;
        ConnectTo(socket, server);
        std::string reply;
        ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::UntilTerminator, kEndOfMessage));
        EXPECT_EQ(reply, message);
        ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine));
        EXPECT_EQ(reply, "+OK next\r\n");
    }
}

TEST(MailSocket, LargeReplyLimitIsExclusive) {
    constexpr std::size_t kLimit = 300 * 1024;
    for (std::size_t size : {kLimit - 1, kLimit}) {
        SCOPED_TRACE(size);
        std::string text;
        while (text.size() + 80 < size) text += std::string(78, 'q') + "\r\n";
        text += std::string(size - text.size() - 5, 'r') + kEndOfMessage.data();
        ASSERT_EQ(text.size(), size);
        ScriptedServer server(Script().Reply(text));
        MailSocket socket;
        ConnectTo(socket, server);
        socket.SetReplyLimit(kLimit);
        std::string reply;
        EXPECT_EQ(socket.ReadReply(reply, ReplyMode::UntilTerminator, kEndOfMessage), size < kLimit);
        EXPECT_EQ(reply.size(), size < kLimit ? size : 0u);
        EXPECT_EQ(socket.LastFailure().kind, size < kLimit ? FailureKind::None : FailureKind::ReplyTooLong);
    }
}

TEST(MailSocket, ReplyBeyondTenMebibytesFails) {
    ScriptedServer server(Script().Flood(MailSocket::kDefaultReplyLimit + 4096, 'm', 78));
    MailSocket socket;
    ConnectTo(socket, server);
    std::string reply;
    EXPECT_FALSE(socket.ReadReply(reply, ReplyMode::UntilTerminator, kEndOfMessage));
    EXPECT_EQ(socket.LastFailure().kind, FailureKind::ReplyTooLong);
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
    EXPECT_EQ(socket.LastFailure().kind, FailureKind::Cancelled);
    // The abort stays until Close.
    EXPECT_EQ(socket.SendText("NOOP\r\n"), -1);
    EXPECT_EQ(socket.LastFailure().kind, FailureKind::Cancelled);
    std::string reply;
    EXPECT_FALSE(socket.ReadReply(reply, ReplyMode::OneLine));
    EXPECT_EQ(socket.LastFailure().kind, FailureKind::Cancelled);
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

// A port on the loopback address where nothing listens.
std::uint16_t ClosedPort() {
    ScriptedServer gone(Script{});
    return gone.Port();
}

struct ConnectRow {
    const char* name;
    std::int32_t (MailSocket::*connect)(const std::string&, std::int32_t);
    std::string host;
    std::int32_t port;  // 0: a closed port
    std::int32_t result;
    FailureKind kind;
    std::string text;  // FailureText of the record; "PORT" stands for the port
    friend void PrintTo(const ConnectRow& row, std::ostream* os) { *os << row.name; }
};

class ConnectFailures : public ::testing::TestWithParam<ConnectRow> {};

TEST_P(ConnectFailures, SayWhy) {
    const ConnectRow& row = GetParam();
    MailSocket socket;
    // Names are answered here, so no test depends on the machine's resolver.
    socket.SetResolver({[](const std::string& host) {
                            std::vector<sockaddr_storage> found;
                            if (host == "mail.test") found.push_back(Numeric("127.0.0.1"));
                            return found;
                        },
                        [](const sockaddr_storage&) { return false; }});
    ASSERT_EQ(socket.Open(), 1);
    const std::int32_t port = row.port == 0 ? ClosedPort() : row.port;
    EXPECT_EQ((socket.*row.connect)(row.host, port), row.result);
    EXPECT_FALSE(socket.IsConnected());
    EXPECT_EQ(socket.LastFailure().kind, row.kind);
    std::string text = row.text;
    if (auto at = text.find("PORT"); at != std::string::npos) text.replace(at, 4, std::to_string(port));
    EXPECT_EQ(FailureText(socket.LastFailure()), text);
}

INSTANTIATE_TEST_SUITE_P(
    MailSocket, ConnectFailures,
    ::testing::Values(ConnectRow{"ClosedPortIsRefused", &MailSocket::ConnectToName, "mail.test", 0, 0,
                                 FailureKind::ConnectRefused,
                                 "connect mail.test:PORT: connection refused (Connection refused)"},
                      ConnectRow{"UnknownHost", &MailSocket::ConnectToName, "nowhere.test", 110, -1,
                                 FailureKind::Resolve, "connect nowhere.test:110: unknown host"},
                      ConnectRow{"AddressWithoutReverseEntry", &MailSocket::ConnectToAddress, "127.0.0.1",
                                 110, -1, FailureKind::Resolve, "connect 127.0.0.1:110: unknown host"},
                      ConnectRow{"NameWhereAnAddressIsAsked", &MailSocket::ConnectToAddress, "mail.test", 110,
                                 -1, FailureKind::Resolve, "connect mail.test:110: unknown host"},
                      ConnectRow{"NegativePort", &MailSocket::ConnectToName, "mail.test", -1, 0,
                                 FailureKind::BadArgument, "connect mail.test:-1: bad argument"},
                      ConnectRow{"PortBeyondRange", &MailSocket::ConnectToName, "mail.test", 70000, 0,
                                 FailureKind::BadArgument, "connect mail.test:70000: bad argument"}),
    [](const auto& info) { return info.param.name; });

// A listener that never accepts, with its queue full: a further connect neither succeeds nor fails.
class FullListener {
  public:
    FullListener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(fd_.get(), 0), 0);
        EXPECT_EQ(::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
        for (UniqueFd& filler : fillers_) {
            filler = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            (void)::connect(filler.get(), reinterpret_cast<sockaddr*>(&address), length);
        }
    }
    std::uint16_t Port() const { return port_; }

  private:
    UniqueFd fd_;
    std::array<UniqueFd, 4> fillers_;
    std::uint16_t port_ = 0;
};

TEST(MailSocket, CancelEndsAConnectFromAnotherThread) {
    FullListener listener;
    MailSocket socket;
    ASSERT_EQ(socket.Open(), 1);
    socket.SetSendTimeout(60000);  // bounds the connect: only a cancel ends it in time
    auto connect =
        std::async(std::launch::async, [&] { return socket.ConnectToName("127.0.0.1", listener.Port()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    socket.Cancel();
    ASSERT_EQ(connect.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(connect.get(), 0);
    EXPECT_EQ(socket.LastFailure().kind, FailureKind::Cancelled);
    EXPECT_EQ(FailureText(socket.LastFailure()),
              "connect 127.0.0.1:" + std::to_string(listener.Port()) + ": cancelled");
}

TEST(MailSocket, ConnectTimesOutAtTheSendTimeOut) {
    FullListener listener;
    MailSocket socket;
    ASSERT_EQ(socket.Open(), 1);
    socket.SetSendTimeout(100);
    EXPECT_EQ(socket.ConnectToName("127.0.0.1", listener.Port()), 0);
    EXPECT_EQ(socket.LastFailure().kind, FailureKind::TimedOut);
}

TEST(MailSocket, SendWithoutConnectionSaysSo) {
    MailSocket socket;
    ASSERT_EQ(socket.Open(), 1);
    EXPECT_EQ(socket.SendText("NOOP\r\n"), -1);
    EXPECT_EQ(socket.LastFailure().kind, FailureKind::NotConnected);
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
