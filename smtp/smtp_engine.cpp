#include "smtp/smtp_engine.h"

namespace outlark {

SmtpEngine::~SmtpEngine() { Disconnect(); }

void SmtpEngine::ClearResults() {
    argument_.clear();
    if (!keep_reply_lines_) reply_lines_.clear();
    keep_reply_lines_ = false;
}

void SmtpEngine::DiscardMessage() { message_.reset(); }

ComposedMessage& SmtpEngine::Message() {
    if (!message_) message_ = std::make_unique<ComposedMessage>();
    return *message_;
}

std::int32_t SmtpEngine::Command(SmtpCommand command, std::string_view argument) {
    if (!mailcore::FitsOnCommandLine(argument)) return mailcore::kResultBadArgument;
    const bool list = command == kEhlo || command == kVrfy || command == kExpn || command == kHelp;
    // Refuse a line beyond its room before anything changes, as a bad argument would be.
    if (BuildCommandLine(command,
                         command == kMail || command == kRcpt ? LineForm::kAddress : LineForm::kWithArgument,
                         argument)
            .error != CommandLineError::kNone) {
        return mailcore::kResultFailure;
    }
    const bool asynchronous = NotifyQueue() != nullptr;
    std::string copy(argument);
    return Execute(
        [this, command, list, asynchronous, copy = std::move(copy)]() mutable {
            argument_ = std::move(copy);
            SmtpResults results;
            std::int32_t outcome;
            if (list) {
                outcome = RunListCommand(Wire(), command, argument_, results, !asynchronous);
                reply_lines_ = std::move(results.reply_lines);
                keep_reply_lines_ = outcome != kCommandOk && !asynchronous;
            } else {
                outcome = RunLineCommand(Wire(), command, argument_, results);
            }
            SetLastReply(results.last_reply);
            if (outcome != kCommandOk) RecordFailure(std::move(results.failure));
            if (command == kQuit && outcome == kCommandOk) CloseConnection();
            return outcome == kCommandOk;
        },
        list);
}

std::int32_t SmtpEngine::Data(std::string message_text) {
    return Execute([this, text = std::move(message_text)] {
        SmtpResults results;
        bool ok = RunDataExchange(Wire(), text, results) == kCommandOk;
        SetLastReply(results.last_reply);
        if (!ok) RecordFailure(std::move(results.failure));
        return ok;
    });
}

}  // namespace outlark
