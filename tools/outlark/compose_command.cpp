#include "compose_command.h"

#include <cstdio>
#include <iostream>

#include "outlark/composer.h"
#include "text_warnings.h"

namespace outlark_tool {
namespace {

// "Name <address>" or a bare address.
outlark::MailAddress ParseAddress(const std::string& text) {
    size_t open = text.rfind('<');
    if (!text.empty() && text.back() == '>' && open != std::string::npos) {
        std::string name = text.substr(0, open);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        return {text.substr(open + 1, text.size() - open - 2), name};
    }
    return {text, ""};
}

std::vector<outlark::MailAddress> ParseAddresses(const std::vector<std::string>& texts) {
    std::vector<outlark::MailAddress> list;
    for (const std::string& text : texts) list.push_back(ParseAddress(text));
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
    outlark::MailDraft draft;
    draft.extraHeaders = headers;
    if (!o.from.empty()) draft.from = ParseAddress(o.from);
    draft.to = ParseAddresses(o.to);
    draft.cc = ParseAddresses(cc);
    draft.bcc = ParseAddresses(bc);
    // As in a send: an empty subject writes no Subject line.
    if (o.subject && !o.subject->empty()) draft.subject = *o.subject;
    draft.replyTo = reply_to;
    draft.attachments = o.attachments;
    draft.body = std::move(*body);
    auto composed =
        outlark::ComposeMail(draft, {o.type, o.encode, o.header8bit, o.width, o.priority, o.utf8 ? 1 : 0});
    if (!composed) {
        std::cerr << "outlark: " << mailcore::FailureText(composed.error()) << "\n";
        return 1;
    }
    PrintWarnings(composed->warnings);
    std::fwrite(composed->bytes.data(), 1, composed->bytes.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace outlark_tool
