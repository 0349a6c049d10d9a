#include "smtp/utf8_text.h"

namespace outlark {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

void AppendCodePoint(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

size_t Utf8CharLength(std::string_view text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const size_t length = lead < 0x80                    ? 1
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || at + length > text.size()) return 1;
    for (size_t i = at + 1; i < at + length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 1;
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    const unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        return 1;
    }
    return length;
}

std::string WideToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendCodePoint(out, c);
    }
    return out;
}

Utf8Checked WellFormedUtf8(std::string_view text) {
    Utf8Checked out;
    out.text.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8CharLength(text, i);
        if (length == 1 && static_cast<unsigned char>(text[i]) >= 0x80) {
            out.text += kReplacement;
            ++out.replaced;
        } else {
            out.text.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

std::string CrLfLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string QuotedPrintableLines(std::string_view crlf_text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    constexpr size_t kMaxColumns = 76;  // including the "=" of a soft break
    std::string out;
    out.reserve(crlf_text.size() * 3 / 2);
    size_t start = 0;
    while (start <= crlf_text.size()) {
        size_t end = crlf_text.find("\r\n", start);
        const bool last = end == std::string_view::npos;
        if (last) end = crlf_text.size();
        const std::string_view line = crlf_text.substr(start, end - start);
        size_t column = 0;
        for (size_t i = 0; i < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            const bool at_line_start = column == 0;
            const bool blank_at_end = (c == ' ' || c == '\t') && i + 1 == line.size();
            const bool escape = c == '=' || c >= 0x7F || (c < 0x20 && c != '\t') || blank_at_end ||
                                (at_line_start && (c == '.' || c == 'F'));
            const size_t width = escape ? 3 : 1;
            // Room for this piece and, unless it ends the line, the "=" of a soft break after it.
            const size_t needed = column + width + (i + 1 < line.size() ? 1 : 0);
            if (column > 0 && needed > kMaxColumns) {
                out += "=\r\n";
                column = 0;
                if (c == '.' || c == 'F') {
                    out += '=';
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                    column = 3;
                    continue;
                }
            }
            if (escape) {
                out += '=';
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out.push_back(static_cast<char>(c));
            }
            column += width;
        }
        if (last) break;
        out += "\r\n";
        start = end + 2;
    }
    return out;
}

}  // namespace outlark
