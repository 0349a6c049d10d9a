// The line reader over a scripted byte stream: what TCP can do to a reply (split it anywhere, pause, fail,
// close) and to a command (take it in pieces, refuse it, run out of room), without a socket.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "mailcore/mail_socket.h"
#include "testing/fake_stream/fake_byte_stream.h"

namespace mailcore {
namespace {

using scripted::FakeByteStream;
using Ms = std::chrono::milliseconds;

constexpr std::string_view kEndOfMessage = "\r\n.\r\n";

// A socket over a fake stream that is connected; the fake stays reachable through the returned pointer.
struct Rig {
    FakeByteStream* fake;
    std::unique_ptr<MailSocket> socket;
};

Rig Connected() {
    auto fake = std::make_unique<FakeByteStream>();
    FakeByteStream* raw = fake.get();
    auto socket = std::make_unique<MailSocket>(std::move(fake));
    EXPECT_EQ(socket->Open(), 1);
    EXPECT_EQ(socket->ConnectToName("mail.test", 110), 1);
    return {raw, std::move(socket)};
}

struct ReadRow {
    const char* name;
    std::function<void(FakeByteStream&)> script;
    ReplyMode mode;
    std::size_t capacity;
    bool ok;
    std::string reply;
    FailureKind kind;
    std::string text;  // FailureText, when it failed
    friend void PrintTo(const ReadRow& row, std::ostream* os) { *os << row.name; }
};

class StreamReads : public ::testing::TestWithParam<ReadRow> {};

TEST_P(StreamReads, EndOrFailAsTheStreamDictates) {
    const ReadRow& row = GetParam();
    Rig rig = Connected();
    row.script(*rig.fake);
    rig.socket->SetReceiveTimeout(100);
    std::string reply = "stale";
    EXPECT_EQ(rig.socket->ReadReply(reply, row.mode, kEndOfMessage, row.capacity), row.ok);
    EXPECT_EQ(reply, row.reply);
    EXPECT_EQ(rig.socket->LastFailure().kind, row.kind);
    if (!row.ok) {
        EXPECT_EQ(FailureText(rig.socket->LastFailure()), row.text);
    }
}

std::string Big(std::size_t size) {
    std::string text;
    while (text.size() < size) text += "a line of a big message\r\n";
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    MailSocket, StreamReads,
    ::testing::Values(
        ReadRow{"SilencesShorterThanTheTimeOutAddUp",
                [](FakeByteStream& f) {
                    f.Deliver("+OK a").Delay(Ms(80)).Deliver("b").Delay(Ms(80)).Deliver("\r\n");
                },
                ReplyMode::OneLine, 0, true, "+OK ab\r\n", FailureKind::None, ""},
        ReadRow{"SilenceLongerThanTheTimeOut", [](FakeByteStream& f) { f.Deliver("+OK a").Delay(Ms(150)); },
                ReplyMode::OneLine, 0, false, "", FailureKind::TimedOut, "timed out"},
        ReadRow{"NothingAtAll", [](FakeByteStream&) {}, ReplyMode::OneLine, 256, false, "",
                FailureKind::TimedOut, "timed out"},
        ReadRow{"ReadFailsWithErrno",
                [](FakeByteStream& f) {
                    f.Deliver("+OK").FailRead({FailureKind::Io, EIO});
                },
                ReplyMode::OneLine, 0, false, "", FailureKind::Io, "input/output error (Input/output error)"},
        ReadRow{"ResetByPeer",
                [](FakeByteStream& f) {
                    f.Deliver("+OK").FailRead({FailureKind::Closed, ECONNRESET});
                },
                ReplyMode::OneLine, 256, false, "+OK", FailureKind::Closed,
                "connection closed by the server (Connection reset by peer)"},
        ReadRow{
            "PeerClosesMidReply", [](FakeByteStream& f) { f.Deliver("250-first\r\n250-sec").CloseByPeer(); },
            ReplyMode::UntilFinalLine, 0, false, "", FailureKind::Closed, "connection closed by the server"},
        ReadRow{"BigMessageFailsHalfWay",
                [](FakeByteStream& f) {
                    f.Deliver(Big(200000), {100, 70000}).FailRead({FailureKind::Io, EIO});
                },
                ReplyMode::UntilTerminator, 0, false, "", FailureKind::Io,
                "input/output error (Input/output error)"},
        ReadRow{"BigMessageClosedHalfWay", [](FakeByteStream& f) { f.Deliver(Big(200000)).CloseByPeer(); },
                ReplyMode::UntilTerminator, 0, false, "", FailureKind::Closed,
                "connection closed by the server"},
        ReadRow{"StatusLineTooLong",
                [](FakeByteStream& f) { f.Deliver(std::string(300, 'x') + "\r\n", {100}); },
                ReplyMode::OneLine, 256, false, std::string(255, 'x'), FailureKind::ReplyTooLong,
                "reply too long"},
        ReadRow{"RefusingGreetingEndsAtOnce", [](FakeByteStream& f) { f.Deliver("-ERR go away\r\n", {3}); },
                ReplyMode::UntilFinalOrRefusal, 0, true, "-ERR go away\r\n", FailureKind::None, ""},
        ReadRow{"RefusalAfterOtherLines", [](FakeByteStream& f) { f.Deliver("hello\r\n-ERR no\r\n+OK\r\n"); },
                ReplyMode::UntilFinalOrRefusal, 0, true, "hello\r\n-ERR no\r\n", FailureKind::None, ""},
        ReadRow{"FinalLineEndsAGreetingToo", [](FakeByteStream& f) { f.Deliver("220-a\r\n220 b\r\n"); },
                ReplyMode::UntilFinalOrRefusal, 0, true, "220-a\r\n220 b\r\n", FailureKind::None, ""}),
    [](const auto& info) { return info.param.name; });

// A big message goes straight into the reply; its end must be found wherever the stream cuts it, and what
// follows it must stay for the next read.
TEST(MailSocketStream, BigMessageEndsAtItsTerminatorWhereverItIsCut) {
    const std::string message = Big(150 * 1024) + "..stuffed\r\n.\r\n";
    for (std::size_t back = 1; back <= 8; ++back) {
        SCOPED_TRACE(back);
        Rig rig = Connected();
        rig.fake->Deliver(message + "+OK next\r\n", {64 * 1024, 64 * 1024 + 1, message.size() - back});
        std::string reply;
        ASSERT_TRUE(rig.socket->ReadReply(reply, ReplyMode::UntilTerminator, kEndOfMessage));
        EXPECT_EQ(reply, message);
        ASSERT_TRUE(rig.socket->ReadReply(reply, ReplyMode::OneLine));
        EXPECT_EQ(reply, "+OK next\r\n");
    }
}

TEST(MailSocketStream, DiscardedReadAheadIsNeverHandedOut) {
    Rig rig = Connected();
    rig.fake->Deliver("+OK begin TLS\r\nplanted by a man in the middle\r\n").Deliver("+OK after\r\n");
    std::string reply;
    ASSERT_TRUE(rig.socket->ReadReply(reply, ReplyMode::OneLine));
    rig.socket->DiscardReadAhead();
    ASSERT_TRUE(rig.socket->ReadReply(reply, ReplyMode::OneLine));
    EXPECT_EQ(reply, "+OK after\r\n");
}

struct WriteRow {
    const char* name;
    std::function<void(FakeByteStream&)> script;
    std::size_t chunk;
    std::int32_t result;
    std::size_t written;  // bytes of the text that reached the stream
    FailureKind kind;
    friend void PrintTo(const WriteRow& row, std::ostream* os) { *os << row.name; }
};

class StreamWrites : public ::testing::TestWithParam<WriteRow> {};

TEST_P(StreamWrites, SendAllOrSayWhy) {
    const WriteRow& row = GetParam();
    const std::string text = std::string(2500, 'w') + "\r\n";
    Rig rig = Connected();
    row.script(*rig.fake);
    rig.socket->SetSendChunkSize(row.chunk);
    rig.socket->SetSendTimeout(100);
    EXPECT_EQ(rig.socket->SendText(text), row.result);
    EXPECT_EQ(rig.fake->Written(), text.substr(0, row.written));
    EXPECT_EQ(rig.socket->LastFailure().kind, row.kind);
}

INSTANTIATE_TEST_SUITE_P(
    MailSocket, StreamWrites,
    ::testing::Values(WriteRow{"OneBytePerWrite", [](FakeByteStream& f) { f.LimitWrites(1); }, 1024, 2502,
                               2502, FailureKind::None},
                      WriteRow{"ShortWritesInsideChunks", [](FakeByteStream& f) { f.LimitWrites(700); }, 1024,
                               2502, 2502, FailureKind::None},
                      WriteRow{"FailsMidText",
                               [](FakeByteStream& f) {
                                   f.FailWritesAfter(1500, {FailureKind::Closed, EPIPE});
                               },
                               1024, -1, 1024, FailureKind::Closed},
                      WriteRow{"FailsWithErrno",
                               [](FakeByteStream& f) {
                                   f.FailWritesAfter(0, {FailureKind::Io, ENOBUFS});
                               },
                               1024, -1, 0, FailureKind::Io},
                      WriteRow{"NoRoomTimesOut", [](FakeByteStream& f) { f.BlockWritesAfter(1800); }, 1024,
                               -1, 1800, FailureKind::TimedOut}),
    [](const auto& info) { return info.param.name; });

TEST(MailSocketStream, CancelEndsAConnectFromAnotherThread) {
    auto fake = std::make_unique<FakeByteStream>();
    FakeByteStream& stream = *fake;
    stream.HangConnect();
    MailSocket socket(std::move(fake));
    ASSERT_EQ(socket.Open(), 1);
    socket.SetSendTimeout(60000);
    auto connect = std::async(std::launch::async, [&] { return socket.ConnectToEither("::1", 110); });
    while (!stream.Hanging()) std::this_thread::yield();
    socket.Cancel();
    EXPECT_EQ(connect.get(), 0);
    EXPECT_EQ(FailureText(socket.LastFailure()), "connect [::1]:110: cancelled");
    EXPECT_EQ(stream.LastEndpoint().rule, AddressRule::kEither);
}

TEST(MailSocketStream, CancelEndsAReadFromAnotherThread) {
    Rig rig = Connected();
    rig.fake->Deliver("+OK 120 octets\r\nSubject: x\r\n").Hang();
    rig.socket->SetReceiveTimeout(60000);
    auto read = std::async(std::launch::async, [&] {
        std::string reply;
        return rig.socket->ReadReply(reply, ReplyMode::UntilTerminator, kEndOfMessage);
    });
    while (!rig.fake->Hanging()) std::this_thread::yield();
    rig.socket->Cancel();
    EXPECT_FALSE(read.get());
    EXPECT_EQ(rig.socket->LastFailure().kind, FailureKind::Cancelled);
}

}  // namespace
}  // namespace mailcore
