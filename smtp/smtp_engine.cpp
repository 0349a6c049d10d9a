#include "smtp/smtp_engine.h"

#include "smtp/smtp_secure.h"

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
    if (RefusedBeforeTls(command)) return mailcore::kResultFailure;
    const bool asynchronous = NotifyQueue() != nullptr;
    std::string copy(argument);
    return Execute(
        [this, command, list, asynchronous, copy = std::move(copy)]() mutable {
            argument_ = std::move(copy);
            SmtpResults results;
            std::int32_t outcome;
            if (command == kEhlo && tls_pending_ && ehlo_starts_tls_) {
                const GreetingOutcome greeting = RunEhloGreeting(
                    Wire(), argument_, true, [this] { return Upgrade(); }, results);
                outcome = greeting == GreetingOutcome::kOk ? kCommandOk : kCommandFailed;
                reply_lines_ = std::move(results.reply_lines);
                keep_reply_lines_ = false;
            } else if (list) {
                outcome = RunListCommand(Wire(), command, argument_, results, !asynchronous);
                reply_lines_ = std::move(results.reply_lines);
                keep_reply_lines_ = outcome != kCommandOk && !asynchronous;
            } else {
                outcome = RunLineCommand(Wire(), command, argument_, results);
            }
            SetLastReply(results.last_reply);
            if (outcome != kCommandOk) RecordFailure(std::move(results.failure));
            if (command == kEhlo && outcome == kCommandOk) ehlo_lines_ = reply_lines_;
            if (command == kQuit && outcome == kCommandOk) CloseConnection();
            return outcome == kCommandOk;
        },
        list);
}

std::int32_t SmtpEngine::Data(std::string message_text) {
    if (RefusedBeforeTls(kData)) return mailcore::kResultFailure;
    return Execute([this, text = std::move(message_text)] {
        SmtpResults results;
        bool ok = RunDataExchange(Wire(), text, results) == kCommandOk;
        SetLastReply(results.last_reply);
        if (!ok) RecordFailure(std::move(results.failure));
        return ok;
    });
}

}  // namespace outlark

namespace outlark {

void SmtpEngine::PrepareSecurity(const mailcore::ConnectionSecurity& security, std::string host,
                                 bool ehlo_starts_tls) {
    Socket().SetSecurity(security);
    ehlo_starts_tls_ = ehlo_starts_tls;
    tls_host_ = std::move(host);
    tls_pending_ = security.mode == mailcore::Security::kStartTls;
    ehlo_lines_.clear();
}

bool SmtpEngine::Upgrade() {
    if (Socket().StartTls(tls_host_) != 1) return false;
    tls_pending_ = false;
    // Offers made in plain text may have been forged: AUTH waits for the EHLO over TLS.
    ehlo_lines_.clear();
    return true;
}

bool SmtpEngine::RefusedBeforeTls(SmtpCommand command) {
    if (!tls_pending_ || command == kEhlo || command == kRset || command == kNoop || command == kHelp ||
        command == kQuit)
        return false;
    if (IsBusy() || !IsConnected()) return false;  // Execute reports these
    ClearFailure();
    RecordFailure({mailcore::FailureKind::TlsHandshake,
                   0,
                   {},
                   std::string(CommandName(command)) +
                       (ehlo_starts_tls_ ? " (not before EHLO has started TLS)" : " (not before STARTTLS)")});
    return true;
}

std::int32_t SmtpEngine::StartTls() {
    return Execute([this] {
        SmtpResults results;
        const bool ok = RunStartTls(
                            Wire(), [this] { return Upgrade(); }, results) == kCommandOk;
        SetLastReply(results.last_reply);
        if (!ok) RecordFailure(std::move(results.failure));
        return ok;
    });
}

std::int32_t SmtpEngine::Auth(std::string user, std::string password) {
    return Execute([this, user = std::move(user), password = std::move(password)] {
        SmtpResults results;
        const bool ok = RunAuth(Wire(), ehlo_lines_, user, password, results) == kCommandOk;
        SetLastReply(results.last_reply);
        if (!ok) RecordFailure(std::move(results.failure));
        return ok;
    });
}

}  // namespace outlark
