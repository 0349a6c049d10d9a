#pragma once
// A test client over one loopback TCP connection: plain text first, TLS after StartTls. Each call returns
// an empty string on success, otherwise what went wrong. Every wait is bounded by the time-out.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "mailcore/tls_stream.h"
#include "mailcore/unique_fd.h"

namespace mailcore::testing {

class TlsTestClient {
  public:
    explicit TlsTestClient(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    [[nodiscard]] std::string Connect(const std::string& address, int port);
    // Plain text: one byte per read, so nothing past the line end is taken from the socket.
    [[nodiscard]] std::string ReadPlainLine(std::string* line);
    [[nodiscard]] std::string SendPlain(std::string_view text);

    [[nodiscard]] Result<void> StartTls(const std::string& host, const TlsSettings& settings);
    // Over TLS. Lines come without their CR LF.
    [[nodiscard]] std::string ReadLine(std::string* line);
    [[nodiscard]] std::string Send(std::string_view text);
    // "reply" of a command, or the error text.
    [[nodiscard]] std::string Ask(std::string_view command);

    // Ends any wait of the stream from another thread.
    void Cancel();
    [[nodiscard]] TlsStream* Tls() { return tls_.get(); }
    [[nodiscard]] int Fd() const { return fd_.get(); }

  private:
    std::chrono::milliseconds timeout_;
    UniqueFd fd_;
    UniqueFd wake_;
    std::unique_ptr<TlsStream> tls_;
    std::string buffer_;
};

}  // namespace mailcore::testing
