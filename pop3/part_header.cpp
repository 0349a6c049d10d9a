#include "pop3/part_header.h"

#include "mailcore/encoded_words.h"
#include "pop3/message_record.h"
#include "pop3/text_lines.h"

namespace inlark {
namespace {

// The text between the first two double quotes of `line` at or after `from`.
std::optional<std::string_view> Quoted(std::string_view line, std::size_t from) {
    std::size_t q1 = line.find('"', from);
    if (q1 == kNoPos) return std::nullopt;
    std::size_t q2 = line.find('"', q1 + 1);
    if (q2 == kNoPos) return std::nullopt;
    return line.substr(q1 + 1, std::min(q2 - q1 - 1, kMaxFileNameBytes));
}

}  // namespace

std::optional<PartHeader> ReadPartHeader(std::string_view t, std::size_t pos, std::size_t limit,
                                         std::string_view dash_boundary) {
    PartHeader h;
    std::optional<std::string_view> raw_name;
    while (pos < limit) {
        if (StartsWith(t, pos, "\r\n")) {
            h.data_start = pos + 2;
            break;
        }
        if (StartsWith(t, pos, dash_boundary)) {
            h.data_start = pos;
            break;
        }
        const std::size_t eol = FindCrLf(t, pos);
        if (eol == kNoPos || eol >= limit) return std::nullopt;
        const std::string_view line = t.substr(pos, eol - pos);
        if (StartsWithLower(line, 0, "content-type: ")) {
            std::size_t v = line.find_first_not_of(' ', 14);
            if (!raw_name && v != kNoPos && StartsWithLower(line, v, "application/octet-stream")) {
                raw_name = Quoted(line, 0);
            }
        } else if (StartsWithLower(line, 0, "content-disposition: attachment; filename=")) {
            if (!raw_name) raw_name = Quoted(line, 0);
        } else if (StartsWithLower(line, 0, " filename=") || StartsWithLower(line, 0, "\tfilename=")) {
            if (!raw_name) raw_name = Quoted(line, 10);
        } else if (StartsWithLower(line, 0, "content-transfer-encoding: 7bit")) {
            if (!h.transfer_encoding) h.transfer_encoding = kEncodingNone;
        } else if (StartsWithLower(line, 0, "content-transfer-encoding: quoted-printable")) {
            if (!h.transfer_encoding) h.transfer_encoding = kEncodingQuotedPrintable;
        } else if (StartsWithLower(line, 0, "content-transfer-encoding: base64")) {
            if (!h.transfer_encoding) h.transfer_encoding = kEncodingBase64;
        }
        pos = eol + 2;
    }
    if (pos >= limit) return std::nullopt;
    if (raw_name) h.file_name = mailcore::DecodeHeaderText(*raw_name, false, false);
    return h;
}

}  // namespace inlark
