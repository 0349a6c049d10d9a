#pragma once
// One TCP connection of a mail protocol engine: name look-up, connect, sending command text in chunks and
// reading replies line by line with time-outs and cancellation.
//
// Time-out scopes: the receive time-out bounds the silence between two pieces of data while a reply is
// read, not the whole reply; the send time-out bounds each wait for room in the send buffer and the wait
// for a connect to complete.
//
// Threads: one thread at a time uses the socket. Cancel may be called from any other thread; Close only
// when no other thread is inside the socket.

#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mailcore/line_transport.h"
#include "mailcore/unique_fd.h"

namespace mailcore {

// Removes the second dot wherever CR LF "." "." occurs, so a line the server sent as ".." followed by more
// text becomes "." followed by that text (RFC 1939 byte-stuffing). A doubled dot at the very start of the
// text is left alone; the terminating CR LF "." CR LF stays.
void DotUnstuff(std::string& text);

class MailSocket : public LineTransport {
  public:
    static constexpr std::int32_t kDefaultTimeoutMs = 120000;
    static constexpr std::size_t kDefaultSendChunkSize = 1024;
    // A reply read into an own buffer fails when it reaches this size.
    static constexpr std::size_t kDefaultReplyLimit = 0xA00000;

    // Gets a copy of every outgoing text and of every complete reply.
    using TrafficObserver = std::function<void(std::string_view text)>;

    // How names and addresses are looked up; replaceable so tests stay off the network.
    struct Resolver {
        // Addresses for a host name, in the resolver's order; empty when the name is unknown.
        std::function<std::vector<sockaddr_storage>(const std::string& host)> lookUp;
        // Whether the address has a reverse (address to name) entry.
        std::function<bool(const sockaddr_storage& address)> hasReverseEntry;
    };
    static Resolver SystemResolver();

    MailSocket();
    ~MailSocket() override;
    MailSocket(const MailSocket&) = delete;
    MailSocket& operator=(const MailSocket&) = delete;

    // Readies the socket for a new connection, closing any previous one. 1, or 0 when the wake-up
    // descriptor for cancellation cannot be created.
    virtual std::int32_t Open();
    // Cancels any wait, closes the connection and clears the abort flag.
    virtual void Close();
    // Makes every current and later wait fail at once, until Close. Safe from any thread. Returns 0.
    std::int32_t Cancel();

    void SetSendTimeout(std::int32_t ms) { sendTimeoutMs_ = ms; }
    void SetReceiveTimeout(std::int32_t ms) { receiveTimeoutMs_ = ms; }
    std::int32_t SendTimeout() const { return sendTimeoutMs_; }
    std::int32_t ReceiveTimeout() const { return receiveTimeoutMs_; }
    void SetSendChunkSize(std::size_t bytes) { sendChunkSize_ = bytes == 0 ? 1 : bytes; }
    void SetReplyLimit(std::size_t bytes) { replyLimit_ = bytes; }
    std::size_t ReplyLimit() const { return replyLimit_; }
    void SetObserver(TrafficObserver observer) { observer_ = std::move(observer); }
    void SetResolver(Resolver resolver) { resolver_ = std::move(resolver); }

    bool IsConnected() const { return static_cast<bool>(fd_); }

    // Look the host up and connect to its first IPv4 address (the first IPv6 address when it has no IPv4
    // one). 1 connected; 0 the connect failed; -1 the name is unknown.
    [[nodiscard]] std::int32_t ConnectToName(const std::string& host, std::int32_t port);
    // A numeric address that must have a reverse entry, else -1 without a connection attempt.
    [[nodiscard]] std::int32_t ConnectToAddress(const std::string& address, std::int32_t port);
    // A numeric address as ConnectToAddress, anything else as ConnectToName.
    [[nodiscard]] std::int32_t ConnectToEither(const std::string& text, std::int32_t port);

    [[nodiscard]] std::int32_t SendText(std::string_view text) override;
    [[nodiscard]] std::int32_t SendLine(std::string_view text) { return SendText(text); }
    [[nodiscard]] bool ReadReply(std::string& reply, ReplyMode mode, std::string_view terminator = {},
                                 std::size_t capacity = 0) override;

  private:
    std::int32_t ConnectTo(const sockaddr_storage& address, std::int32_t port);
    // Waits for `events` on the connection. 1 ready, 0 time-out, -1 cancelled or failed.
    int Wait(short events, std::int32_t timeoutMs);
    bool Aborted() const { return abort_.load(std::memory_order_acquire) != 0; }
    bool Fail(std::string& reply, std::size_t capacity);
    // One receive straight into a reply read up to `terminator`: 1 complete, 0 not yet, -1 failed.
    int ReceiveBulk(std::string& reply, std::string_view terminator, std::size_t limit);

    UniqueFd fd_;
    UniqueFd wake_;  // eventfd, lives as long as the object so Cancel can always reach it
    std::atomic<std::int32_t> abort_{0};
    std::int32_t sendTimeoutMs_ = kDefaultTimeoutMs;
    std::int32_t receiveTimeoutMs_ = kDefaultTimeoutMs;
    std::size_t sendChunkSize_ = kDefaultSendChunkSize;
    std::size_t replyLimit_ = kDefaultReplyLimit;
    TrafficObserver observer_;
    Resolver resolver_;
    // Bytes received but not yet handed out; replies end at a line end, so the rest waits here.
    std::string readAhead_;
    std::size_t readPos_ = 0;
};

}  // namespace mailcore
