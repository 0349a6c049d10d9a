#pragma once
// The line reader of a mail protocol engine over a byte stream (plain TCP unless another is given): connect,
// sending command text in chunks and reading replies line by line with time-outs and cancellation. Every
// failure is kept as a Failure record until the next operation.
//
// Time-out scopes: the receive time-out bounds the silence between two pieces of data while a reply is
// read, not the whole reply; the send time-out bounds each wait for room to send and the wait for a
// connect to complete.
//
// Threads: one thread at a time uses the socket. Cancel may be called from any other thread; Close only
// when no other thread is inside the socket.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "mailcore/byte_stream.h"
#include "mailcore/failure.h"
#include "mailcore/line_transport.h"

namespace mailcore {

// Removes the second dot wherever CR LF "." "." occurs, so a line the server sent as ".." followed by more
// text becomes "." followed by that text (RFC 1939 byte-stuffing). A doubled dot at the very start of the
// text is left alone; the terminating CR LF "." CR LF stays.
void DotUnstuff(std::string& text);

class TcpStream;
class TlsStream;

// How a connection is secured: the numbers of the controls' Security property.
enum class Security : std::int32_t {
    kNone = 0,
    kStartTls = 1,  // plain first, upgraded after POP3 STLS or SMTP STARTTLS
    kImplicit = 2,  // TLS from the first byte (POP3S, SMTPS)
};

struct ConnectionSecurity {
    Security mode = Security::kNone;
    // A PEM file of CA certificates (or the server's own certificate) to trust instead of the system's store.
    std::string trustFile{};
};

class MailSocket : public LineTransport {
  public:
    static constexpr std::int32_t kDefaultTimeoutMs = 120000;
    static constexpr std::size_t kDefaultSendChunkSize = 1024;
    // A reply read into an own buffer fails when it reaches this size.
    static constexpr std::size_t kDefaultReplyLimit = 0xA00000;

    // Gets a copy of every outgoing text and of every complete reply.
    using TrafficObserver = std::function<void(std::string_view text)>;
    using Resolver = mailcore::Resolver;
    static Resolver SystemResolver() { return mailcore::SystemResolver(); }

    // Over a plain TCP stream.
    MailSocket();
    // Over `stream` (a test's fake, a TLS stream); SetResolver then has no effect.
    explicit MailSocket(std::unique_ptr<ByteStream> stream);
    ~MailSocket() override;
    MailSocket(const MailSocket&) = delete;
    MailSocket& operator=(const MailSocket&) = delete;

    // Readies the socket for a new connection, closing any previous one. 1, or 0 when the stream cannot be
    // readied (no means to wake a wait on cancel).
    virtual std::int32_t Open();
    // Cancels any wait, closes the connection, drops the read-ahead and clears the abort flag.
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
    void SetResolver(Resolver resolver);
    // Takes effect at the next connect: with any mode but kNone the stream gains a TLS layer (kept, and
    // passing plain text through, should the mode go back to kNone). Only while not connected.
    void SetSecurity(const ConnectionSecurity& security);

    bool IsConnected() const { return stream_->IsConnected(); }
    ByteStream& Stream() { return *stream_; }
    // Forgets bytes received but not yet handed out: what a server sent before a TLS handshake must not be
    // read as if it came after it.
    void DiscardReadAhead();

    // Look the host up and connect to its first IPv4 address (the first IPv6 address when it has no IPv4
    // one). 1 connected; 0 the connect failed; -1 the name is unknown.
    [[nodiscard]] std::int32_t ConnectToName(const std::string& host, std::int32_t port);
    // A numeric address that must have a reverse entry, else -1 without a connection attempt.
    [[nodiscard]] std::int32_t ConnectToAddress(const std::string& address, std::int32_t port);
    // A numeric address as ConnectToAddress, anything else as ConnectToName.
    [[nodiscard]] std::int32_t ConnectToEither(const std::string& text, std::int32_t port);
    // Upgrades the connection to TLS for `host`, after the server's go-ahead (POP3 STLS, SMTP STARTTLS).
    // The read-ahead is dropped first: nothing received before the handshake may be read as if it came
    // after it. 1, or 0 with the failure recorded under "TLS host" (TlsHandshake, CertificateVerify,
    // TimedOut, Cancelled; Io with ENOTSUP over a stream without TLS).
    [[nodiscard]] std::int32_t StartTls(const std::string& host);

    [[nodiscard]] std::int32_t SendText(std::string_view text) override;
    [[nodiscard]] std::int32_t SendLine(std::string_view text) { return SendText(text); }
    [[nodiscard]] bool ReadReply(std::string& reply, ReplyMode mode, std::string_view terminator = {},
                                 std::size_t capacity = 0) override;
    // Why the last connect, send or read failed. A connect failure's detail is "connect host:port".
    [[nodiscard]] const Failure& LastFailure() const override { return failure_; }
    // The TLS layer's own failure (a handshake that failed, timed out or was cancelled, a certificate
    // refused) since the last connect; null without a TLS layer or when it has not failed.
    [[nodiscard]] const Failure* TlsLayerFailure() const;

  private:
    std::int32_t Connect(const Endpoint& endpoint);
    bool Aborted() const { return stream_->IsCancelled(); }
    void Record(StreamStatus status);
    // ": why" when the TLS layer failed the way the last status says, else empty.
    std::string TlsReason() const;
    bool Fail(std::string& reply, std::size_t capacity);
    bool Fail(std::string& reply, std::size_t capacity, StreamStatus status);
    // One read straight into a reply read up to `terminator`: 1 complete, 2 more data but not complete,
    // 0 nothing received, -1 failed (recorded).
    int ReceiveBulk(std::string& reply, std::string_view terminator, std::size_t limit);

    std::unique_ptr<ByteStream> stream_;
    TcpStream* tcp_ = nullptr;  // the stream when it is the plain one made here, for the resolver
    TlsStream* tls_ = nullptr;  // the TLS layer once SetSecurity added one, for its failure's detail
    std::int32_t sendTimeoutMs_ = kDefaultTimeoutMs;
    std::int32_t receiveTimeoutMs_ = kDefaultTimeoutMs;
    std::size_t sendChunkSize_ = kDefaultSendChunkSize;
    std::size_t replyLimit_ = kDefaultReplyLimit;
    TrafficObserver observer_;
    Failure failure_;
    // Bytes received but not yet handed out; replies end at a line end, so the rest waits here.
    std::string readAhead_;
    std::size_t readLen_ = 0;
    std::size_t readPos_ = 0;
};

}  // namespace mailcore
