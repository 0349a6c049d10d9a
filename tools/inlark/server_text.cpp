#include "tools/inlark/server_text.h"

#include <limits>

namespace inlark_tool {

namespace {

// Length of the valid UTF-8 sequence at `i`, or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t point = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        point = (point << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    if (overlong || surrogate || point > 0x10FFFF) return 0;
    return length;
}

bool IsControl(std::string_view sequence) {
    if (sequence.size() == 1) {
        const auto c = static_cast<unsigned char>(sequence[0]);
        return (c < 0x20 && c != '\t') || c == 0x7F;
    }
    // C1: U+0080..U+009F
    return sequence.size() == 2 && static_cast<unsigned char>(sequence[0]) == 0xC2 &&
           static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

}  // namespace

std::string TerminalSafe(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t length = Utf8Length(utf8, i);
        if (length == 0) {
            out += '?';
            ++i;
            continue;
        }
        const std::string_view sequence = utf8.substr(i, length);
        if (IsControl(sequence)) {
            out += '?';
        } else {
            out += sequence;
        }
        i += length;
    }
    return out;
}

std::string LinesForTerminal(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        std::size_t end = utf8.find('\n');
        std::string_view line = utf8.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        out += TerminalSafe(line);
        out += '\n';
        if (end == std::string_view::npos) break;
        utf8.remove_prefix(end + 1);
    }
    return out;
}

std::optional<std::uint64_t> SecondNumber(std::string_view reply) {
    if (!reply.starts_with("+OK ")) return std::nullopt;
    std::size_t i = 4;
    while (i < reply.size() && reply[i] == ' ') ++i;
    const std::size_t firstStart = i;
    while (i < reply.size() && reply[i] >= '0' && reply[i] <= '9') ++i;
    if (i == firstStart || i >= reply.size() || reply[i] != ' ') return std::nullopt;
    while (i < reply.size() && reply[i] == ' ') ++i;
    if (i >= reply.size() || reply[i] < '0' || reply[i] > '9') return std::nullopt;
    std::uint64_t value = 0;
    for (; i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(reply[i] - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace inlark_tool
