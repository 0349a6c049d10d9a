#pragma once
// A byte stream that plays a script instead of talking to a server: reads come in the pieces the script
// cuts them into, after simulated silences, or fail; writes are recorded and can be cut short, blocked or
// failed. Simulated silences cost no time: a wait shorter than the silence ahead times out at once, a
// longer one succeeds at once. Only Hang and HangConnect wait for real (for Cancel from another thread).

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "mailcore/byte_stream.h"

namespace scripted {

class FakeByteStream final : public mailcore::ByteStream {
  public:
    using Milliseconds = std::chrono::milliseconds;

    // What the peer sends, in order. `bytes` arrives as separate pieces cut at the offsets in `cuts`; one
    // Read never returns bytes of two pieces.
    FakeByteStream& Deliver(std::string bytes, std::vector<std::size_t> cuts = {});
    // Deliver, one byte per piece.
    FakeByteStream& DeliverBytewise(std::string bytes);
    // Silence before the next piece.
    FakeByteStream& Delay(Milliseconds silence);
    // The next read fails with `status`.
    FakeByteStream& FailRead(mailcore::StreamStatus status);
    // The peer closes: every later read reports Closed.
    FakeByteStream& CloseByPeer();
    // A wait for data blocks (for real) until Cancel, or until its time-out passes.
    FakeByteStream& Hang();

    // Each write takes at most `bytes`.
    FakeByteStream& LimitWrites(std::size_t bytes);
    // The write that would take the total written past `bytes` fails with `status`.
    FakeByteStream& FailWritesAfter(std::size_t bytes, mailcore::StreamStatus status);
    // Once `bytes` are written there is no more room: writes take nothing and waits to write time out.
    FakeByteStream& BlockWritesAfter(std::size_t bytes);

    // Connect fails with `status` (Resolve, ConnectRefused, ...).
    FakeByteStream& FailConnect(mailcore::StreamStatus status);
    // Connect blocks (for real) until Cancel or its deadline.
    FakeByteStream& HangConnect();

    // What the client wrote, over all connections.
    std::string Written() const;
    mailcore::Endpoint LastEndpoint() const;
    std::size_t Connects() const;
    // Whether the client is blocked in a wait that only Cancel ends (Hang or HangConnect).
    bool Hanging() const;

    [[nodiscard]] bool Open() override;
    void Close() override;
    [[nodiscard]] bool IsConnected() const override;
    [[nodiscard]] mailcore::StreamStatus Connect(const mailcore::Endpoint& endpoint,
                                                 mailcore::StreamClock::time_point deadline) override;
    [[nodiscard]] mailcore::StreamStatus Read(char* buffer, std::size_t size, std::size_t& received) override;
    [[nodiscard]] mailcore::StreamStatus Write(const char* data, std::size_t size,
                                               std::size_t& sent) override;
    [[nodiscard]] mailcore::StreamStatus Wait(Direction direction, std::int32_t timeoutMs) override;
    [[nodiscard]] std::size_t Pending() override;
    [[nodiscard]] mailcore::StreamStatus StartTls(const std::string& host) override;
    void Cancel() override;
    [[nodiscard]] bool IsCancelled() const override;

  private:
    struct Step {
        enum class Kind { kData, kDelay, kFail, kClose, kHang } kind;
        std::string bytes;
        Milliseconds silence{0};
        mailcore::StreamStatus status;
    };
    // Blocks until Cancel or `deadline`. Called with the lock held.
    mailcore::StreamStatus Block(std::unique_lock<std::mutex>& lock,
                                 mailcore::StreamClock::time_point deadline);

    mutable std::mutex mutex_;
    std::condition_variable cancelWake_;
    std::deque<Step> steps_;
    std::string written_;
    std::size_t writeLimit_ = 0;  // 0: none
    std::size_t failAfter_ = 0;
    mailcore::StreamStatus failWrite_;
    std::size_t blockAfter_ = 0;
    bool blockWrites_ = false;
    mailcore::StreamStatus connectStatus_;
    bool hangConnect_ = false;
    bool connected_ = false;
    bool cancelled_ = false;
    bool hanging_ = false;
    mailcore::Endpoint endpoint_;
    std::size_t connects_ = 0;
};

}  // namespace scripted
