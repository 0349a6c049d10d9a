#include "pop3/message_parser.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "mailcore/base64.h"
#include "mailcore/encoded_words.h"
#include "mailcore/jis_sjis.h"
#include "mailcore/quoted_printable.h"
#include "pop3/address_split.h"
#include "pop3/mail_date.h"
#include "pop3/part_header.h"
#include "pop3/standard_parser.h"
#include "pop3/text_lines.h"

namespace inlark {
namespace {

// End of a header field: the CR LF that ends its last continuation line (or the text's end).
std::size_t FieldEnd(std::string_view t, std::size_t eol) {
    while (eol + 2 < t.size() && (t[eol + 2] == ' ' || t[eol + 2] == '\t')) {
        std::size_t next = FindCrLf(t, eol + 2);
        if (next == kNoPos) return t.size();
        eol = next;
    }
    return eol;
}

// Skips spaces and TABs, and a line break only when a continuation line follows it.
std::size_t SkipToValue(std::string_view t, std::size_t pos) {
    while (pos < t.size()) {
        if (t[pos] == ' ' || t[pos] == '\t') {
            ++pos;
        } else if (StartsWith(t, pos, "\r\n") && pos + 2 < t.size() &&
                   (t[pos + 2] == ' ' || t[pos + 2] == '\t')) {
            pos += 2;
        } else {
            break;
        }
    }
    return pos;
}

std::size_t FindLower(std::string_view t, std::size_t from, std::size_t to, std::string_view needle) {
    for (std::size_t p = from; p + needle.size() <= to; ++p) {
        if (StartsWithLower(t, p, needle)) return p;
    }
    return kNoPos;
}

// Double quotes of the header section, found once on first use: several Content-Type lines must not
// each scan ahead to the same far quote.
class QuoteScan {
  public:
    explicit QuoteScan(std::string_view t) : t_(t) {}
    // The first quote at or after `pos` within the header section, or kNoPos.
    std::size_t Next(std::size_t pos) {
        if (!found_) {
            std::size_t header_end = t_.find("\r\n\r\n");
            if (header_end == kNoPos) header_end = t_.size();
            for (std::size_t q = t_.find('"'); q < header_end; q = t_.find('"', q + 1)) quotes_.push_back(q);
            found_ = true;
        }
        auto it = std::lower_bound(quotes_.begin(), quotes_.end(), pos);
        return it == quotes_.end() ? kNoPos : *it;
    }

