#include "smtp/smtp_session.h"

#include "smtp/compose_message.h"
#include "smtp/stuff_dots.h"

namespace outlark {
namespace {

constexpr size_t kLastReplyRoom = 255;

struct CommandSpec {
    LineForm form;
    SmtpReply expected;
};

CommandSpec SpecOf(SmtpCommand command) {
    switch (command) {
        case kHelo:
        case kEhlo:
        case kVrfy:
        case kExpn:
            return {LineForm::kWithArgument, kReply250};
        case kHelp:
            return {LineForm::kWithArgument, kReply214};
        case kMail:
        case kRcpt:
            return {LineForm::kAddress, kReply250};
        case kQuit:
            return {LineForm::kBare, kReply221};
        default:
            return {LineForm::kBare, kReply250};
    }
}

std::int32_t ErrorResult(CommandLineError error) {
    return error == CommandLineError::kLineBreak ? kCommandBadArgument : kCommandFailed;
}

}  // namespace

std::int32_t RunLineCommand(SmtpTransport& transport, SmtpCommand command, std::string_view argument,
                            SmtpResults& results) {
    CommandSpec spec = SpecOf(command);
    BuiltCommand built = BuildCommandLine(command, spec.form, argument);
    if (built.error != CommandLineError::kNone) return ErrorResult(built.error);
    if (!transport.Send(built.line)) return kCommandFailed;
    std::optional<std::string> reply = transport.ReadLine();
    if (!reply) return kCommandFailed;
    results.last_reply = std::move(*reply);
    return ReplyHasCode(results.last_reply, spec.expected) ? kCommandOk : kCommandFailed;
}

std::int32_t RunListCommand(SmtpTransport& transport, SmtpCommand command, std::string_view argument,
                            SmtpResults& results, bool lines_on_failure) {
    results.reply_lines.clear();
    CommandSpec spec = SpecOf(command);
    BuiltCommand built = BuildCommandLine(command, spec.form, argument);
    if (built.error != CommandLineError::kNone) return ErrorResult(built.error);
    if (!transport.Send(built.line)) return kCommandFailed;
    std::optional<std::string> reply = transport.ReadFinalLine();
    if (!reply) return kCommandFailed;
    results.last_reply = reply->substr(0, kLastReplyRoom);
    bool ok = ReplyHasCode(results.last_reply, spec.expected);
    if (ok || lines_on_failure) results.reply_lines = ParseReplyLines(*reply);
    return ok ? kCommandOk : kCommandFailed;
}

std::int32_t RunDataExchange(SmtpTransport& transport, std::string_view message_text, SmtpResults& results) {
    if (!transport.Send(BuildCommandLine(kData, LineForm::kBare, {}).line)) return kCommandFailed;
    std::optional<std::string> go_ahead = transport.ReadLine();
    if (!go_ahead) return kCommandFailed;
    results.last_reply = std::move(*go_ahead);
    if (!ReplyHasCode(results.last_reply, kReply354)) return kCommandFailed;
    if (!transport.Send(StuffDots(message_text))) return kCommandFailed;
    std::optional<std::string> accepted = transport.ReadLine();
    if (!accepted) return kCommandFailed;
    results.last_reply = std::move(*accepted);
    return ReplyHasCode(results.last_reply, kReply250) ? kCommandOk : kCommandFailed;
}

ComposedMessage OneShotMessage(const OneShotMail& mail) {
    ComposedMessage message;
    message.from = Recipient{"", mail.from};
    message.to = {Recipient{"", mail.to}};
    if (!mail.subject.empty()) message.subject = mail.subject;
    message.extra_headers = {std::string(mail.mailer), "X-Priority: " + std::to_string(mail.priority)};
    if (!mail.filename.empty()) message.attachments = {mail.filename};
    message.type = mail.type;
    message.encode = mail.encode;
    message.header8bit = mail.header8bit;
    message.width = mail.width;
    message.charset = mail.charset;
    return message;
}

std::int32_t RunSendSteps(SmtpTransport& transport, const OneShotMail& mail, std::string* failed_reply) {
    SmtpResults results;
    auto step = [&](SmtpCommand command, std::string_view argument) {
        // A step that gets no reply must not show the one before it.
        results.last_reply.clear();
        return RunLineCommand(transport, command, argument, results) == kCommandOk;
    };
    auto fail = [&](std::int32_t status) {
        if (failed_reply) *failed_reply = std::move(results.last_reply);
        return status;
    };
    if (!step(kHelo, "Outlark")) return fail(kSendHeloRefused);
    if (!step(kMail, mail.from)) return fail(kSendMailRefused);
    if (!step(kRcpt, mail.to)) return fail(kSendRcptRefused);
    std::string text = ComposeMessage(OneShotMessage(mail), mail.body);
    results.last_reply.clear();
    if (RunDataExchange(transport, text, results) != kCommandOk) return fail(kSendDataRefused);
    (void)step(kQuit, {});
    return kSendOk;
}

std::string_view SendStatusText(std::int32_t status) { return mailcore::SendStatusText(status); }

}  // namespace outlark
