#include <cstdio>
#include <exception>
#include <optional>
#include <utility>

#include "inlark/message.h"
#include "mailcore/wide_text.h"
#include "pop3/attachment_file.h"
#include "pop3/mail_date.h"
#include "pop3/message_parser.h"

namespace inlark {

namespace {

using mailcore::Failure;
using mailcore::FailureKind;

// The parser reads a retrieved text: CR LF lines and the end line ".". Bare LF lines (a mail file) get
// their CR; the end line is always added, since a message line "." must stay a line of the message.
std::string AsRetrievedText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 32 + 8);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) text += '\r';
        text += bytes[i];
    }
    if (!text.empty() && !text.ends_with("\r\n")) text += "\r\n";
    text += ".\r\n";
    return text;
}

// The record's texts are Shift_JIS, or UTF-8 already when it was read by today's standards.
struct Utf8 {
    bool already;
    std::string operator()(const std::string& text) const {
        return already ? text : mailcore::Cp932ToUtf8(text);
    }
};

std::vector<MailAddress> Addresses(const std::vector<AddressEntry>& list, const Utf8& utf8) {
    std::vector<MailAddress> addresses;
    addresses.reserve(list.size());
    for (const AddressEntry& entry : list) addresses.push_back({utf8(entry.nick_name), entry.address});
    return addresses;
}

// "+0900" after the time, as "+09:00"; empty when the date has none.
std::string ZoneOf(const std::string& dateText) {
    const std::size_t colon = dateText.rfind(':');
    if (colon == std::string::npos) return {};
    const std::size_t space = dateText.find(' ', colon);
    if (space == std::string::npos) return {};
    std::string zone = dateText.substr(space + 1, 5);
    if (zone.size() != 5 || (zone[0] != '+' && zone[0] != '-')) return {};
    for (std::size_t i = 1; i < 5; ++i) {
        if (zone[i] < '0' || zone[i] > '9') return {};
    }
    return zone.substr(0, 3) + ":" + zone.substr(3);
}

std::string IsoDate(const MailDate& date, const std::string& dateText) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", date.year, date.month, date.day,
                  date.hour, date.minute, date.second);
    return text + ZoneOf(dateText);
}

Message FromRecord(const MessageRecord& r) {
    const Utf8 utf8{r.utf8};
    Message m;
    m.fromNickname = utf8(r.from_nick_name);
    m.from = r.from;
    m.to = Addresses(r.to, utf8);
    m.cc = Addresses(r.cc, utf8);
    m.bcc = Addresses(r.bcc, utf8);
    m.replyTo = r.reply_to;
    m.subject = utf8(r.subject);
    m.body = utf8(r.body);
    m.dateText = r.date_text;
    m.date = AutomationDate(r.date);
    if (m.date != 0) {
        m.dateIso = IsoDate(r.date, r.date_text);
    } else if (!r.date_text.empty()) {
        m.warnings.push_back("the Date line does not read as a date: " + utf8(r.date_text));
    }
    for (const std::string& line : r.ex_messages) m.exMessages.push_back(utf8(line));
    for (std::size_t i = 0; i < r.attachments.size(); ++i) {
        const Attachment& a = r.attachments[i];
        MailAttachment attachment{utf8(a.file_name), SafeAttachmentFileName(a.file_name, r.utf8), {}, true};
        if (std::optional<mailcore::Bytes> bytes = DecodeAttachment(r, a)) {
            attachment.bytes.assign(bytes->begin(), bytes->end());
        } else {
            attachment.complete = false;
            m.warnings.push_back("attachment " + std::to_string(i + 1) +
                                 " does not decode (a uuencoded file without its end line)");
        }
        m.attachments.push_back(std::move(attachment));
    }
    return m;
}

}  // namespace

mailcore::Result<Message> ParseMessage(std::string_view bytes, const ParseOptions& options) {
    try {
        std::optional<MessageRecord> record = ParseMessage(AsRetrievedText(bytes), options.decodeCharsets);
        if (!record) {
            return Failure{FailureKind::BadArgument,
                           0,
                           {},
                           options.decodeCharsets
                               ? "the text does not parse as a mail message (it starts with no header line)"
                               : "the text does not parse as a mail message (no empty line after the header "
                                 "lines, or a multipart message without its boundary lines)"};
        }
        return FromRecord(*record);
    } catch (const std::exception& error) {
        return Failure{FailureKind::Internal, 0, {}, std::string("parse: ") + error.what()};
    } catch (...) {
        return Failure{FailureKind::Internal, 0, {}, "parse"};
    }
}

mailcore::Result<std::string> SaveAttachment(const MailAttachment& attachment, const std::string& directory) {
    try {
        const mailcore::Bytes bytes(attachment.bytes.begin(), attachment.bytes.end());
        // fileName may come from the caller: only its last component is used, and never a hidden name.
        std::string name = attachment.fileName;
        const std::size_t slash = name.find_last_of("/\\");
        if (slash != std::string::npos) name.erase(0, slash + 1);
        if (name.empty() || name.starts_with('.')) name = "noname";
        std::optional<std::string> path = WriteFileInDirectory(directory, name, bytes, ExistingFile::kKeep);
        if (!path) return Failure{FailureKind::Io, 0, {}, "cannot write " + name + " into " + directory};
        return std::move(*path);
    } catch (const std::exception& error) {
        return Failure{FailureKind::Internal, 0, {}, std::string("save: ") + error.what()};
    }
}

}  // namespace inlark
