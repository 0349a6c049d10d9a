#include "tools/outlark/compose_command.h"

#include <cstdio>
#include <iostream>

#include "mailcore/wide_text.h"
#include "smtp/compose_message.h"

namespace outlark_tool {
namespace {

// "Name <address>" or a bare address, as Shift_JIS.
outlark::Recipient ParseRecipient(const std::string& text) {
    size_t open = text.rfind('<');
    if (!text.empty() && text.back() == '>' && open != std::string::npos) {
        std::string name = text.substr(0, open);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        return {mailcore::Utf8ToCp932(name),
                mailcore::Utf8ToCp932(text.substr(open + 1, text.size() - open - 2))};
    }
    return {"", mailcore::Utf8ToCp932(text)};
}

std::vector<outlark::Recipient> ParseRecipients(const std::vector<std::string>& texts) {
    std::vector<outlark::Recipient> list;
    for (const std::string& text : texts) list.push_back(ParseRecipient(text));
    return list;
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
    for (const std::string& header : headers) message.extra_headers.push_back(mailcore::Utf8ToCp932(header));
    if (!o.from.empty()) message.from = ParseRecipient(o.from);
    message.to = ParseRecipients(o.to);
    message.cc = ParseRecipients(cc);
    message.bc = ParseRecipients(bc);
    if (o.subject) message.subject = mailcore::Utf8ToCp932(*o.subject);
    if (reply_to) message.reply_to = mailcore::Utf8ToCp932(*reply_to);
    for (const std::string& path : o.attachments) message.attachments.push_back(mailcore::Utf8ToCp932(path));
    message.type = o.type;
    message.encode = o.encode == 1 ? outlark::kEncodeBase64 : outlark::kEncode7bit;
    message.header8bit = o.header8bit;
    message.width = o.width;

    std::string text = outlark::ComposeMessage(message, mailcore::Utf8ToCp932(*body));
    // The closing "." belongs to the SMTP data, not to the message.
    if (text.ends_with("\r\n.\r\n")) text.resize(text.size() - 3);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace outlark_tool
