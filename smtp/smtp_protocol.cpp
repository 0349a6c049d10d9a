#include "smtp/smtp_protocol.h"

namespace outlark {

bool HasLineBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos;
}

BuiltCommand BuildCommandLine(SmtpCommand command, LineForm form, std::string_view argument) {
    BuiltCommand built;
    if (form != LineForm::kBare && HasLineBreak(argument)) {
        built.error = CommandLineError::kLineBreak;
        return built;
    }
    std::string_view word = kSmtpCommandTable[command];
    switch (form) {
        case LineForm::kWithArgument:
            built.line.append(word).append(" ").append(argument);
            break;
        case LineForm::kAddress:
            built.line.append(word).append("<").append(argument).append(">");
            break;
        case LineForm::kBare:
            built.line.append(word);
            break;
    }
    built.line += "\r\n";
    if (built.line.size() > kMaxCommandLine) {
        built.line.clear();
        built.error = CommandLineError::kTooLong;
    }
    return built;
}

std::string_view CommandName(SmtpCommand command) {
    std::string_view word = kSmtpCommandTable[command];
    if (word.ends_with(':')) word.remove_suffix(1);
    return word;
}

mailcore::FailureKind ReplyFailureKind(std::string_view reply) {
    auto digit = [&](std::size_t i) { return reply.size() > i && reply[i] >= '0' && reply[i] <= '9'; };
    const bool coded =
        digit(0) && digit(1) && digit(2) &&
        (reply.size() == 3 || reply[3] == ' ' || reply[3] == '-' || reply[3] == '\r' || reply[3] == '\n');
    return coded ? mailcore::FailureKind::NegativeReply : mailcore::FailureKind::MalformedReply;
}

bool ReplyHasCode(std::string_view reply, SmtpReply code) {
    return reply.size() >= 3 && reply.substr(0, 3) == kSmtpReplyTable[code];
}

std::vector<std::string> ParseReplyLines(std::string_view reply) {
    std::vector<std::string> items;
    size_t pos = 0;
    while (true) {
        size_t cr = reply.find('\r', pos);
        if (cr == reply.npos) break;
        std::string_view line = reply.substr(pos, cr - pos);
        if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        } else {
            line = line.size() < 4 ? std::string_view() : line.substr(4);
        }
        items.emplace_back(line);
        // The next line starts after the LF that follows the CR (or right after a bare CR).
        pos = cr + 1;
        if (pos < reply.size() && reply[pos] == '\n') ++pos;
    }
    return items;
}

}  // namespace outlark
