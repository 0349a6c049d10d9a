#include "pop3/standard_parser.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mailcore/charset_text.h"
#include "mailcore/header_text.h"
#include "mailcore/mime_codecs.h"
#include "pop3/address_list.h"
#include "pop3/html_text.h"
#include "pop3/mail_date.h"
#include "pop3/mime_params.h"
#include "pop3/part_header.h"
#include "pop3/text_lines.h"

namespace inlark {
namespace {

// Deeper nesting than this is read as an attachment: mail nests a few levels, a hostile message thousands.
constexpr int kMaxDepth = 40;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

bool NameIs(std::string_view name, std::string_view lower) {
    return name.size() == lower.size() && StartsWithLower(name, 0, lower);
}

// End of the line at `pos` without its line break, and the start of the next line.
struct Line {
    std::size_t content_end;
    std::size_t next;
};

Line LineAt(std::string_view t, std::size_t pos, std::size_t end) {
    std::size_t lf = t.find('\n', pos);
    if (lf == kNoPos || lf >= end) return {end, end};
    std::size_t content_end = lf > pos && t[lf - 1] == '\r' ? lf - 1 : lf;
    return {content_end, lf + 1};
}

struct Field {
    std::string_view name;
    std::string_view value;  // raw, folding included, without the final line break
};

struct HeaderBlock {
    std::vector<Field> fields;
    std::size_t body_start = 0;
};

HeaderBlock ReadHeader(std::string_view t, std::size_t pos, std::size_t end) {
    HeaderBlock h;
    h.body_start = end;
    while (pos < end) {
        Line line = LineAt(t, pos, end);
        if (line.content_end == pos) {
            h.body_start = line.next;
            return h;
        }
        if (IsBlank(t[pos])) {  // a continuation without a field: nothing to join it to
            pos = line.next;
            continue;
        }
        std::size_t field_end = line.content_end;
        std::size_t next = line.next;
        while (next < end && IsBlank(t[next])) {
            Line more = LineAt(t, next, end);
            field_end = more.content_end;
            next = more.next;
        }
        // Looked for on this line only: a long run of lines without a colon must not be scanned again each.
        const std::size_t colon_at = t.substr(pos, line.content_end - pos).find(':');
        const std::size_t colon = colon_at == kNoPos ? kNoPos : pos + colon_at;
        if (colon != kNoPos && colon > pos) {
            h.fields.push_back(
                {Trim(t.substr(pos, colon - pos)), t.substr(colon + 1, field_end - colon - 1)});
        }
        pos = next;
    }
    return h;
}

// A boundary parameter folded inside its quotes: the fold removed entirely.
std::string WithoutFolds(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' || value[i] == '\n') {
            while (i + 1 < value.size() && (value[i + 1] == '\n' || IsBlank(value[i + 1]))) ++i;
            continue;
        }
        out += value[i];
    }
    return out;
}

struct PartInfo {
    MimeField type;
    MimeField disposition;
    std::string encoding;         // lower case; empty means 7bit
    std::string joined_boundary;  // the boundary read with folds removed, when the value was folded

    bool IsAttachment() const { return disposition.value == "attachment"; }
    std::string FileName() const {
        std::string name = disposition.Text("filename");
        return name.empty() ? type.Text("name") : name;
    }
};

PartInfo ReadPartInfo(const HeaderBlock& h, std::string_view default_type) {
    PartInfo p;
    for (const Field& f : h.fields) {
        if (NameIs(f.name, "content-type")) {
            p.type = ParseMimeField(mailcore::UnfoldHeader(f.value));
            if (f.value.find('\n') != std::string_view::npos)
                p.joined_boundary = ParseMimeField(WithoutFolds(f.value)).Raw("boundary");
        } else if (NameIs(f.name, "content-transfer-encoding")) {
            std::string e(Trim(mailcore::UnfoldHeader(f.value)));
            for (char& c : e) c = AsciiLower(c);
            p.encoding = std::move(e);
        } else if (NameIs(f.name, "content-disposition")) {
            p.disposition = ParseMimeField(mailcore::UnfoldHeader(f.value));
        }
    }
    if (p.type.value.find('/') == std::string::npos) p.type.value = std::string(default_type);
    return p;
}

int EncodingCode(std::string_view e) {
    if (e == "base64") return kEncodingBase64;
    if (e == "quoted-printable") return kEncodingQuotedPrintable;
    if (e == "x-uuencode" || e == "uuencode" || e == "x-uue") return kEncodingUuencode;
    return kEncodingNone;  // 7bit (also when missing), 8bit, binary, and anything unknown
}

std::string DecodeContent(const PartInfo& p, std::string_view data) {
    switch (EncodingCode(p.encoding)) {
        case kEncodingBase64:
            return mailcore::Base64DecodeStandard(data);
        case kEncodingQuotedPrintable:
            return mailcore::QpDecodeStandard(data, false);
        default:
            return std::string(data);
    }
}

