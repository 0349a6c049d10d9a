#include "smtp/stuff_dots.h"

namespace outlark {

std::string StuffDots(std::string_view text) {
    constexpr std::string_view kClosing = ".\r\n";
    bool closed =
        text.ends_with(kClosing) && (text.size() == kClosing.size() || text[text.size() - 4] == '\n');
    if (closed) text.remove_suffix(kClosing.size());

    std::string out;
    out.reserve(text.size() + text.size() / 64 + kClosing.size());
    bool line_start = true;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
            line_start = true;
            continue;
        }
        if (line_start && c == '.') out.push_back('.');
        out.push_back(c);
        line_start = false;
    }
    if (closed) out += kClosing;
    return out;
}

}  // namespace outlark

namespace outlark {

std::string AsTransmitted(std::string_view composed) {
    std::string stuffed = StuffDots(composed);
    if (stuffed.ends_with("\r\n.\r\n")) stuffed.resize(stuffed.size() - 3);
    std::string out;
    out.reserve(stuffed.size());
    bool line_start = true;
    for (size_t i = 0; i < stuffed.size(); ++i) {
        if (line_start && stuffed[i] == '.') ++i;
        if (i == stuffed.size()) break;
        out.push_back(stuffed[i]);
        line_start = stuffed[i] == '\n';
    }
    return out;
}

std::string WithClosingLine(std::string_view message) {
    std::string text;
    text.reserve(message.size() + 5);
    text.append(message);
    if (!text.empty() && text.back() != '\n' && text.back() != '\r') text += "\r\n";
    text += ".\r\n";
    return text;
}

}  // namespace outlark
