#pragma once
// libinlark's message parser for C++ callers: from a message's bytes to its fields in UTF-8 and its
// attachments as decoded bytes. Parsing never throws; problems that still leave a message are warnings.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mailcore/failure.h"

#ifndef INLARK_API
#define INLARK_API __attribute__((visibility("default")))
#endif

namespace inlark {

struct MailAddress {
    std::string nickname;  // the display name, UTF-8; may be empty
    std::string address;   // as written
};

struct MailAttachment {
    std::string name;      // the name the mail gives, UTF-8; may be empty
    std::string fileName;  // `name` made safe to create inside a directory ("noname" when nothing is left)
    std::string bytes;     // decoded
    bool complete = true;  // false: the data did not decode (a warning tells why) and `bytes` is empty
};

struct Message {
    std::string fromNickname;
    std::string from;
    std::vector<MailAddress> to;
    std::vector<MailAddress> cc;
    std::vector<MailAddress> bcc;
    std::string replyTo;
    std::string subject;
    std::string body;
    // Days since 30 December 1899 with the time as a fraction, the sender's local time; 0 without a date.
    double date = 0;
    std::string dateIso;   // "2026-12-07T09:30:15+09:00" (the zone when the date gives one); empty without
    std::string dateText;  // the Date value as written
    // Every header line not taken apart above, and the Date line, unfolded.
    std::vector<std::string> exMessages;
    std::vector<MailAttachment> attachments;
    std::vector<std::string> warnings;
};

struct ParseOptions {
    // Read the message by today's standards (any declared character set, RFC 2231 names, nested parts)
    // instead of the component's own Japanese rules.
    bool decodeCharsets = false;
};

// `bytes` is one message: header lines, an empty line and the body, with CR LF or LF line ends (the form
// Pop3Session::Retrieve gives, or a mail file). Fails (FailureKind::BadArgument) when there is no empty line
// after the header lines, or a multipart message lacks its boundary lines; with decodeCharsets, which
// tolerates both, only when the text starts with no header line.
INLARK_API mailcore::Result<Message> ParseMessage(std::string_view bytes, const ParseOptions& options = {});

// Writes the attachment's bytes into `directory` under its fileName through a temporary file; an existing
// file stays and the data goes to "stem-2.ext", "stem-3.ext" ... Gives the path written.
INLARK_API mailcore::Result<std::string> SaveAttachment(const MailAttachment& attachment,
                                                        const std::string& directory);

}  // namespace inlark
