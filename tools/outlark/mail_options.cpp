#include "mail_options.h"

#include <fstream>
#include <iostream>
#include <iterator>

namespace outlark_tool {

void AddMailOptions(CLI::App& command, MailOptions& o) {
    command.add_option("-f,--from", o.from, "Sender address, or \"Name <address>\" (compose)");
    command.add_option("-t,--to", o.to, "Recipient address, or \"Name <address>\" (compose: repeatable)");
    command.add_option("-s,--subject", o.subject, "Subject (UTF-8)");
    command.add_option("-b,--body", o.body_file, "File holding the UTF-8 body; - for standard input")
        ->capture_default_str();
    command.add_option("-a,--attach", o.attachments, "File to attach (repeatable for compose)");
    command.add_option("--type", o.type, "0 MIME message, 1 plain message with uuencoded attachments")
        ->check(CLI::Range(0, 1))
        ->capture_default_str();
    command.add_option("--encode", o.encode, "Body transfer encoding: 0 7bit, 1 base64")
        ->check(CLI::Range(0, 1))
        ->capture_default_str();
    command.add_option("--header8bit", o.header8bit, "1 plain ISO-2022-JP headers, 0 encoded words")
        ->check(CLI::Range(0, 1))
        ->capture_default_str();
    command.add_option("--width", o.width, "Folding width of encoded header words")->capture_default_str();
    command.add_option("--priority", o.priority, "X-Priority, 1 to 5")
        ->check(CLI::Range(1, 5))
        ->capture_default_str();
    command.add_flag(
        "--utf8", o.utf8,
        "Write the mail in UTF-8 instead of ISO-2022-JP: every character kept, body quoted-printable "
        "(--encode 0) or base64 (--encode 1), header texts as UTF-8 encoded words whatever "
        "--header8bit says, attachment names also as RFC 2231 filename*");
}

namespace {

// Mail text breaks lines with CR LF; files written here usually break them with LF alone.
std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace

std::optional<std::string> ReadBody(const std::string& body_file) {
    if (body_file == "-") {
        std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
        if (std::cin.bad()) return std::nullopt;
        return WithCrLf(text);
    }
    std::ifstream in(body_file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return WithCrLf(text);
}

}  // namespace outlark_tool
