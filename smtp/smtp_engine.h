#pragma once
// The SMTP protocol engine: the command methods on the connection of MailEngine, the lines of the last
// multi-line reply, and the message being composed for DATA.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mailcore/mail_engine.h"
#include "smtp/composed_message.h"
#include "smtp/smtp_protocol.h"
#include "smtp/smtp_session.h"

namespace outlark {

class SmtpEngine : public mailcore::MailEngine {
  public:
    SmtpEngine() = default;
    using MailEngine::MailEngine;
    ~SmtpEngine() override;

    // Releases the argument copy and the reply lines.
    void ClearResults() override;
    // Releases the composed message; the next MakeData call starts a new one.
    virtual void DiscardMessage();

    // A command method: 1, 0 (also: not connected, or a line beyond its 255 bytes), -1 busy, -2 an
    // argument holding CR, LF or NUL (nothing sent). With a notify queue, 1 means "started".
    [[nodiscard]] std::int32_t Command(SmtpCommand command, std::string_view argument);
    // The DATA exchange of a composed message text; results as Command.
    [[nodiscard]] std::int32_t Data(std::string message_text);

    // For the next connect to `host`: TLS from the first byte, or (kStartTls) STARTTLS later: by EHLO itself
    // when `ehlo_starts_tls` (it goes on with STARTTLS and EHLO again over TLS), else by StartTls. Until the
    // upgrade every command but EHLO, RSET, NOOP, HELP and QUIT is refused (nothing is sent), so no mail
    // goes out in plain text.
    void PrepareSecurity(const mailcore::ConnectionSecurity& security, std::string host,
                         bool ehlo_starts_tls = true);
    // STARTTLS, the 220 go-ahead and the handshake for the host of PrepareSecurity; results as Command.
    [[nodiscard]] std::int32_t StartTls();
    // AUTH PLAIN or LOGIN as the last successful EHLO offered; results as Command.
    [[nodiscard]] std::int32_t Auth(std::string user, std::string password);

    ComposedMessage& Message();
    // Only read while no worker runs.
    const std::vector<std::string>& ReplyLines() const { return reply_lines_; }
    // The engine's own connection as the SMTP exchanges see it.
    mailcore::LineTransport& Wire() { return Transport(); }

  private:
    std::string argument_;
    std::vector<std::string> reply_lines_;
    // A synchronous list command keeps the server's lines even when it failed.
    bool keep_reply_lines_ = false;
    std::unique_ptr<ComposedMessage> message_;
    std::string tls_host_;
    std::atomic<bool> tls_pending_{false};  // read by the caller while a worker may run EHLO
    bool ehlo_starts_tls_ = true;
    // Of the last successful EHLO: what AUTH may use.
    std::vector<std::string> ehlo_lines_;

    bool Upgrade();
    bool RefusedBeforeTls(SmtpCommand command);
};

}  // namespace outlark
