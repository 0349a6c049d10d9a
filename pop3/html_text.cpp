#include "pop3/html_text.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "pop3/text_lines.h"

namespace inlark {
namespace {

constexpr std::array<std::string_view, 27> kBlockTags = {
    "p",  "div", "br",    "li",      "tr",      "h1",      "h2",         "h3",     "h4",
    "h5", "h6",  "table", "ul",      "ol",      "hr",      "blockquote", "pre",    "dt",
    "dd", "dl",  "title", "address", "section", "article", "header",     "footer", "center"};
constexpr std::array<std::string_view, 4> kHiddenTags = {"script", "style", "head", "title"};

constexpr std::array<std::pair<std::string_view, char32_t>, 24> kEntities = {{
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},    {"apos", '\''},
    {"nbsp", 0xA0},    {"copy", 0xA9},    {"reg", 0xAE},     {"yen", 0xA5},    {"hellip", 0x2026},
    {"mdash", 0x2014}, {"ndash", 0x2013}, {"laquo", 0xAB},   {"raquo", 0xBB},  {"lsquo", 0x2018},
    {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D}, {"middot", 0xB7}, {"times", 0xD7},
    {"trade", 0x2122}, {"euro", 0x20AC},  {"bull", 0x2022},  {"deg", 0xB0},
}};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The entity at `pos` ("&"): its character and length, or length 0 when it is none we know.
std::pair<char32_t, std::size_t> Entity(std::string_view h, std::size_t pos) {
    // Entity names are short; looking further would rescan the text at every "&".
    const std::size_t semi_at = h.substr(pos, 12).find(';');
    if (semi_at == std::string_view::npos) return {0, 0};
    const std::size_t semi = pos + semi_at;
    std::string_view name = h.substr(pos + 1, semi - pos - 1);
    if (name.starts_with('#') && name.size() > 1) {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const std::string digits(name.substr(hex ? 2 : 1));
        if (digits.empty()) return {0, 0};
        char* end = nullptr;
        const unsigned long v = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
        if (*end != '\0') return {0, 0};
        return {static_cast<char32_t>(v > 0x10FFFF ? 0xFFFD : v), semi - pos + 1};
    }
    for (const auto& [n, cp] : kEntities) {
        if (n == name) return {cp, semi - pos + 1};
    }
    return {0, 0};
}

std::string TagName(std::string_view tag) {
    std::size_t i = tag.starts_with('/') ? 1 : 0;
    std::string name;
    while (i < tag.size() && tag[i] != ' ' && tag[i] != '\t' && tag[i] != '\r' && tag[i] != '\n' &&
           tag[i] != '/' && tag[i] != '>') {
        name += AsciiLower(tag[i++]);
    }
    return name;
}

template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& list, std::string_view name) {
    for (std::string_view n : list) {
        if (n == name) return true;
    }
    return false;
}

}  // namespace

std::string HtmlToText(std::string_view h) {
    std::string out;
    out.reserve(h.size() / 2);
    bool pending_blank = false;
    auto line_break = [&] {
        while (!out.empty() && out.back() == ' ') out.pop_back();
        out += "\r\n";
        pending_blank = false;
    };
    auto text_char = [&](char c) {
        if (pending_blank && !out.empty() && !out.ends_with("\n")) out += ' ';
        pending_blank = false;
        out += c;
    };
    for (std::size_t i = 0; i < h.size();) {
        const char c = h[i];
        if (c == '<') {
            if (StartsWith(h, i, "<!--")) {
                const std::size_t end = h.find("-->", i + 4);
                i = end == std::string_view::npos ? h.size() : end + 3;
                continue;
            }
            const std::size_t close = h.find('>', i);
            if (close == std::string_view::npos) break;
            const std::string_view tag = h.substr(i + 1, close - i - 1);
            const std::string name = TagName(tag);
            i = close + 1;
            if (!tag.starts_with('/') && OneOf(kHiddenTags, name)) {
                // Skip to the matching end tag.
                const std::string end_tag = "</" + name;
                std::size_t p = i;
                while (p < h.size() && !StartsWithLower(h, p, end_tag)) p = h.find('<', p + 1);
                if (p >= h.size()) break;
                const std::size_t gt = h.find('>', p);
                i = gt == std::string_view::npos ? h.size() : gt + 1;
                if (name == "title") line_break();
                continue;
            }
            if (OneOf(kBlockTags, name) && (name == "br" || !out.empty())) {
                if (name == "br" || !out.ends_with("\r\n")) line_break();
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            pending_blank = true;
            ++i;
            continue;
        }
        if (c == '&') {
            const auto [cp, length] = Entity(h, i);
            if (length > 0) {
                std::string s;
                AppendUtf8(s, cp);
                for (char b : s) text_char(b);
                i += length;
                continue;
            }
        }
        text_char(c);
        ++i;
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\n' || out.back() == '\r')) out.pop_back();
    if (!out.empty()) out += "\r\n";
    return out;
}

}  // namespace inlark