// "begin 644 name": a mode of octal digits, then the file name.
bool IsUuBeginLine(std::string_view line) {
    if (!line.starts_with("begin ")) return false;
    std::size_t i = 6;
    const std::size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '7') ++i;
    return i > digits && i < line.size() && line[i] == ' ';
}

struct PartRange {
    std::size_t start;
    std::size_t end;
};

// The parts between the delimiter lines of `boundary`; nothing when no delimiter line is there. A missing
// closing delimiter ends the last part at `end`.
std::optional<std::vector<PartRange>> SplitParts(std::string_view t, std::size_t pos, std::size_t end,
                                                 std::string_view boundary) {
    if (boundary.empty()) return std::nullopt;
    const std::string dash = "--" + std::string(boundary);
    std::vector<PartRange> parts;
    std::size_t current = kNoPos;
    bool any = false;
    for (std::size_t hit = t.find(dash, pos); hit < end; hit = t.find(dash, hit + 1)) {
        if (hit != pos && t[hit - 1] != '\n') continue;
        const Line line = LineAt(t, hit, end);
        if (hit + dash.size() > line.content_end) continue;
        const std::string_view rest = t.substr(hit + dash.size(), line.content_end - hit - dash.size());
        const bool closing = rest.starts_with("--");
        if (!closing && !Trim(rest).empty()) continue;
        any = true;
        if (current != kNoPos) {
            std::size_t e = hit;
            if (e > current && t[e - 1] == '\n') --e;
            if (e > current && t[e - 1] == '\r') --e;
            parts.push_back({current, e});
        }
        if (closing) return parts;
        current = line.next;
    }
    if (!any) return std::nullopt;
    if (current != kNoPos) parts.push_back({current, end});
    return parts;
}

class Walker {
  public:
    explicit Walker(MessageRecord& r) : r_(r), t_(r.text) {}

    void Entity(std::size_t start, std::size_t end, int depth, std::string_view default_type) {
        const HeaderBlock h = ReadHeader(t_, start, end);
        Content(ReadPartInfo(h, default_type), h.body_start, end, depth);
    }

    void Content(const PartInfo& p, std::size_t body_start, std::size_t end, int depth) {
        const std::string& type = p.type.value;
        if (type.starts_with("multipart/") && depth < kMaxDepth) {
            Multipart(p, body_start, end, depth);
        } else if (type == "message/rfc822" || type == "message/global") {
            std::string name = p.FileName();
            if (name.empty()) name = InnerSubject(p, body_start, end);
            AddAttachment(p, body_start, end, std::move(name));
        } else {
            Leaf(p, body_start, end);
        }
    }

    std::string TakeBody() { return std::move(body_); }

  private:
    void Multipart(const PartInfo& p, std::size_t body_start, std::size_t end, int depth) {
        auto parts = SplitParts(t_, body_start, end, p.type.Raw("boundary"));
        if (!parts) parts = SplitParts(t_, body_start, end, p.joined_boundary);
        if (!parts) {
            PartInfo text = p;
            text.type.value = "text/plain";
            Leaf(text, body_start, end);
            return;
        }
        const std::string_view child_default =
            p.type.value == "multipart/digest" ? "message/rfc822" : "text/plain";
        if (p.type.value != "multipart/alternative") {
            for (const PartRange& part : *parts) Entity(part.start, part.end, depth + 1, child_default);
            return;
        }
        // Alternatives: the plain text when there is one, else HTML, else the last (the richest) form.
        std::optional<std::size_t> plain, html;
        for (std::size_t i = 0; i < parts->size(); ++i) {
            const PartInfo c =
                ReadPartInfo(ReadHeader(t_, (*parts)[i].start, (*parts)[i].end), child_default);
            if (c.IsAttachment()) continue;
            if (!plain && c.type.value == "text/plain") plain = i;
            if (!html && c.type.value == "text/html") html = i;
        }
        if (parts->empty()) return;
        const PartRange chosen = (*parts)[plain ? *plain : html ? *html : parts->size() - 1];
        Entity(chosen.start, chosen.end, depth + 1, child_default);
    }

    void Leaf(const PartInfo& p, std::size_t body_start, std::size_t end) {
        const std::string& type = p.type.value;
        const bool text = type == "text/plain" || type == "text/html";
        if (text && !p.IsAttachment() && (!have_body_ || (type == "text/plain" && p.FileName().empty()))) {
            std::string content = TextOf(p, body_start, end);
            if (type == "text/html") content = HtmlToText(content);
            if (have_body_ && !body_.empty() && !body_.ends_with("\n")) body_ += "\r\n";
            body_ += content;
            have_body_ = true;
            return;
        }
        AddAttachment(p, body_start, end, p.FileName());
    }

