#include "pop3/mime_params.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "mailcore/charset_text.h"
#include "mailcore/header_text.h"
#include "pop3/text_lines.h"

namespace inlark {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string PercentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        int hi = 0;
        int lo = 0;
        if (s[i] == '%' && i + 2 < s.size() && (hi = HexValue(s[i + 1])) >= 0 &&
            (lo = HexValue(s[i + 2])) >= 0) {
            out += static_cast<char>(hi << 4 | lo);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// One RFC 2231 piece: "name*N" or "name*N*" or "name*".
struct Piece {
    int index = 0;
    bool extended = false;
    std::string value;
};

}  // namespace

std::string MimeField::Text(const std::string& name) const {
    if (auto it = text_params.find(name); it != text_params.end()) return it->second;
    auto it = params.find(name);
    return it == params.end() ? std::string() : mailcore::DecodeHeaderUtf8(it->second);
}

MimeField ParseMimeField(std::string_view value) {
    MimeField f;
    std::size_t semi = value.find(';');
    f.value = Lower(Trim(value.substr(0, semi)));
    std::map<std::string, std::vector<Piece>> pieces;
    std::size_t pos = semi == std::string_view::npos ? value.size() : semi + 1;
    while (pos < value.size()) {
        while (pos < value.size() && (IsBlank(value[pos]) || value[pos] == ';')) ++pos;
        const std::size_t eq = value.find_first_of("=;", pos);
        if (eq == std::string_view::npos || value[eq] == ';') {
            pos = eq == std::string_view::npos ? value.size() : eq + 1;
            continue;
        }
        std::string attr = Lower(Trim(value.substr(pos, eq - pos)));
        pos = eq + 1;
        while (pos < value.size() && IsBlank(value[pos])) ++pos;
        std::string v;
        if (pos < value.size() && value[pos] == '"') {
            ++pos;
            while (pos < value.size() && value[pos] != '"') {
                if (value[pos] == '\\' && pos + 1 < value.size()) ++pos;
                v += value[pos++];
            }
            ++pos;  // the closing quote; an unclosed value runs to the end
        } else {
            const std::size_t stop = value.find(';', pos);
            v = std::string(Trim(
                value.substr(pos, stop == std::string_view::npos ? std::string_view::npos : stop - pos)));
            pos = stop == std::string_view::npos ? value.size() : stop;
        }
        const std::size_t star = attr.find('*');
        if (star == std::string::npos) {
            f.params.emplace(std::move(attr), std::move(v));
            continue;
        }
        Piece p;
        std::string_view rest = std::string_view(attr).substr(star + 1);
        p.extended = rest.ends_with('*') || rest.empty();
        if (rest.ends_with('*')) rest.remove_suffix(1);
        p.index = rest.empty() ? 0 : std::atoi(std::string(rest).c_str());
        p.value = std::move(v);
        pieces[attr.substr(0, star)].push_back(std::move(p));
    }
    for (auto& [name, list] : pieces) {
        std::stable_sort(list.begin(), list.end(),
                         [](const Piece& a, const Piece& b) { return a.index < b.index; });
        std::string charset;
        std::string bytes;
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string_view v = list[i].value;
            if (list[i].extended) {
                if (i == 0) {
                    // charset'language'value
                    const std::size_t q1 = v.find('\'');
                    const std::size_t q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
                    if (q2 != std::string_view::npos) {
                        charset = std::string(v.substr(0, q1));
                        v = v.substr(q2 + 1);
                    }
                }
                bytes += PercentDecode(v);
            } else {
                bytes += v;
            }
        }
        f.params.emplace(name, bytes);
        f.text_params[name] = mailcore::TextToUtf8(bytes, charset);
    }
    return f;
}

}  // namespace inlark
