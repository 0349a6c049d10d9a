#include "outlark/composer.h"

#include <exception>
#include <string>

#include "smtp/compose_message.h"
#include "smtp/smtp_session.h"
#include "smtp/stuff_dots.h"
#include "smtp/utf8_fields.h"

namespace outlark {
namespace {

std::vector<Recipient> Recipients(const std::vector<MailAddress>& list, std::string_view field,
                                  FieldConverter& cp932) {
    std::vector<Recipient> out;
    out.reserve(list.size());
    for (const MailAddress& entry : list)
        out.push_back({cp932(entry.name, field), cp932(entry.address, field)});
    return out;
}

bool IsFlag(std::int32_t value) { return value == 0 || value == 1; }

}  // namespace

mailcore::Result<ComposedMail> ComposeMail(const MailDraft& draft, const ComposeOptions& options) {
    if (!IsFlag(options.type) || !IsFlag(options.encode) || !IsFlag(options.header8bit) ||
        options.priority < 1 || options.priority > 5) {
        return mailcore::Failure{mailcore::FailureKind::BadArgument,
                                 0,
                                 {},
                                 "type, encode and header8bit take 0 or 1, priority 1 to 5"};
    }
    try {
        FieldConverter cp932;
        ComposedMessage message;
        message.extra_headers = {std::string(OneShotMail{}.mailer),
                                 "X-Priority: " + std::to_string(options.priority)};
        for (const std::string& header : draft.extraHeaders)
            message.extra_headers.push_back(cp932(header, "header"));
        if (draft.from)
            message.from = Recipient{cp932(draft.from->name, "From"), cp932(draft.from->address, "From")};
        message.to = Recipients(draft.to, "To", cp932);
        message.cc = Recipients(draft.cc, "Cc", cp932);
        message.bc = Recipients(draft.bcc, "Bc", cp932);
        if (draft.subject) message.subject = cp932(*draft.subject, "Subject");
        if (draft.replyTo) message.reply_to = cp932(*draft.replyTo, "Reply-To");
        for (const std::string& path : draft.attachments)
            message.attachments.push_back(cp932(path, "attachment path"));
        message.type = options.type;
        message.encode = options.encode == 1 ? kEncodeBase64 : kEncode7bit;
        message.header8bit = options.header8bit;
        message.width = options.width;
        std::string body = cp932(draft.body, "body");
        return ComposedMail{AsTransmitted(ComposeMessage(message, body)), cp932.TakeWarnings()};
    } catch (const std::exception& e) {
        return mailcore::Failure{mailcore::FailureKind::Internal, 0, {}, std::string("compose: ") + e.what()};
    }
}

}  // namespace outlark
