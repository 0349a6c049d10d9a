#pragma once
// The plain TCP byte stream: non-blocking socket, poll for readiness, an eventfd to wake a wait on cancel.

#include <atomic>

#include "mailcore/byte_stream.h"
#include "mailcore/unique_fd.h"

namespace mailcore {

class TcpStream final : public ByteStream {
  public:
    explicit TcpStream(Resolver resolver = SystemResolver());
    ~TcpStream() override;
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    void SetResolver(Resolver resolver) { resolver_ = std::move(resolver); }

    [[nodiscard]] bool Open() override;
    void Close() override;
    [[nodiscard]] bool IsConnected() const override { return static_cast<bool>(fd_); }
    [[nodiscard]] StreamStatus Connect(const Endpoint& endpoint, StreamClock::time_point deadline) override;
    [[nodiscard]] StreamStatus Read(char* buffer, std::size_t size, std::size_t& received) override;
    [[nodiscard]] StreamStatus Write(const char* data, std::size_t size, std::size_t& sent) override;
    [[nodiscard]] StreamStatus Wait(Direction direction, std::int32_t timeoutMs) override;
    [[nodiscard]] std::size_t Pending() override;
    [[nodiscard]] StreamStatus StartTls(const std::string& host) override;
    void Cancel() override;
    [[nodiscard]] bool IsCancelled() const override { return abort_.load(std::memory_order_acquire); }

  private:
    StreamStatus ConnectTo(const sockaddr_storage& address, std::int32_t port,
                           StreamClock::time_point deadline);
    StreamStatus WaitUntil(short events, StreamClock::time_point deadline);

    UniqueFd fd_;
    UniqueFd wake_;  // eventfd, lives as long as the object so Cancel can always reach it
    std::atomic<bool> abort_{false};
    Resolver resolver_;
};

}  // namespace mailcore
