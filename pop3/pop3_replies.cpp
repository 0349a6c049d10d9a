#include "pop3/pop3_replies.h"

#include <climits>
#include <cstdio>

#include "mailcore/base64_encode.h"

namespace inlark {

namespace {

constexpr std::string_view kWords[] = {"USER", "PASS", "STAT", "LIST", "RETR", "DELE", "NOOP",
                                       "RSET", "QUIT", "TOP",  "LAST", "UIDL", "STLS"};

std::string_view Word(Pop3Word word) { return kWords[static_cast<int>(word)]; }

void AppendNumber(std::string& line, std::int32_t number) {
    char digits[16];
    int n = std::snprintf(digits, sizeof digits, "%d", number);
    line.append(digits, static_cast<std::size_t>(n));
}

// Where the second field of a "+OK n ..." reply starts: after the first space from the fifth byte on.
std::optional<std::size_t> SecondField(std::string_view reply) {
    for (std::size_t i = 4; i < reply.size(); ++i) {
        if (reply[i] == ' ') return i + 1;
        if (reply[i] == '\r' || reply[i] == '\n') return std::nullopt;
    }
    return std::nullopt;
}

std::string_view After(std::string_view text, std::size_t offset) {
    return offset < text.size() ? text.substr(offset) : std::string_view();
}

}  // namespace

std::string DecimalText(std::int32_t number) {
    std::string text;
    AppendNumber(text, number);
    return text;
}

std::string CommandLine(Pop3Word word) {
    std::string line(Word(word));
    line += "\r\n";
    return line;
}

std::string CommandLine(Pop3Word word, std::int32_t number) {
    std::string line(Word(word));
    line += ' ';
    AppendNumber(line, number);
    line += "\r\n";
    return line;
}

std::string CommandLine(Pop3Word word, std::int32_t number, std::int32_t lines) {
    std::string line(Word(word));
    line += ' ';
    AppendNumber(line, number);
    line += ' ';
    AppendNumber(line, lines);
    line += "\r\n";
    return line;
}

std::string CommandLine(Pop3Word word, std::string_view text) {
    std::string line(Word(word));
    line += ' ';
    line += text;
    line += "\r\n";
    return line;
}

bool IsPositive(std::string_view reply) { return reply.substr(0, 3) == "+OK"; }

bool IsContinuation(std::string_view reply) {
    return reply.size() >= 2 && reply[0] == '+' && (reply[1] == ' ' || reply[1] == '\r' || reply[1] == '\n');
}

std::string PlainResponse(std::string_view user, std::string_view password) {
    std::string message;
    message.reserve(user.size() + password.size() + 2);
    message.push_back('\0');
    message += user;
    message.push_back('\0');
    message += password;
    return mailcore::Base64Encode(message);
}

std::int32_t LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) {
            value = static_cast<long long>(INT_MAX) + 1;  // enough to saturate either way
        }
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<std::int32_t>(value);
}

std::uint64_t LeadingSize(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10) return 0;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<ListEntry> ParseTwoNumbers(std::string_view reply) {
    auto second = SecondField(reply);
    if (!second) return std::nullopt;
    return ListEntry{LeadingNumber(After(reply, 4)), LeadingNumber(After(reply, *second)),
                     LeadingSize(After(reply, *second))};
}

std::optional<UidEntry> ParseNumberAndId(std::string_view reply) {
    auto second = SecondField(reply);
    if (!second) return std::nullopt;
    return UidEntry{LeadingNumber(After(reply, 4)),
                    std::string(After(reply, *second).substr(0, kMaxIdLength))};
}

ListEntry ParseSizeLine(std::string_view line) {
    auto space = line.find(' ');
    if (space == std::string_view::npos) return {LeadingNumber(line), 0, 0};
    return {LeadingNumber(line), LeadingNumber(After(line, space + 1)), LeadingSize(After(line, space + 1))};
}

UidEntry ParseIdLine(std::string_view line) {
    auto space = line.find(' ');
    return {LeadingNumber(line), space == std::string_view::npos
                                     ? std::string()
                                     : std::string(After(line, space + 1).substr(0, kMaxIdLength))};
}

bool IsEndLine(std::string_view line) { return line == ".\r\n" || line == ".\n"; }

}  // namespace inlark
