#pragma once
// Composing a Japanese mail (ISO-2022-JP, or UTF-8 when asked) from UTF-8 texts into the bytes the Smtp
// control sends.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mailcore/failure.h"

// As in outlark/smtp.h: default visibility inside the library and for its users.
#ifndef OUTLARK_API
#define OUTLARK_API __attribute__((visibility("default")))
#endif

namespace outlark {

struct MailAddress {
    std::string address;  // UTF-8, written verbatim
    std::string name;     // UTF-8; empty: the bare "<address>" form
};

// One mail, all texts UTF-8. In ISO-2022-JP, characters Shift_JIS (CP932) cannot hold become "?" (see
// ComposedMail); in UTF-8 every character is kept.
struct MailDraft {
    std::optional<MailAddress> from;
    std::vector<MailAddress> to, cc, bcc;   // Bcc is written as the "Bc:" header, as the control does
    std::optional<std::string> subject;     // set to "" still writes a Subject line
    std::optional<std::string> replyTo;     // free text
    std::vector<std::string> extraHeaders;  // whole lines without line end, after X-Mailer and X-Priority
    std::string body;                       // line breaks CR, LF or CR LF
    std::vector<std::string> attachments;   // file paths; one missing file drops them all
};

// The header options of the Smtp control's one-shot send.
struct ComposeOptions {
    std::int32_t type = 0;        // 0 MIME, 1 plain with uuencoded attachments
    std::int32_t encode = 0;      // body: 0 7bit, 1 base64
    std::int32_t header8bit = 1;  // 1 plain ISO-2022-JP headers, 0 encoded words
    std::int32_t width = 76;      // folding width of encoded words
    std::int32_t priority = 3;    // X-Priority
    // 0 ISO-2022-JP. 1 UTF-8: text/plain; charset=UTF-8 in quoted-printable (encode 0) or base64 (encode 1),
    // header texts as UTF-8 B words whatever header8bit says, file names also as RFC 2231 filename*.
    std::int32_t charset = 0;
};

// A field that lost characters on the way to Shift_JIS (in UTF-8: malformed bytes written as U+FFFD).
struct TextWarning {
    std::string field;  // "From", "To", "Subject", "body", "attachment path", ...
    std::size_t replaced = 0;
};

struct ComposedMail {
    // The message as the server receives it in DATA, dot-unstuffed: CR LF line ends, without the closing
    // "." line (SmtpSession::Data adds it back).
    std::string bytes;
    std::vector<TextWarning> warnings;
};

OUTLARK_API mailcore::Result<ComposedMail> ComposeMail(const MailDraft& draft,
                                                       const ComposeOptions& options = {});

}  // namespace outlark
