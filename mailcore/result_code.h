#pragma once
// The numbers the two mail controls report through pVal and LastError, with a text for each. Standard
// library only: installed with both component libraries.

#include <cstdint>

namespace mailcore {

// pVal of every connect, command and read-out method of both controls.
enum class ResultCode : std::int32_t {
    Success = 1,  // or: the command was accepted and runs on a worker; EndOfCommand follows
    Failure = 0,
    Busy = -1,
    BadArgument = -2,
    UserTooLong = -3,
    PasswordTooLong = -4,
    AlreadyConnected = -5,
};

// pVal of the SMTP control's SendMail and SendMailByAddr, and the status of the EndOfCommand that ends
// an asynchronous one.
enum class SendStatus : std::int32_t {
    Sent = 1,  // or: the send worker started, or the mail was handed to the external sender
    NotStarted = 0,
    ConnectFailed = -1,  // also: an earlier asynchronous send still runs; SendMailByAddr with Sync 2
    HeloRefused = -2,
    MailRefused = -3,
    RcptRefused = -4,
    DataRefused = -5,
    AttachmentUnreadable = -6,
    AuthRefused = -7,
    TlsFailed = -8,  // STARTTLS missing or refused, the handshake failed, or the certificate was rejected
    MissingArgument = -99,
};

// LastError of the POP3 control.
enum class Pop3LastError : std::int32_t {
    None = 0,
    IndexOutOfRange = -5,
    TlsFailed = -10,
    CertificateRejected = -11,
};

// LastError of the SMTP control.
enum class SmtpLastError : std::int32_t {
    None = 0,
    EmptyText = -5,
    AttachmentUnreadable = -6,
    LogNotWritten = -7,
    TlsFailed = -10,
    CertificateRejected = -11,
    AuthRefused = -12,
};

[[nodiscard]] constexpr std::int32_t ToInt(ResultCode code) { return static_cast<std::int32_t>(code); }
[[nodiscard]] constexpr std::int32_t ToInt(SendStatus status) { return static_cast<std::int32_t>(status); }
[[nodiscard]] constexpr std::int32_t ToInt(Pop3LastError value) { return static_cast<std::int32_t>(value); }
[[nodiscard]] constexpr std::int32_t ToInt(SmtpLastError value) { return static_cast<std::int32_t>(value); }

// The numbers overlap between the tables (-2 is a bad argument from a command but a refused HELO from
// SendMail), so each table has its own text function; a number outside its table gives "unknown".
[[nodiscard]] constexpr const char* ResultCodeText(std::int32_t code) {
    switch (static_cast<ResultCode>(code)) {
        case ResultCode::Success:
            return "success";
        case ResultCode::Failure:
            return "failure";
        case ResultCode::Busy:
            return "busy: the previous asynchronous command is still running";
        case ResultCode::BadArgument:
            return "bad argument";
        case ResultCode::UserTooLong:
            return "user name longer than 32 bytes";
        case ResultCode::PasswordTooLong:
            return "password longer than 32 bytes";
        case ResultCode::AlreadyConnected:
            return "already connected";
    }
    return "unknown result code";
}

[[nodiscard]] constexpr const char* SendStatusText(std::int32_t status) {
    switch (static_cast<SendStatus>(status)) {
        case SendStatus::Sent:
            return "the message was accepted by the server";
        case SendStatus::NotStarted:
            return "the send could not be started";
        case SendStatus::ConnectFailed:
            return "the connection failed, or a send is still running";
        case SendStatus::HeloRefused:
            return "HELO (EHLO when TLS or a log-in is asked for) was not answered with 250";
        case SendStatus::MailRefused:
            return "MAIL was not answered with 250";
        case SendStatus::RcptRefused:
            return "RCPT was not answered with 250";
        case SendStatus::DataRefused:
            return "DATA was not answered with 354, or the message was not answered with 250";
        case SendStatus::AttachmentUnreadable:
            return "an attachment is missing, unreadable or not a regular file; nothing was sent";
        case SendStatus::AuthRefused:
            return "the server refused the SMTP user and password (AUTH), or offered no way to log in";
        case SendStatus::TlsFailed:
            return "the secure connection failed: STARTTLS missing or refused, the TLS handshake failed, or "
                   "the "
                   "server's certificate was rejected; nothing was sent in plain text";
        case SendStatus::MissingArgument:
            return "the server, recipient or sender is empty or holds a line break";
    }
    return "unknown send status";
}

[[nodiscard]] constexpr const char* Pop3LastErrorText(std::int32_t value) {
    switch (static_cast<Pop3LastError>(value)) {
        case Pop3LastError::None:
            return "no error";
        case Pop3LastError::IndexOutOfRange:
            return "an index outside the current list";
        case Pop3LastError::TlsFailed:
            return "the secure connection failed: STLS missing or refused, or the TLS handshake failed; "
                   "nothing was sent in plain text";
        case Pop3LastError::CertificateRejected:
            return "the server's certificate is not trusted or does not name the host";
    }
    return "unknown error value";
}

[[nodiscard]] constexpr const char* SmtpLastErrorText(std::int32_t value) {
    switch (static_cast<SmtpLastError>(value)) {
        case SmtpLastError::None:
            return "no error";
        case SmtpLastError::EmptyText:
            return "a MakeData method was given an empty text";
        case SmtpLastError::AttachmentUnreadable:
            return "an attachment is missing, unreadable or not a regular file; nothing was sent";
        case SmtpLastError::LogNotWritten:
            return "the send log record could not be written";
        case SmtpLastError::TlsFailed:
            return "the secure connection failed: STARTTLS missing or refused, or the TLS handshake failed; "
                   "nothing was sent in plain text";
        case SmtpLastError::CertificateRejected:
            return "the server's certificate is not trusted or does not name the host";
        case SmtpLastError::AuthRefused:
            return "the server refused the SMTP user and password (AUTH), or offered no way to log in";
    }
    return "unknown error value";
}

}  // namespace mailcore
