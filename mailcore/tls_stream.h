#pragma once
// TLS as the client, over another byte stream (normally the plain TCP one): from the first byte (POP3S,
// SMTPS) or as the upgrade of a connection that has spoken plain text so far (POP3 STLS, SMTP STARTTLS).
// The server's certificate must chain to a trusted CA and name the host the caller connected to (a DNS
// name, or an IP address the certificate lists); there is no way to skip either check.
//
// Until the handshake the stream passes everything through to the stream below. It reads nothing ahead, so
// plain text that the server (or someone in the path) sent before the upgrade reaches the handshake and fails
// it; bytes the line reader already holds are the line reader's to discard before StartTls.
//
// Threads: as every byte stream; Cancel from any thread also ends a handshake's wait.

#include <memory>
#include <string>

#include "mailcore/byte_stream.h"
#include "mailcore/failure.h"

namespace mailcore {

struct TlsSettings {
    // A PEM file holding the CA certificates to trust instead of the system's store, or the server's own
    // certificate (trusted as it is). Empty: the system's store.
    std::string trustFile{};
    // TLS from the first byte, at Connect; otherwise only after StartTls.
    bool implicit = false;
    // Bounds a StartTls handshake (one at Connect ends at the connect's deadline).
    std::int32_t handshakeTimeoutMs = 120000;
};

class TlsStream final : public ByteStream {
  public:
    TlsStream(std::unique_ptr<ByteStream> lower, TlsSettings settings);
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    [[nodiscard]] bool Open() override;
    void Close() override;
    // False after a failed handshake, though the socket stays open until Close, Open or Connect.
    [[nodiscard]] bool IsConnected() const override { return !broken_ && lower_->IsConnected(); }
    // With `implicit`, the handshake for endpoint.host follows the connect, within the same deadline.
    [[nodiscard]] StreamStatus Connect(const Endpoint& endpoint, StreamClock::time_point deadline) override;
    [[nodiscard]] StreamStatus Read(char* buffer, std::size_t size, std::size_t& received) override;
    [[nodiscard]] StreamStatus Write(const char* data, std::size_t size, std::size_t& sent) override;
    [[nodiscard]] StreamStatus Wait(Direction direction, std::int32_t timeoutMs) override;
    [[nodiscard]] std::size_t Pending() override;
    // Failures: BadArgument (no host, unreadable trust file), CertificateVerify, TlsHandshake, TimedOut,
    // Cancelled, Io; LastTlsFailure says why. After a failure every read and write fails NotConnected
    // until Close, Open or Connect: the connection never falls back to plain text.
    [[nodiscard]] StreamStatus StartTls(const std::string& host) override;
    void Cancel() override { lower_->Cancel(); }
    [[nodiscard]] bool IsCancelled() const override { return lower_->IsCancelled(); }

    // Takes effect at the next Connect or StartTls; only while no handshake runs.
    void SetSettings(TlsSettings settings) { settings_ = std::move(settings); }
    [[nodiscard]] const TlsSettings& Settings() const { return settings_; }

    [[nodiscard]] bool IsEncrypted() const;
    // The last handshake or TLS failure with its detail ("server certificate: certificate has expired").
    [[nodiscard]] const Failure& LastTlsFailure() const { return failure_; }
    // The negotiated protocol ("TLSv1.3"), empty without a session.
    [[nodiscard]] std::string Protocol() const;

  private:
    struct Session;
    StreamStatus Handshake(const std::string& host, StreamClock::time_point deadline);
    StreamStatus Fail(FailureKind kind, std::string detail, int systemError = 0);
    // What a failed SSL_read_ex or SSL_write_ex came to; a wait it needs goes into `needs`.
    StreamStatus Outcome(int result, Direction& needs, const char* what);

    std::unique_ptr<ByteStream> lower_;
    TlsSettings settings_;
    std::unique_ptr<Session> session_;
    // A handshake failed: nothing more goes through, encrypted or not, until Close, Open or Connect.
    bool broken_ = false;
    Failure failure_;
};

}  // namespace mailcore
