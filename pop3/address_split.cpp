#include "pop3/address_split.h"

#include <string>

namespace inlark {
namespace {

constexpr auto npos = std::string_view::npos;

std::size_t LineEnd(std::string_view text, std::size_t pos) {
    std::size_t e = text.find_first_of("\r\n", pos);
    return e == npos ? text.size() : e;
}

std::string_view LessOneTrailingSpace(std::string_view s) {
    if (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool IsContinuation(std::string_view text, std::size_t line_end) {
    std::size_t next = line_end;
    if (next < text.size() && text[next] == '\r') ++next;
    if (next < text.size() && text[next] == '\n') ++next;
    return next > line_end && next < text.size() && (text[next] == ' ' || text[next] == '\t');
}

// Text between `open` at or after `from` and the next `close`; the line end closes an unclosed pair.
std::string_view Between(std::string_view line, std::size_t open_pos, char close, std::size_t* end) {
    std::size_t c = line.find(close, open_pos + 1);
    if (c == npos) {
        *end = line.size();
        return line.substr(open_pos + 1);
    }
    *end = c + 1;
    return line.substr(open_pos + 1, c - open_pos - 1);
}

}  // namespace

SplitResult SplitAddress(std::string_view text, std::size_t pos) {
    SplitResult r;
    if (pos > text.size()) pos = text.size();
    const std::string_view line = text.substr(pos, LineEnd(text, pos) - pos);
    const std::size_t at = line.find('@');
    const std::size_t lt = line.find('<');
    const std::size_t quote = line.find('"');
    const std::size_t paren = line.find('(');
    std::size_t end = line.size();

    auto plain = [&] {
        std::size_t stop = line.find_first_of(" \t");
        if (stop == npos) stop = line.size();
        std::string_view a = line.substr(0, stop);
        // The comma that ends the token is where the search for the next address starts.
        if (!a.empty() && a.back() == ',') a.remove_suffix(1);
        end = a.size();
        r.entry.address = std::string(a);
    };
    const bool lt_before_at = lt != npos && (at == npos || lt < at);

    if (at == npos && lt == npos && quote == npos && paren == npos) {
        plain();
    } else if (quote != npos && (lt == npos || quote < lt)) {
        std::size_t after_name = 0;
        r.entry.nick_name = std::string(Between(line, quote, '"', &after_name));
        end = after_name;
        std::size_t open = line.find('<', after_name);
        if (open != npos) r.entry.address = std::string(Between(line, open, '>', &end));
    } else if (paren != npos) {
        r.entry.address = std::string(LessOneTrailingSpace(line.substr(0, paren)));
        r.entry.nick_name = std::string(Between(line, paren, ')', &end));
    } else if (lt_before_at && lt != 0) {
        r.entry.nick_name = std::string(LessOneTrailingSpace(line.substr(0, lt)));
        r.entry.address = std::string(Between(line, lt, '>', &end));
    } else if (lt_before_at) {
        r.entry.address = std::string(Between(line, lt, '>', &end));
    } else {
        plain();
    }
    r.end = pos + end;
    return r;
}

std::vector<AddressEntry> SplitAddressList(std::string_view text, std::size_t pos) {
    std::vector<AddressEntry> list;
    while (pos < text.size()) {
        SplitResult r = SplitAddress(text, pos);
        list.push_back(std::move(r.entry));
        const std::size_t line_end = LineEnd(text, pos);
        const std::size_t comma = text.substr(0, line_end).find(',', r.end);
        if (comma == npos) break;
        std::size_t next = text.substr(0, line_end).find(' ', comma);
        if (next == npos) {
            // A list folded right after its comma goes on at the next line, if that line belongs to the
            // field.
            if (!IsContinuation(text, line_end)) break;
            next = line_end;
        }
        // Skip white space, but never into the next header line.
        while (next < text.size()) {
            char c = text[next];
            if (c == ' ' || c == '\t') {
                ++next;
            } else if (c == '\r' || c == '\n') {
                std::size_t le = next;
                if (!IsContinuation(text, le)) return list;
                next += (c == '\r' && le + 1 < text.size() && text[le + 1] == '\n') ? 2 : 1;
            } else {
                break;
            }
        }
        if (next <= pos || next >= text.size()) break;
        pos = next;
    }
    return list;
}

}  // namespace inlark
