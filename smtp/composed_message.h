#pragma once
// The message being built: header fields, attachments and composition settings; texts Shift_JIS, or UTF-8
// when the charset says so.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace outlark {

struct Recipient {
    std::string nickname;  // empty when none was given
    std::string address;
};

enum MessageType : std::int32_t { kTypeMime = 0, kTypePlain = 1 };
// The stored forms of the transfer encoding of the body.
enum BodyEncoding : std::int32_t { kEncode7bit = 0, kEncodeBase64 = 2 };
// What the mail is written in. UTF-8: the texts here are UTF-8 too, every header text goes in encoded words,
// and the body in quoted-printable (encode 7bit) or base64.
enum MailCharset : std::int32_t { kCharsetIso2022Jp = 0, kCharsetUtf8 = 1 };

struct ComposedMessage {
    std::optional<Recipient> from;
    std::vector<Recipient> to;
    std::vector<Recipient> cc;
    std::vector<Recipient> bc;
    // Never set differs from set to empty text: the latter still writes its header line.
    std::optional<std::string> subject;
    std::optional<std::string> reply_to;
    std::vector<std::string> extra_headers;
    std::vector<std::string> attachments;  // file paths
    std::int32_t type = kTypeMime;
    std::int32_t encode = kEncode7bit;
    std::int32_t header8bit = 0;
    std::int32_t width = 76;
    std::int32_t charset = kCharsetIso2022Jp;
};

}  // namespace outlark