    // The part's text as UTF-8; uuencoded files inside a part that is not transfer-encoded become
    // attachments and leave the text.
    std::string TextOf(const PartInfo& p, std::size_t start, std::size_t end) {
        const std::string charset = p.type.Raw("charset");
        if (EncodingCode(p.encoding) != kEncodingNone || p.type.value != "text/plain") {
            return mailcore::TextToUtf8(DecodeContent(p, t_.substr(start, end - start)), charset);
        }
        std::string bytes;
        std::size_t segment = start;
        for (std::size_t pos = start; pos < end;) {
            const Line line = LineAt(t_, pos, end);
            const std::string_view text = t_.substr(pos, line.content_end - pos);
            if (!IsUuBeginLine(text)) {
                pos = line.next;
                continue;
            }
            bytes.append(t_.substr(segment, pos - segment));
            Attachment a;
            a.transfer_encoding = kEncodingUuencode;
            const std::size_t name_at = text.find(' ', 6) + 1;
            a.file_name = mailcore::DecodeHeaderUtf8(text.substr(name_at, kMaxFileNameBytes));
            a.offset = line.next;
            std::size_t p2 = line.next;
            while (p2 < end && !StartsWith(t_, p2, "end")) p2 = LineAt(t_, p2, end).next;
            a.uu_end_seen = p2 < end;
            a.length = std::min(p2, end) - a.offset;
            r_.attachments.push_back(std::move(a));
            segment = pos = p2 < end ? LineAt(t_, p2, end).next : end;
        }
        bytes.append(t_.substr(segment, end - segment));
        return mailcore::TextToUtf8(bytes, charset);
    }

    std::string InnerSubject(const PartInfo& p, std::size_t start, std::size_t end) const {
        if (EncodingCode(p.encoding) != kEncodingNone) return {};
        for (const Field& f : ReadHeader(t_, start, end).fields) {
            if (NameIs(f.name, "subject")) return std::string(Trim(mailcore::DecodeHeaderUtf8(f.value)));
        }
        return {};
    }

    void AddAttachment(const PartInfo& p, std::size_t start, std::size_t end, std::string name) {
        Attachment a;
        a.file_name = std::move(name);
        a.transfer_encoding = EncodingCode(p.encoding);
        a.offset = start;
        a.length = end - start;
        r_.attachments.push_back(std::move(a));
    }

    MessageRecord& r_;
    std::string_view t_;
    std::string body_;
    bool have_body_ = false;
};

AddressEntry FirstAddress(std::string_view value) {
    std::vector<AddressEntry> list = ParseAddressList(value);
    return list.empty() ? AddressEntry{} : std::move(list.front());
}

void Append(std::vector<AddressEntry>& list, std::string_view value) {
    for (AddressEntry& e : ParseAddressList(value)) list.push_back(std::move(e));
}

}  // namespace

bool ParseStandardMessage(MessageRecord& r) {
    const std::string_view t = r.text;
    const HeaderBlock h = ReadHeader(t, 0, t.size());
    if (h.fields.empty()) return false;
    for (const Field& f : h.fields) {
        if (NameIs(f.name, "from")) {
            AddressEntry e = FirstAddress(f.value);
            r.from_nick_name = std::move(e.nick_name);
            r.from = std::move(e.address);
        } else if (NameIs(f.name, "to")) {
            Append(r.to, f.value);
        } else if (NameIs(f.name, "cc")) {
            Append(r.cc, f.value);
        } else if (NameIs(f.name, "bcc")) {
            Append(r.bcc, f.value);
        } else if (NameIs(f.name, "subject")) {
            r.subject = std::string(Trim(mailcore::DecodeHeaderUtf8(f.value)));
        } else if (NameIs(f.name, "reply-to")) {
            r.reply_to = FirstAddress(f.value).address;
        } else if (NameIs(f.name, "message-id")) {
            // consumed, as in the component's reading
        } else if (StartsWithLower(f.name, 0, "mime")) {
            r.mime = true;
        } else if (NameIs(f.name, "content-type") || NameIs(f.name, "content-transfer-encoding") ||
                   NameIs(f.name, "content-disposition")) {
            // taken apart below
        } else {
            if (NameIs(f.name, "date")) r.date_text = std::string(Trim(mailcore::UnfoldHeader(f.value)));
            r.ex_messages.push_back(std::string(f.name) + ":" + mailcore::DecodeHeaderUtf8(f.value));
        }
    }
    const PartInfo top = ReadPartInfo(h, "text/plain");
    r.multipart = top.type.value.starts_with("multipart/");
    r.boundary = top.type.Raw("boundary");
    r.transfer_encoding = EncodingCode(top.encoding);
    Walker walker(r);
    walker.Content(top, h.body_start, BodyLimit(t, h.body_start), 0);
    r.body = walker.TakeBody();
    r.date = ReadMailDate(r.date_text);
    r.decoded = true;
    r.utf8 = true;
    return true;
}

}  // namespace inlark
