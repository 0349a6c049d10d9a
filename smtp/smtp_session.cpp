#include "smtp/smtp_session.h"

#include "smtp/compose_message.h"
#include "smtp/smtp_secure.h"
#include "smtp/stuff_dots.h"

namespace outlark {
namespace {

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

// A status line in the 256-byte buffer.
std::optional<std::string> ReadLine(mailcore::LineTransport& transport) {
    std::string reply;
    if (!transport.ReadReply(reply, mailcore::ReplyMode::OneLine, {}, kLastReplyRoom + 1))
        return std::nullopt;
    return reply;
}

// The reply, when it is what `expected` asks for; else recorded as a refusal.
bool Expected(const std::string& reply, SmtpReply expected, std::string_view detail, SmtpResults& results) {
    if (ReplyHasCode(reply, expected)) return true;
    RecordRefusal(reply, detail, results);
    return false;
}

}  // namespace

void RecordTransportFailure(mailcore::LineTransport& transport, std::string_view detail,
                            SmtpResults& results) {
    results.failure = transport.LastFailure();
    results.failure.detail = detail;
}

void RecordRefusal(std::string_view reply, std::string_view detail, SmtpResults& results) {
    results.failure = {};
    results.failure.kind = ReplyFailureKind(reply);
    results.failure.reply = reply.substr(0, reply.find_first_of("\r\n"));
    results.failure.detail = detail;
}

bool Sent(mailcore::LineTransport& transport, std::string_view text, std::string_view detail,
          SmtpResults& results) {
    if (transport.SendText(text) > 0) return true;
    RecordTransportFailure(transport, detail, results);
    return false;
}

std::optional<std::string> ReadFinalLine(mailcore::LineTransport& transport) {
    std::string reply;
    if (!transport.ReadReply(reply, mailcore::ReplyMode::UntilFinalLine)) return std::nullopt;
    return reply;
}

std::int32_t RunLineCommand(mailcore::LineTransport& transport, SmtpCommand command,
                            std::string_view argument, SmtpResults& results) {
    CommandSpec spec = SpecOf(command);
    BuiltCommand built = BuildCommandLine(command, spec.form, argument);
    if (built.error != CommandLineError::kNone) return ErrorResult(built.error);
    const std::string_view name = CommandName(command);
    if (!Sent(transport, built.line, name, results)) return kCommandFailed;
    std::optional<std::string> reply = ReadLine(transport);
    if (!reply) {
        RecordTransportFailure(transport, name, results);
        return kCommandFailed;
    }
    results.last_reply = std::move(*reply);
    return Expected(results.last_reply, spec.expected, name, results) ? kCommandOk : kCommandFailed;
}

std::int32_t RunListCommand(mailcore::LineTransport& transport, SmtpCommand command,
                            std::string_view argument, SmtpResults& results, bool lines_on_failure) {
    results.reply_lines.clear();
    CommandSpec spec = SpecOf(command);
    BuiltCommand built = BuildCommandLine(command, spec.form, argument);
    if (built.error != CommandLineError::kNone) return ErrorResult(built.error);
    const std::string_view name = CommandName(command);
    if (!Sent(transport, built.line, name, results)) return kCommandFailed;
    std::optional<std::string> reply = ReadFinalLine(transport);
    if (!reply) {
        RecordTransportFailure(transport, name, results);
        return kCommandFailed;
    }
    results.last_reply = reply->substr(0, kLastReplyRoom);
    bool ok = Expected(results.last_reply, spec.expected, name, results);
    if (ok || lines_on_failure) results.reply_lines = ParseReplyLines(*reply);
    return ok ? kCommandOk : kCommandFailed;
}

std::int32_t RunDataExchange(mailcore::LineTransport& transport, std::string_view message_text,
                             SmtpResults& results) {
    constexpr std::string_view kDataName = "DATA";
    constexpr std::string_view kMessage = "message";
    if (!Sent(transport, BuildCommandLine(kData, LineForm::kBare, {}).line, kDataName, results)) {
        return kCommandFailed;
    }
    std::optional<std::string> go_ahead = ReadLine(transport);
    if (!go_ahead) {
        RecordTransportFailure(transport, kDataName, results);
        return kCommandFailed;
    }
    results.last_reply = std::move(*go_ahead);
    if (!Expected(results.last_reply, kReply354, kDataName, results)) return kCommandFailed;
    if (!Sent(transport, StuffDots(message_text), kMessage, results)) return kCommandFailed;
    std::optional<std::string> accepted = ReadLine(transport);
    if (!accepted) {
        RecordTransportFailure(transport, kMessage, results);
        return kCommandFailed;
    }
    results.last_reply = std::move(*accepted);
    return Expected(results.last_reply, kReply250, kMessage, results) ? kCommandOk : kCommandFailed;
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

std::int32_t RunSendSteps(mailcore::LineTransport& transport, const OneShotMail& mail,
                          std::string* failed_reply, mailcore::Failure* failure,
                          const SendSecurity& security) {
    SmtpResults results;
    auto step = [&](SmtpCommand command, std::string_view argument) {
        // A step that gets no reply must not show the one before it.
        results.last_reply.clear();
        return RunLineCommand(transport, command, argument, results) == kCommandOk;
    };
    auto fail = [&](std::int32_t status) {
        if (failed_reply) *failed_reply = std::move(results.last_reply);
        if (failure != nullptr) *failure = std::move(results.failure);
        return status;
    };
    if (!security.start_tls && !security.log_in) {
        if (!step(kHelo, "Outlark")) return fail(kSendHeloRefused);
    } else {
        switch (RunEhloGreeting(transport, "Outlark", security.start_tls, security.upgrade, results)) {
            case GreetingOutcome::kEhloRefused:
                return fail(kSendHeloRefused);
            case GreetingOutcome::kTlsFailed:
                return fail(kSendTlsFailed);
            case GreetingOutcome::kOk:
                break;
        }
        if (security.log_in &&
            RunAuth(transport, results.reply_lines, security.user, security.password, results) != kCommandOk)
            return fail(kSendAuthRefused);
    }
    if (!step(kMail, mail.from)) return fail(kSendMailRefused);
    if (!step(kRcpt, mail.to)) return fail(kSendRcptRefused);
    std::string text = ComposeMessage(OneShotMessage(mail), mail.body);
    results.last_reply.clear();
    if (RunDataExchange(transport, text, results) != kCommandOk) return fail(kSendDataRefused);
    // The message was accepted: a failed farewell is no failure of the send.
    (void)step(kQuit, {});
    if (failure != nullptr) *failure = {};
    return kSendOk;
}

std::string_view SendStatusText(std::int32_t status) { return mailcore::SendStatusText(status); }

}  // namespace outlark
