#pragma once
// TLS over a connected TCP socket, as the client: from the first byte (POP3S, SMTPS) or as the upgrade of a
// connection that has spoken plain text so far (POP3 STLS, SMTP STARTTLS). The server's certificate must
// chain to a trusted CA and name the host the caller connected to (a DNS name, or an IP address the
// certificate lists); there is no way to skip either check.
//
// The stream borrows two descriptors and owns neither: the socket (made non-blocking) and a wake-up
// descriptor that turns readable when the caller cancels. It reads nothing from the socket before
// Handshake, so plain text the server sent ahead of the upgrade reaches the handshake and fails it; bytes a
// line reader already took from the socket are its own to discard before calling Handshake.
//
// Threads: one thread at a time uses a stream; only the wake-up descriptor is touched from others.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "mailcore/failure.h"

namespace mailcore {

struct TlsSettings {
    // A PEM file holding the CA certificates to trust instead of the system's store, or the server's own
    // certificate (trusted as it is). Empty: the system's store.
    std::string trustFile;
};

class TlsStream {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Direction { kRead, kWrite };

    // `socketFd` is connected; `wakeFd` may be -1 (nothing cancels).
    TlsStream(int socketFd, int wakeFd);
    ~TlsStream();
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // Runs the whole handshake and the certificate checks for `host` (as the caller gave it to connect:
    // a name, or a numeric IPv4 or IPv6 address). Failures: BadArgument (no host, unreadable trust file),
    // CertificateVerify (detail: why), TlsHandshake (detail: the TLS library's reason, or that the server
    // closed or reset the connection, with its errno), TimedOut at `deadline`, Cancelled, Io (the socket
    // itself). After a failure the stream is unusable.
    [[nodiscard]] Result<void> Handshake(const std::string& host, const TlsSettings& settings,
                                         Clock::time_point deadline);
    [[nodiscard]] bool IsEstablished() const { return established_; }

    // Never waits. Up to `size` decrypted bytes; 0 means none yet (Wait for kRead). Closed when the server
    // ended the session or the connection.
    [[nodiscard]] Result<std::size_t> Read(char* buffer, std::size_t size);
    // Never waits. Takes up to `size` bytes; 0 means no room yet (Wait for kWrite, then offer the same
    // bytes again).
    [[nodiscard]] Result<std::size_t> Write(const char* data, std::size_t size);
    // Waits until the last Read (kRead) or Write (kWrite) can make progress, at most `timeoutMs`. TLS may
    // need the other direction of the socket for it; this knows which. TimedOut, Cancelled or Io.
    [[nodiscard]] Result<void> Wait(Direction direction, int timeoutMs);
    // Decrypted bytes a Read returns at once.
    [[nodiscard]] std::size_t Pending() const;

    // Sends the TLS close alert without waiting for the server's; the socket stays open.
    void Shutdown();

    // The negotiated protocol ("TLSv1.3"), empty before the handshake.
    [[nodiscard]] std::string Protocol() const;

  private:
    struct Impl;
    [[nodiscard]] Result<void> WaitUntil(Direction direction, Clock::time_point deadline, const char* what);
    [[nodiscard]] Failure HandshakeFailure(int code);

    int fd_;
    int wakeFd_;
    std::unique_ptr<Impl> impl_;
    bool established_ = false;
    Direction readNeeds_ = Direction::kRead;
    Direction writeNeeds_ = Direction::kWrite;
};

}  // namespace mailcore
