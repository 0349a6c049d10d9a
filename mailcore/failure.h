#pragma once
// Why a mail operation failed, kept beside the numeric result codes so that a caller, a tool or a log line
// can say more than "failed". Standard library only: installed with both component libraries.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace mailcore {

enum class FailureKind : std::int32_t {
    None = 0,
    Resolve,         // the host name is unknown
    ConnectRefused,  // nothing listens on the port
    TimedOut,        // no data, or no room to send, within the time-out
    Closed,          // the peer closed the connection
    Cancelled,       // Cancel was called
    ReplyTooLong,    // a reply outgrew its buffer or limit
    NegativeReply,   // the server said no ("-ERR", 4xx, 5xx): see the reply
    MalformedReply,  // the server's reply could not be understood: see the reply
    Io,              // a system call failed: see the error number
    BadArgument,     // the caller's input was refused before anything was sent
    Busy,            // an asynchronous command is still running
    NotConnected,    // there is no connection to send on
    Internal,        // an unexpected exception inside the library: see the detail
    // No TLS session came about: see the detail.
    TlsHandshake,
    // The server's certificate is not trusted, out of date or for another host: see the detail.
    CertificateVerify,
};

struct Failure {
    FailureKind kind = FailureKind::None;
    int systemError = 0;  // errno, where a system call failed
    std::string reply;    // the server's reply line without its line end, where one was read
    std::string detail;   // what was being done, or an exception's text

    [[nodiscard]] bool IsFailure() const { return kind != FailureKind::None; }
};

[[nodiscard]] inline const char* FailureKindText(FailureKind kind) {
    switch (kind) {
        case FailureKind::None:
            return "no failure";
        case FailureKind::Resolve:
            return "unknown host";
        case FailureKind::ConnectRefused:
            return "connection refused";
        case FailureKind::TimedOut:
            return "timed out";
        case FailureKind::Closed:
            return "connection closed by the server";
        case FailureKind::Cancelled:
            return "cancelled";
        case FailureKind::ReplyTooLong:
            return "reply too long";
        case FailureKind::NegativeReply:
            return "negative reply";
        case FailureKind::MalformedReply:
            return "malformed reply";
        case FailureKind::Io:
            return "input/output error";
        case FailureKind::BadArgument:
            return "bad argument";
        case FailureKind::Busy:
            return "busy";
        case FailureKind::NotConnected:
            return "not connected";
        case FailureKind::Internal:
            return "internal error";
        case FailureKind::TlsHandshake:
            return "TLS handshake failed";
        case FailureKind::CertificateVerify:
            return "server certificate not accepted";
    }
    return "unknown failure";
}

// One line for people: "RETR 3: negative reply: -ERR no such message", "connect: connection refused".
[[nodiscard]] inline std::string FailureText(const Failure& failure) {
    std::string text;
    if (!failure.detail.empty()) text = failure.detail + ": ";
    text += FailureKindText(failure.kind);
    if (failure.systemError != 0) text += std::string(" (") + std::strerror(failure.systemError) + ")";
    if (!failure.reply.empty()) text += ": " + failure.reply;
    return text;
}

// Either a value or the failure that kept it from being made (shaped like C++23 std::expected).
template <typename T>
class Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}            // NOLINT
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}  // NOLINT

    [[nodiscard]] bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }
    // Throws std::bad_variant_access without a value.
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    // Throws std::bad_variant_access with a value.
    [[nodiscard]] const Failure& error() const { return std::get<1>(state_); }

  private:
    std::variant<T, Failure> state_;
};

template <>
class Result<void> {
  public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}  // NOLINT

    [[nodiscard]] bool has_value() const { return !failure_.has_value(); }
    explicit operator bool() const { return has_value(); }
    // Throws std::bad_optional_access without a failure.
    [[nodiscard]] const Failure& error() const { return failure_.value(); }

  private:
    std::optional<Failure> failure_;
};

}  // namespace mailcore