  private:
    std::string_view t_;
    std::vector<std::size_t> quotes_;
    bool found_ = false;
};

// A quoted boundary is the text between the quotes; an unquoted one (legal, and sent by some mail
// programs) runs up to ";", white space or the line end.
std::string TakeBoundary(std::string_view t, std::size_t value, std::size_t field_end, QuoteScan& quotes) {
    std::size_t b = FindLower(t, value, field_end, "boundary=");
    if (b != kNoPos) {
        std::size_t v = b + 9;
        if (v < field_end && t[v] == '"') {
            std::size_t close = t.find('"', v + 1);
            if (close == kNoPos || close > field_end) close = field_end;
            return std::string(t.substr(v + 1, close - v - 1));
        }
        std::size_t stop = t.find_first_of("; \t\r\n", v);
        if (stop == kNoPos || stop > field_end) stop = field_end;
        return std::string(t.substr(v, stop - v));
    }
    // No "boundary=": the text between the next two double quotes, within the header section.
    const std::size_t q1 = quotes.Next(value);
    if (q1 == kNoPos) return {};
    const std::size_t q2 = quotes.Next(q1 + 1);
    if (q2 == kNoPos) return {};
    return std::string(t.substr(q1 + 1, q2 - q1 - 1));
}

void AddAddresses(std::string_view t, std::size_t value, std::vector<AddressEntry>& list) {
    std::size_t pos = SkipToValue(t, value);
    if (pos >= t.size() || t[pos] == '\r' || t[pos] == '\n') return;
    for (auto& e : SplitAddressList(t, pos)) list.push_back(std::move(e));
}

// Returns the start of the body, or nothing when the header section never ends.
std::optional<std::size_t> ParseHeaderSection(MessageRecord& r, std::string& date_text) {
    const std::string_view t = r.text;
    QuoteScan quotes(t);
    std::size_t pos = 0;
    while (true) {
        if (StartsWith(t, pos, "\r\n")) return pos + 2;
        const std::size_t eol = FindCrLf(t, pos);
        if (eol == kNoPos) return std::nullopt;
        if (t[pos] == ' ' || t[pos] == '\t') {  // a continuation line, already taken with its field
            pos = eol + 2;
            if (pos >= t.size()) return std::nullopt;
            continue;
        }
        const std::size_t field_end = FieldEnd(t, eol);
        auto field = [&] { return std::string(t.substr(pos, field_end - pos)); };

        if (StartsWithLower(t, pos, "from:")) {
            std::size_t v = SkipToValue(t, pos + 5);
            if (v < t.size() && t[v] != '\r' && t[v] != '\n') {
                SplitResult s = SplitAddress(t, v);
                r.from_nick_name = std::move(s.entry.nick_name);
                r.from = std::move(s.entry.address);
            }
        } else if (StartsWithLower(t, pos, "to:")) {
            AddAddresses(t, pos + 3, r.to);
        } else if (StartsWithLower(t, pos, "cc:")) {
            AddAddresses(t, pos + 3, r.cc);
        } else if (StartsWithLower(t, pos, "bcc:")) {
            AddAddresses(t, pos + 4, r.bcc);
        } else if (StartsWithLower(t, pos, "date:")) {
            std::size_t v = SkipToValue(t, pos + 5);
            std::size_t line_end = t.find_first_of("\r\n", v);
            if (line_end == kNoPos) line_end = t.size();
            date_text = std::string(t.substr(v, line_end - v));
            r.ex_messages.push_back(field());
        } else if (StartsWithLower(t, pos, "message-id:")) {
            // consumed: not one of the further header lines
        } else if (StartsWithLower(t, pos, "subject:")) {
            std::size_t v = SkipToValue(t, pos + 8);
            if (v < field_end) r.subject = std::string(t.substr(v, field_end - v));
        } else if (StartsWithLower(t, pos, "reply-to:")) {
            std::size_t v = SkipToValue(t, pos + 9);
            std::size_t line_end = t.find_first_of("\r\n", v);
            if (line_end == kNoPos) line_end = t.size();
            if (v < line_end && t[v] == '<') {
                std::size_t close = t.find('>', v);
                if (close == kNoPos || close > line_end) close = line_end;
                r.reply_to = std::string(t.substr(v + 1, close - v - 1));
            } else {
                std::size_t stop = t.find(' ', v);
                if (stop == kNoPos || stop > line_end) stop = line_end;
                r.reply_to = std::string(t.substr(v, stop - v));
            }
        } else if (StartsWithLower(t, pos, "mime")) {
            r.mime = true;
        } else if (StartsWithLower(t, pos, "content-type: ")) {
            std::size_t v = SkipToValue(t, pos + 14);
            if (StartsWithLower(t, v, "multipart/mixed") || StartsWithLower(t, v, "multipart/report")) {
                r.boundary = TakeBoundary(t, v, field_end, quotes);
                r.multipart = !r.boundary.empty();
            }
        } else if (StartsWithLower(t, pos, "content-transfer-encoding: 7bit")) {
            r.transfer_encoding = kEncodingNone;
        } else if (StartsWithLower(t, pos, "content-transfer-encoding: quoted-printable")) {
            r.transfer_encoding = kEncodingQuotedPrintable;
        } else if (StartsWithLower(t, pos, "content-transfer-encoding: base64")) {
            r.transfer_encoding = kEncodingBase64;
        } else if (t[pos] != ' ' && t[pos] != '\t' && t[pos] != '\r') {
            r.ex_messages.push_back(field());
        }
        pos = eol + 2;
        if (pos >= t.size()) return std::nullopt;
    }
}

// First line at or after `pos` (a line start) and before `limit` that begins with `dash_boundary`.
std::size_t FindBoundaryLine(std::string_view t, std::size_t pos, std::size_t limit,
                             std::string_view dash_boundary) {
    if (pos < limit && StartsWith(t, pos, dash_boundary)) return pos;
    const std::string needle = "\r\n" + std::string(dash_boundary);
    std::size_t hit = t.find(needle, pos);
    if (hit == kNoPos || hit + 2 >= limit) return kNoPos;
    return hit + 2;
}

std::size_t Base64LineLength(std::size_t line_length) {
    const std::size_t groups = line_length / 4;
    return groups * 4 + (3 - groups % 3) % 3;
}

template <typename Fn>
void ForEachLine(std::string_view body, Fn fn) {
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t e = FindCrLf(body, pos);
        if (e == kNoPos) {
            fn(body.substr(pos));
            break;
        }
        fn(body.substr(pos, e - pos));
        pos = e + 2;
    }
}

std::string DecodeBody(std::string_view body, int encoding) {
    if (encoding == kEncodingQuotedPrintable) {
        std::string out;
        out.reserve(body.size());
        ForEachLine(body, [&](std::string_view line) {
            out += mailcore::QpDecodeText(line, line.size());
            out += "\r\n";
        });
        return out;
    }
    if (encoding == kEncodingBase64) {
        std::string jis;
        jis.reserve(body.size() / 4 * 3);
        ForEachLine(body, [&](std::string_view line) {
            jis += mailcore::Base64DecodeText(line, Base64LineLength(line.size()));
        });
        return mailcore::JisToSjis(jis);
    }
    return mailcore::JisToSjis(body);
}

void FindUuencodedFiles(MessageRecord& r, std::size_t pos, std::size_t limit) {
    const std::string_view t = r.text;
    while (pos < limit) {
        if (!StartsWith(t, pos, "begin ")) {
            pos = NextLine(t, pos);
            continue;
        }
        const std::size_t eol = std::min(NextLine(t, pos), limit);
        std::string_view line = t.substr(pos, eol - pos);
        if (line.ends_with("\r\n")) line.remove_suffix(2);
        Attachment a;
        a.transfer_encoding = kEncodingNone;
        std::size_t second = line.find(' ', line.find(' ') + 1);
        if (second != kNoPos) {
            a.file_name =
                mailcore::DecodeHeaderText(line.substr(second + 1, kMaxFileNameBytes), false, false);
        }
        a.offset = eol;
        std::size_t p = eol;
        while (p < limit && !StartsWith(t, p, "end")) p = NextLine(t, p);
        a.uu_end_seen = p < limit;
        a.length = std::min(p, limit) - eol;
        const bool end_seen = a.uu_end_seen;
        r.attachments.push_back(std::move(a));
        pos = end_seen ? NextLine(t, p) : limit;
    }
}

// Parts after the body: each is read up to the next boundary line; "--" right after the boundary closes
// the list. A part that never meets a boundary line means the closing boundary is missing.
bool FindMimeParts(MessageRecord& r, std::size_t boundary_line, std::size_t limit) {
    const std::string_view t = r.text;
    const std::string dash = "--" + r.boundary;
    while (!StartsWith(t, boundary_line + dash.size(), "--")) {
        std::size_t pos = NextLine(t, boundary_line);
        std::optional<PartHeader> h = ReadPartHeader(t, pos, limit, dash);
        if (!h) return false;
        std::size_t next = FindBoundaryLine(t, h->data_start, limit, dash);
        if (next == kNoPos) return false;
        Attachment a;
        a.file_name = std::move(h->file_name);
        a.transfer_encoding = h->transfer_encoding.value_or(kEncodingBase64);
        a.offset = h->data_start;
        a.length = next - h->data_start;
        r.attachments.push_back(std::move(a));
        boundary_line = next;
    }
    return true;
}

bool ParseBody(MessageRecord& r, std::size_t body_start) {
    const std::string_view t = r.text;
    const std::size_t limit = BodyLimit(t, body_start);
    if (!r.mime) {
        r.uuencoded = true;
        std::size_t end = body_start;
        while (end < limit && !StartsWith(t, end, "begin ")) end = NextLine(t, end);
        end = std::min(end, limit);
        r.body = DecodeBody(t.substr(body_start, end - body_start), r.transfer_encoding);
        FindUuencodedFiles(r, end, limit);
        return true;
    }
    if (!r.multipart) {
        r.body = DecodeBody(t.substr(body_start, limit - body_start), r.transfer_encoding);
        return true;
    }
    const std::string dash = "--" + r.boundary;
    const std::size_t first = FindBoundaryLine(t, body_start, limit, dash);
    if (first == kNoPos) return false;
    std::optional<PartHeader> h = ReadPartHeader(t, NextLine(t, first), limit, dash);
    if (!h) return false;
    if (h->transfer_encoding) r.transfer_encoding = *h->transfer_encoding;
    const std::size_t closing = FindBoundaryLine(t, h->data_start, limit, dash);
    if (closing == kNoPos) return false;
    r.body = DecodeBody(t.substr(h->data_start, closing - h->data_start), r.transfer_encoding);
    return FindMimeParts(r, closing, limit);
}

void DecodeHeaderTexts(MessageRecord& r) {
    const bool raw = !r.mime;
    auto decode = [raw](std::string& s) { s = mailcore::DecodeHeaderText(s, raw, true); };
    decode(r.from_nick_name);
    for (auto* list : {&r.to, &r.cc, &r.bcc}) {
        for (auto& e : *list) decode(e.nick_name);
    }
    decode(r.subject);
    for (auto& line : r.ex_messages) decode(line);
    r.decoded = true;
}

}  // namespace

std::optional<MessageRecord> ParseMessage(std::string text, bool decode_charsets) {
    MessageRecord r;
    r.text = std::move(text);
    if (decode_charsets) {
        if (!ParseStandardMessage(r)) return std::nullopt;
        return r;
    }
    std::string date_text;
    std::optional<std::size_t> body_start = ParseHeaderSection(r, date_text);
    if (!body_start || !ParseBody(r, *body_start)) return std::nullopt;
    DecodeHeaderTexts(r);
    r.date_text = std::move(date_text);
    r.date = ReadMailDate(r.date_text);
    return r;
}

}  // namespace inlark
