#include "smtp/compose_message.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <thread>
#include <vector>

#include "mailcore/base64_encode.h"
#include "mailcore/jis_sjis.h"
#include "mailcore/unique_fd.h"
#include "mailcore/uuencode.h"
#include "smtp/attachment_headers.h"
#include "smtp/file_type.h"
#include "smtp/header_encoder.h"
#include "smtp/mail_date.h"
#include "smtp/utf8_text.h"

namespace outlark {
namespace {

struct Attachment {
    std::string path;
    std::string type_name;
};

// Attachments go out only when every file exists; one missing file drops them all.
std::optional<std::vector<Attachment>> ExistingAttachments(const std::vector<std::string>& paths, bool utf8) {
    std::vector<Attachment> found;
    for (const std::string& path : paths) {
        std::optional<std::string> type_name = FileTypeDescription(path, utf8);
        if (!type_name) return std::nullopt;
        found.push_back({path, std::move(*type_name)});
    }
    return found;
}

// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path, bool utf8) {
    // Non-blocking, so a FIFO put in the list never holds the session; fstat then turns it away.
    mailcore::UniqueFd fd(::open(NativePath(path, utf8).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    std::string data;
    data.reserve(static_cast<size_t>(info.st_size));
    char chunk[65536];
    while (true) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n == 0) return data;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        data.append(chunk, static_cast<size_t>(n));
    }
}

// Pieces glued in one allocation.
std::string Join(std::initializer_list<std::string_view> parts) {
    size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    std::string out;
    out.reserve(size);
    for (std::string_view part : parts) out.append(part);
    return out;
}

// RFC 5322 allows 998 octets before the CR LF.
bool HasOverlongLine(std::string_view text) {
    constexpr size_t kMaxLine = 998;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        size_t length = end - start;
        if (end < text.size() && length > 0 && text[end - 1] == '\r') --length;
        if (length > kMaxLine) return true;
        start = end + 1;
    }
    return false;
}

void EndLineIfOpen(std::string& text) {
    if (text.empty() || text.back() != '\n') text += "\r\n";
}

class Composer {
  public:
    Composer(const ComposedMessage& message, const ComposeContext& context)
        : message_(message),
          context_(context),
          mode_(message.header8bit == 0 && message.type == kTypeMime ? kHeaderEncodedWords : kHeaderPlain),
          utf8_(message.charset == kCharsetUtf8) {
        char boundary[32];
        std::snprintf(boundary, sizeof boundary, "----=_NextPart_000_%08X", context.tick_count);
        boundary_ = boundary;
    }

    std::string Compose(std::string_view body) {
        text_.reserve(4096 + body.size() * 2);
        for (const std::string& extra : message_.extra_headers) Header(SingleLineValue(extra));
        text_ += Join({"Date: ", FormatMailDate(context_.now), "\r\n"});
        RecipientLines("To", message_.to);
        RecipientLines("Cc", message_.cc);
        RecipientLines("Bc", message_.bc);
        if (message_.from) {
            HeaderField field(mode_, message_.width, message_.charset);
            field.Raw("From:");
            Mailbox(field, message_.from->nickname, message_.from->address);
            text_ += std::move(field).Finish();
        }
        if (message_.reply_to) ReplyTo(SingleLineValue(*message_.reply_to));
        if (message_.subject) Header(Join({"Subject: ", SingleLineValue(*message_.subject)}));

        std::optional<std::vector<Attachment>> attachments = ExistingAttachments(message_.attachments, utf8_);
        const bool has_attachments = !message_.attachments.empty();
        const bool multipart = has_attachments && attachments;
        std::string body_bytes = utf8_ ? CrLfLines(body) : mailcore::SjisToJis(body);
        // A line over 998 octets would be cut or refused on the way; base64 carries the same text.
        // Quoted-printable lines are short whatever the text.
        const bool base64_body = message_.type == kTypeMime && (message_.encode == kEncodeBase64 ||
                                                                (!utf8_ && HasOverlongLine(body_bytes)));
        if (message_.type == kTypeMime) {
            text_ += "MIME-Version: 1.0\r\n";
            if (multipart) {
                text_ += "Content-Type: multipart/mixed; boundary=\"" + boundary_ + "\"\r\n";
                text_ += "Content-Transfer-Encoding: 7bit\r\n\r\n";
                text_ += "This is a multi-part message in MIME format.\r\n\r\n";
                text_ += "--" + boundary_ + "\r\n";
            }
            text_ += utf8_ ? "Content-Type: text/plain; charset=UTF-8\r\n"
                           : "Content-Type: text/plain; charset=ISO-2022-JP\r\n";
            text_ += base64_body ? "Content-Transfer-Encoding: base64\r\n"
                     : utf8_     ? "Content-Transfer-Encoding: quoted-printable\r\n"
                                 : "Content-Transfer-Encoding: 7bit\r\n";
        }
        text_ += "\r\n";

        if (base64_body) {
            text_ += Base64Lines(body_bytes);
        } else if (utf8_ && message_.type == kTypeMime) {
            text_ += QuotedPrintableLines(body_bytes);
        } else {
            text_ += body_bytes;
        }

        if (has_attachments && !attachments) {
            text_ += "\r\n.\r\n";
        } else if (message_.type == kTypeMime && multipart) {
            MimeAttachments(*attachments);
        } else if (message_.type == kTypeMime) {
            EndLineIfOpen(text_);
            text_ += ".\r\n";
        } else {
            UuencodedAttachments(*attachments);
        }
        return std::move(text_);
    }

