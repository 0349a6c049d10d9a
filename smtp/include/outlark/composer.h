#pragma once
// Composing a Japanese mail (ISO-2022-JP) from UTF-8 texts into the bytes the Smtp control sends.

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

// One mail, all texts UTF-8. Characters Shift_JIS (CP932) cannot hold become "?" (see ComposedMail).
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
};

// A field that lost characters on the way to Shift_JIS.
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
