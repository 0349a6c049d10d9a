#pragma once
// A lossless SMTP client beside the Smtp control: a session that runs the protocol step by step with UTF-8
// command texts and message bytes, and the one-shot send of the control with the cause of any failure.
//
// Every call runs on the caller's thread and returns the server's reply or a mailcore::Failure (kind,
// system error, the server's reply line). Cancel may be called from any thread; it ends the call in
// progress (kind Cancelled) and the connection with it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mailcore/failure.h"
#include "mailcore/result_code.h"
#include "outlark/composer.h"

// As in outlark/smtp.h: default visibility inside the library and for its users.
#ifndef OUTLARK_API
#define OUTLARK_API __attribute__((visibility("default")))
#endif

namespace outlark {

// The numbers of the control's Security property.
enum class SmtpSecurity : std::int32_t {
    kNone = 0,
    kStartTls = 1,  // plain first; StartTls upgrades after EHLO (Send: refused when EHLO does not offer it)
    kImplicit = 2,  // TLS from the first byte (SMTPS, port 465)
};

struct SmtpServer {
    std::string host;  // a host name, or with byAddress a numeric address that has a reverse entry
    std::int32_t port = 25;
    std::chrono::milliseconds sendTimeout{30000};
    std::chrono::milliseconds receiveTimeout{30000};  // silence allowed while a reply arrives
    bool byAddress = false;
    // The certificate must chain to a trusted CA and name `host`; a failure is a CertificateVerify or
    // TlsHandshake failure, and nothing goes out in plain text.
    SmtpSecurity security = SmtpSecurity::kNone;
    std::string trustFile{};  // PEM CA certificates (or the server's own) instead of the system's store
    // Send's log-in: with either set it greets with EHLO and logs in with AUTH PLAIN or LOGIN (as the
    // server's EHLO offers) before MAIL; a refusal is status AuthRefused.
    std::string user{};
    std::string password{};
};

struct ServerReply {
    std::int32_t code = 0;  // the first three digits
    // The status line (of a multi-line reply: its first 255 bytes), line end included.
    std::string text;
    // EHLO: one item per line, without code and separator ("SIZE 1000").
    std::vector<std::string> lines;
};

// A one-shot send as the control's SendMail makes it: HELO "Outlark" (EHLO, STARTTLS and AUTH as the
// server's settings ask), one MAIL, one RCPT, DATA, QUIT.
struct OneShotRequest {
    std::string to, from, subject, body;  // UTF-8; to and from are bare addresses
    std::string attachment;               // a file path; empty: none
    ComposeOptions options;
    std::string logFile;  // UTF-8 path of the send log; empty: no record
};

struct SendOutcome {
    mailcore::SendStatus status = mailcore::SendStatus::NotStarted;
    mailcore::Failure failure;          // why, unless the status is Sent
    std::vector<TextWarning> warnings;  // characters Shift_JIS could not hold (UTF-8: malformed bytes)
    bool logWritten = true;             // false: the record was asked for but not written
};

class OUTLARK_API SmtpSession {
  public:
    SmtpSession();
    ~SmtpSession();  // closes the connection without QUIT
    SmtpSession(const SmtpSession&) = delete;
    SmtpSession& operator=(const SmtpSession&) = delete;

    // Connects and reads the greeting (any final reply line counts).
    mailcore::Result<ServerReply> Connect(const SmtpServer& server);
    // The command methods: the reply when it carries the expected code (250; 221 for QUIT), else a
    // NegativeReply or MalformedReply failure with the reply line. An argument holding CR, LF or NUL, or
    // one that makes the line longer than 255 bytes, is refused (BadArgument) before anything is sent.
    mailcore::Result<ServerReply> Helo(std::string_view domain);
    mailcore::Result<ServerReply> Ehlo(std::string_view domain);
    mailcore::Result<ServerReply> MailFrom(std::string_view address);
    mailcore::Result<ServerReply> RcptTo(std::string_view address);
    // With SmtpSecurity::kStartTls: "STARTTLS", the 220 go-ahead, and the TLS handshake for the host of
    // Connect; whatever came after the go-ahead in plain text is dropped. EHLO again afterwards: the
    // offers made before TLS are forgotten.
    mailcore::Result<ServerReply> StartTls();
    // AUTH PLAIN (preferred) or LOGIN, as the last successful EHLO offered: the 235 reply, else a
    // NegativeReply failure (also when neither is offered). The password appears in no failure record.
    mailcore::Result<ServerReply> Auth(std::string_view user, std::string_view password);
    // DATA, 354, then `message` (ComposedMail::bytes, or any message) with its line ends made CR LF, the
    // lines starting with "." doubled and the closing "." line added; the reply to the message.
    mailcore::Result<ServerReply> Data(std::string_view message);
    mailcore::Result<ServerReply> Rset();
    // 221 closes the connection.
    mailcore::Result<ServerReply> Quit();
    void Close();
    void Cancel();
    bool IsConnected() const;

    // The whole one-shot send on a connection of its own, as the control's SendMail with Sync = 1,
    // including its send record. The session must not be connected.
    SendOutcome Send(const SmtpServer& server, const OneShotRequest& request);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace outlark
