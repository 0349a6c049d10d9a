#pragma once
// A test client over a TLS stream on the plain TCP stream: plain text first, TLS after StartTls (or from
// the start). Every name resolves to 127.0.0.1, so a test can reach the local server under any name and see
// the certificate checked against that name. Each call returns an empty string on success, otherwise what
// went wrong; every wait is bounded by the time-out.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "mailcore/tls_stream.h"

namespace mailcore::testing {

class TlsTestClient {
  public:
    explicit TlsTestClient(TlsSettings settings,
                           std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Connects to `host` (any name or address: 127.0.0.1 is where it goes); with implicit TLS, the
    // handshake too.
    [[nodiscard]] StreamStatus Connect(const std::string& host, int port);
    [[nodiscard]] StreamStatus StartTls(const std::string& host) { return stream_->StartTls(host); }
    // The failure of the last handshake, with its detail.
    [[nodiscard]] const Failure& TlsFailure() const { return stream_->LastTlsFailure(); }

    // Before an upgrade: one byte per read, so nothing past the line end is taken from the connection.
    [[nodiscard]] std::string ReadPlainLine(std::string* line);
    // Lines come without their CR LF.
    [[nodiscard]] std::string ReadLine(std::string* line);
    [[nodiscard]] std::string Send(std::string_view text);
    // The first reply line to `command`, or the error text.
    [[nodiscard]] std::string Ask(std::string_view command);

    [[nodiscard]] TlsStream& Stream() { return *stream_; }

  private:
    [[nodiscard]] std::string WaitFor(ByteStream::Direction direction);

    std::chrono::milliseconds timeout_;
    std::unique_ptr<TlsStream> stream_;
    std::string buffer_;
};

// "kind (errno)" of a status, for test messages.
[[nodiscard]] std::string StatusText(StreamStatus status);

}  // namespace mailcore::testing