  private:
    void Header(std::string_view line, std::int32_t mode) {
        std::string full(line);
        full += "\r\n";
        text_ += EncodeHeaderLine(full, mode, message_.width, message_.charset);
    }
    void Header(std::string_view line) { Header(line, mode_); }

    static void Mailbox(HeaderField& field, std::string_view nickname, std::string_view address) {
        if (!nickname.empty()) field.DisplayName(SingleLineValue(nickname));
        field.Raw(Join({"<", SingleLineValue(address), ">"}));
    }

    void RecipientLines(std::string_view field_name, const std::vector<Recipient>& list) {
        if (list.empty()) return;
        HeaderField field(mode_, message_.width, message_.charset);
        field.Raw(Join({field_name, ":"}));
        for (size_t i = 0; i < list.size(); ++i) {
            if (i > 0) field.NewLine();
            Mailbox(field, list[i].nickname, list[i].address);
            if (i + 1 < list.size()) field.Raw(",", true);
        }
        text_ += std::move(field).Finish();
    }

    // Reply-To is one free text: "Name <address>" gets its name written like any display name; anything
    // else is text.
    void ReplyTo(std::string_view value) {
        HeaderField field(mode_, message_.width, message_.charset);
        field.Raw("Reply-To:");
        const size_t open = value.rfind('<');
        if (value.ends_with('>') && open != std::string_view::npos) {
            std::string_view name = value.substr(0, open);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
            while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
            std::string unquoted;
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
                name = name.substr(1, name.size() - 2);
                for (size_t i = 0; i < name.size(); ++i) {
                    if (name[i] == '\\' && i + 1 < name.size()) ++i;
                    unquoted.push_back(name[i]);
                }
                name = unquoted;
            }
            Mailbox(field, name, value.substr(open + 1, value.size() - open - 2));
        } else if (mode_ == kHeaderEncodedWords || utf8_ || value.find("=?") != std::string_view::npos) {
            field.Text(value);
        } else {
            field.Raw(mailcore::SjisToJis(value));
        }
        text_ += std::move(field).Finish();
    }

    void MimeAttachments(const std::vector<Attachment>& attachments) {
        text_ += "\r\n--" + boundary_;
        for (const Attachment& attachment : attachments) {
            text_ += "\r\n";
            text_ += AttachmentPartHeaders(SingleLineValue(FileNameOf(attachment.path)),
                                           SingleLineValue(attachment.type_name), utf8_);
            text_ += "\r\n";
            if (std::optional<std::string> data = ReadWholeFile(attachment.path, utf8_))
                text_ += Base64Lines(*data);
            text_ += "\r\n--" + boundary_;
            Pause();
        }
        text_ += "--\r\n\r\n.\r\n";
    }

    void UuencodedAttachments(const std::vector<Attachment>& attachments) {
        for (const Attachment& attachment : attachments) {
            EndLineIfOpen(text_);
            text_ += Join({"begin 600 ", SingleLineValue(FileNameOf(attachment.path)), "\r\n"});
            if (std::optional<std::string> data = ReadWholeFile(attachment.path, utf8_)) {
                text_ += mailcore::UuEncode(*data);
            }
            // The zero-length line ("`") closes the data; uudecode wants it before "end".
            text_ += "`\r\nend\r\n\r\n";
            Pause();
        }
        EndLineIfOpen(text_);
        text_ += ".\r\n";
    }

    void Pause() const {
        if (context_.attachment_pause.count() > 0) std::this_thread::sleep_for(context_.attachment_pause);
    }

    const ComposedMessage& message_;
    const ComposeContext& context_;
    const std::int32_t mode_;
    const bool utf8_;
    std::string boundary_;
    std::string text_;
};

}  // namespace

ComposeContext CurrentComposeContext() {
    ComposeContext context;
    timespec boot{};
    clock_gettime(CLOCK_MONOTONIC, &boot);
    context.tick_count = static_cast<std::uint32_t>(boot.tv_sec * 1000 + boot.tv_nsec / 1000000);
    context.now = std::time(nullptr);
    return context;
}

std::string Base64Lines(std::string_view bytes) {
    constexpr size_t kLine = 76;
    std::string encoded = mailcore::Base64Encode(bytes);
    std::string out;
    out.reserve(encoded.size() + encoded.size() / kLine * 2);
    for (size_t i = 0; i < encoded.size(); i += kLine) {
        size_t n = std::min(kLine, encoded.size() - i);
        out.append(encoded, i, n);
        if (n == kLine) out += "\r\n";
    }
    return out;
}

std::string ComposeMessage(const ComposedMessage& message, std::string_view body,
                           const ComposeContext& context) {
    return Composer(message, context).Compose(body);
}

}  // namespace outlark
