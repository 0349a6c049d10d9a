#pragma once
// The SMTP exchanges over any line transport: the command methods, the DATA exchange and the steps of a
// one-shot send. The engine supplies the transport (its socket); tests may supply another. Status lines
// are read into the 256-byte status buffer (a line of 255 bytes or more fails); list replies up to their
// final line into own buffers.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mailcore/failure.h"
#include "mailcore/line_transport.h"
#include "mailcore/result_code.h"
#include "smtp/composed_message.h"
#include "smtp/smtp_protocol.h"

namespace outlark {

// Results of a command method: 1 success, 0 failure, -2 an argument that would break the command line.
enum CommandResult : std::int32_t { kCommandFailed = 0, kCommandOk = 1, kCommandBadArgument = -2 };

struct SmtpResults {
    std::string last_reply;                // the most recent status line, at most 255 bytes
    std::vector<std::string> reply_lines;  // of the last EHLO, VRFY, EXPN or HELP
    // Why the exchange failed: the transport's failure, or the refusing reply; the detail names the command
    // ("MAIL FROM", "DATA", "message" for the text after DATA).
    mailcore::Failure failure;
};

// Room for a status line in the 256-byte status buffer.
inline constexpr size_t kLastReplyRoom = 255;

// The steps every exchange is made of. A failure is recorded in `results` under `detail`, which names the
// command and never the line itself (it may hold a credential).
void RecordTransportFailure(mailcore::LineTransport& transport, std::string_view detail,
                            SmtpResults& results);
// A reply that was read but is not the one asked for.
void RecordRefusal(std::string_view reply, std::string_view detail, SmtpResults& results);
bool Sent(mailcore::LineTransport& transport, std::string_view text, std::string_view detail,
          SmtpResults& results);
// Lines up to a final status line (code and a space), of any length.
std::optional<std::string> ReadFinalLine(mailcore::LineTransport& transport);

// HELO, MAIL, RCPT, RSET, NOOP and QUIT: one line, one reply line.
std::int32_t RunLineCommand(mailcore::LineTransport& transport, SmtpCommand command,
                            std::string_view argument, SmtpResults& results);

// EHLO, VRFY, EXPN and HELP: the reply up to its final line fills `reply_lines` (always when
// `lines_on_failure`, else only on success).
std::int32_t RunListCommand(mailcore::LineTransport& transport, SmtpCommand command,
                            std::string_view argument, SmtpResults& results, bool lines_on_failure);

// "DATA", 354, the dot-stuffed message, 250.
std::int32_t RunDataExchange(mailcore::LineTransport& transport, std::string_view message_text,
                             SmtpResults& results);

// One-shot send status codes: the public ones, under the names the library uses.
enum SendStatus : std::int32_t {
    kSendOk = mailcore::ToInt(mailcore::SendStatus::Sent),
    kSendNotStarted = mailcore::ToInt(mailcore::SendStatus::NotStarted),
    kSendConnectFailed = mailcore::ToInt(mailcore::SendStatus::ConnectFailed),
    kSendHeloRefused = mailcore::ToInt(mailcore::SendStatus::HeloRefused),
    kSendMailRefused = mailcore::ToInt(mailcore::SendStatus::MailRefused),
    kSendRcptRefused = mailcore::ToInt(mailcore::SendStatus::RcptRefused),
    kSendDataRefused = mailcore::ToInt(mailcore::SendStatus::DataRefused),
    kSendAttachmentUnreadable = mailcore::ToInt(mailcore::SendStatus::AttachmentUnreadable),
    kSendAuthRefused = mailcore::ToInt(mailcore::SendStatus::AuthRefused),
    kSendTlsFailed = mailcore::ToInt(mailcore::SendStatus::TlsFailed),
    kSendMissingArgument = mailcore::ToInt(mailcore::SendStatus::MissingArgument),
};

struct OneShotMail {
    // Shift_JIS, or UTF-8 with kCharsetUtf8; filename empty for none.
    std::string to, from, subject, body, filename;
    std::int32_t type = 0, encode = 0, header8bit = 1, width = 76, priority = 3, charset = kCharsetIso2022Jp;
    std::string_view mailer = "X-Mailer: Outlark Version 1.6.2.1";
};

// Upgrades the transport to TLS after the server's go-ahead; false with the failure in the transport's
// record.
using TlsUpgrade = std::function<bool()>;

// How a one-shot send secures its session and logs in; the default is the plain HELO session.
struct SendSecurity {
    bool start_tls = false;  // STARTTLS after EHLO, through `upgrade`
    bool log_in = false;     // AUTH as `user` with `password` (either may be empty)
    std::string user, password;
    TlsUpgrade upgrade;
};

// The steps after the connect: HELO "Outlark", MAIL, RCPT, DATA with the composed message, QUIT. With
// STARTTLS or a log-in the greeting is EHLO "Outlark" instead, then STARTTLS and EHLO again, then AUTH.
// `failed_reply` gets the reply of a failed step (empty when none came); `failure` why the send stopped
// (kind None after a success).
std::int32_t RunSendSteps(mailcore::LineTransport& transport, const OneShotMail& mail,
                          std::string* failed_reply = nullptr, mailcore::Failure* failure = nullptr,
                          const SendSecurity& security = {});

// The composed message of a one-shot send.
ComposedMessage OneShotMessage(const OneShotMail& mail);

// What a status code means, for tools and logs.
std::string_view SendStatusText(std::int32_t status);

}  // namespace outlark
