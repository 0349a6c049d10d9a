#pragma once
// A blocking TCP client for tests that speak SMTP or POP3 by hand: whole lines in, whole writes out,
// every wait bounded by the time-out.

#include <chrono>
#include <string>
#include <string_view>

namespace mirelo::mail_servers {

class LineConnection {
  public:
    LineConnection() = default;
    ~LineConnection();
    LineConnection(const LineConnection&) = delete;
    LineConnection& operator=(const LineConnection&) = delete;
    LineConnection(LineConnection&& other) noexcept;
    LineConnection& operator=(LineConnection&& other) noexcept;

    // Each returns an empty string on success, otherwise what went wrong.
    [[nodiscard]] std::string Connect(const std::string& host, int port,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Sends all of data with one write where the kernel allows, so a command never waits on Nagle.
    [[nodiscard]] std::string Send(std::string_view data);
    // One line without its CR LF (or bare LF). Time-out applies per call.
    [[nodiscard]] std::string ReadLine(std::string* line);
    // Lines up to the terminating ".", which is not included; dot-stuffing removed.
    [[nodiscard]] std::string ReadMultiline(std::string* text);

    void Close();
    [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }

  private:
    [[nodiscard]] std::string Fill();

    int fd_ = -1;
    std::chrono::milliseconds timeout_{10000};
    std::string buffer_;
    size_t start_ = 0;
};

}  // namespace mirelo::mail_servers
