#include "tools/outlark/compose_command.h"

#include <cstdio>
#include <iostream>

#include "smtp/compose_message.h"
#include "smtp/stuff_dots.h"
#include "tools/outlark/cp932_field.h"

namespace outlark_tool {
namespace {

// "Name <address>" or a bare address, as Shift_JIS.
outlark::Recipient ParseRecipient(const std::string& text, std::string_view field) {
    size_t open = text.rfind('<');
    if (!text.empty() && text.back() == '>' && open != std::string::npos) {
        std::string name = text.substr(0, open);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        return {FieldToCp932(name, field),
                FieldToCp932(text.substr(open + 1, text.size() - open - 2), field)};
    }
    return {"", FieldToCp932(text, field)};
}

std::vector<outlark::Recipient> ParseRecipients(const std::vector<std::string>& texts,
                                                std::string_view field) {
    std::vector<outlark::Recipient> list;
    for (const std::string& text : texts) list.push_back(ParseRecipient(text, field));
    return list;
}

// What the server receives in DATA, dot-unstuffed: the transport writes every bare CR or LF as CR LF.
std::string AsTransmitted(const std::string& composed) {
    std::string stuffed = outlark::StuffDots(composed);
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

}  // namespace

int RunCompose(const MailOptions& o, const std::vector<std::string>& headers,
               const std::vector<std::string>& cc, const std::vector<std::string>& bc,
               const std::optional<std::string>& reply_to) {
    std::optional<std::string> body = ReadBody(o.body_file);
    if (!body) {
        std::cerr << "outlark: cannot read the body from " << o.body_file << "\n";
        return 1;
    }
    outlark::ComposedMessage message;
    message.extra_headers.push_back("X-Mailer: Outlark Version 1.6.2.1");
    message.extra_headers.push_back("X-Priority: " + std::to_string(o.priority));
    for (const std::string& header : headers) message.extra_headers.push_back(FieldToCp932(header, "header"));
    if (!o.from.empty()) message.from = ParseRecipient(o.from, "From");
    message.to = ParseRecipients(o.to, "To");
    message.cc = ParseRecipients(cc, "Cc");
    message.bc = ParseRecipients(bc, "Bc");
    // As in a send: an empty subject writes no Subject line.
    if (o.subject && !o.subject->empty()) message.subject = FieldToCp932(*o.subject, "Subject");
    if (reply_to) message.reply_to = FieldToCp932(*reply_to, "Reply-To");
    for (const std::string& path : o.attachments)
        message.attachments.push_back(FieldToCp932(path, "attachment path"));
    message.type = o.type;
    message.encode = o.encode == 1 ? outlark::kEncodeBase64 : outlark::kEncode7bit;
    message.header8bit = o.header8bit;
    message.width = o.width;

    std::string text = AsTransmitted(outlark::ComposeMessage(message, FieldToCp932(*body, "body")));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace outlark_tool
