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
                                  FieldConverter& convert) {
    std::vector<Recipient> out;
    out.reserve(list.size());
    for (const MailAddress& entry : list)
        out.push_back({convert(entry.name, field), convert(entry.address, field)});
    return out;
}

bool IsFlag(std::int32_t value) { return value == 0 || value == 1; }

}  // namespace

mailcore::Result<ComposedMail> ComposeMail(const MailDraft& draft, const ComposeOptions& options) {
    if (!IsFlag(options.type) || !IsFlag(options.encode) || !IsFlag(options.header8bit) ||
        !IsFlag(options.charset) || options.priority < 1 || options.priority > 5) {
        return mailcore::Failure{mailcore::FailureKind::BadArgument,
                                 0,
                                 {},
                                 "type, encode, header8bit and charset take 0 or 1, priority 1 to 5"};
    }
    try {
        FieldConverter convert(options.charset == kCharsetUtf8);
        ComposedMessage message;
        message.extra_headers = {std::string(OneShotMail{}.mailer),
                                 "X-Priority: " + std::to_string(options.priority)};
        for (const std::string& header : draft.extraHeaders)
            message.extra_headers.push_back(convert(header, "header"));
        if (draft.from)
            message.from = Recipient{convert(draft.from->name, "From"), convert(draft.from->address, "From")};
        message.to = Recipients(draft.to, "To", convert);
        message.cc = Recipients(draft.cc, "Cc", convert);
        message.bc = Recipients(draft.bcc, "Bc", convert);
        if (draft.subject) message.subject = convert(*draft.subject, "Subject");
        if (draft.replyTo) message.reply_to = convert(*draft.replyTo, "Reply-To");
        for (const std::string& path : draft.attachments)
            message.attachments.push_back(convert(path, "attachment path"));
        message.type = options.type;
        message.encode = options.encode == 1 ? kEncodeBase64 : kEncode7bit;
        message.header8bit = options.header8bit;
        message.width = options.width;
        message.charset = options.charset;
        std::string body = convert(draft.body, "body");
        return ComposedMail{AsTransmitted(ComposeMessage(message, body)), convert.TakeWarnings()};
    } catch (const std::exception& e) {
        return mailcore::Failure{mailcore::FailureKind::Internal, 0, {}, std::string("compose: ") + e.what()};
    }
}

}  // namespace outlark
