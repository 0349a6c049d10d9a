#pragma once
// One parsed message: the header fields the host reads, the decoded body and the attachment list.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace inlark {

struct AddressEntry {
    std::string nick_name;  // Shift_JIS after decoding (UTF-8 in the standards reading); may be empty
    std::string address;    // as written, never decoded
};

// kEncodingUuencode only in the standards reading: a uuencoded file (its data from the line after "begin").
enum TransferEncoding : int {
    kEncodingNone = 0,
    kEncodingQuotedPrintable = 1,
    kEncodingBase64 = 2,
    kEncodingUuencode = 3
};

struct Attachment {
    std::string file_name;  // Shift_JIS (UTF-8 in the standards reading), possibly empty
    // Where the attachment's lines stand in MessageRecord::text, line ends included.
    std::size_t offset = 0;
    std::size_t length = 0;
    int transfer_encoding = kEncodingBase64;
    // Uuencoded attachments only: the "end" line was seen, so the data is complete.
    bool uu_end_seen = false;
};

struct MailDate {
    std::int16_t year = 0;
    std::int16_t month = 0;  // 0: no month name recognised
    std::int16_t day = 0;
    std::int16_t hour = 0;
    std::int16_t minute = 0;
    std::int16_t second = 0;
};

struct MessageRecord {
    std::string text;  // the whole message; attachments point into it

    std::string from_nick_name;
    std::string from;
    std::vector<AddressEntry> to;
    std::vector<AddressEntry> cc;
    std::vector<AddressEntry> bcc;
    std::string subject;
    std::string reply_to;
    std::vector<std::string> ex_messages;
    std::vector<Attachment> attachments;
    std::string body;
    std::string date_text;
    MailDate date;

    bool mime = false;
    bool multipart = false;
    std::string boundary;
    int transfer_encoding = kEncodingNone;
    bool decoded = false;
    bool uuencoded = false;
    // Read by today's standards: every text above is UTF-8 and lossless, not Shift_JIS, and attachments
    // decode by RFC 2045.
    bool utf8 = false;

    std::string_view AttachmentData(const Attachment& a) const {
        return std::string_view(text).substr(a.offset, a.length);
    }
};

}  // namespace inlark
