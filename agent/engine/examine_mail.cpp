#include "agent/config/settings_file.h"
#include "agent/engine/agent_engine.h"
#include "agent/engine/log_texts.h"

namespace mirelo {

void AgentEngine::ExamineMail(std::int32_t number, CheckState& check) {
    Pop3Component& pop3 = parts_.pop3;
    const QString size =
        pop3.LIST(number) != 0 ? SizeFromListReply(pop3.GetMessage()) : QStringLiteral("???");

    if (pop3.TOP_(number, 2) == 0) {
        WriteLog(log_text::ErrorTop(pop3.LastError(), pop3.LastErrorText()));
        AppendMailList(QString::number(check.MailNumber) + QStringLiteral(" Mail cannot TOP_."));
        check.MailNumber = SaturatingAdd(check.MailNumber, 1);
        return;
    }

    const HeaderText header = ForceTextContentType(pop3.GetMessage());
    if (pop3.MakeDataEx(header.text) == 0) {
        WriteLog(log_text::ErrorMakeDataEx(pop3.LastError(), pop3.LastErrorText()));
        AppendMailList(QString::number(check.MailNumber) + QStringLiteral(" Mail cannot receive."));
        check.MailNumber = SaturatingAdd(check.MailNumber, 1);
    } else {
        const QString subject = pop3.GetSubject();
        const QString sender = pop3.GetFrom();
        const CommandText command = settings_.CommandBySubject ? CommandFromSubject(subject, pop3.GetBody())
                                                               : CommandFromBody(pop3.GetBody());
        const bool isCommand = sender == settings_.MailAddr1 && ActOnCommand(number, command, check);
        if (!isCommand) {
            const bool nonText = header.nonText || pop3.GetFileNameCount() >= 1;
            AppendMailList(ListLine(check.MailNumber, subject, size, sender, nonText));
            check.MailNumber = SaturatingAdd(check.MailNumber, 1);
        }
    }
    pop3.ReleaseData();
}

bool AgentEngine::ActOnCommand(std::int32_t number, const CommandText& command, CheckState& check) {
    static const QString kQuit = QStringLiteral("!!QUIT!!");
    static const QString kAddress = QStringLiteral("!!ADDRESS!!");
    Pop3Component& pop3 = parts_.pop3;
    const QString& word = command.word;
    const QString& arguments = command.arguments;

    if (word == settings_.GetListCommand) {
        SetStatus(status_code::kListRequest);
        if (arguments.startsWith(QStringLiteral("ALL")))
            check.ListKind = ListRequest::All;
        else if (check.ListKind != ListRequest::All)
            check.ListKind = ListRequest::Latest;
        pop3.DELE(number);
        if (const auto address = AddressLine(arguments))
            check.ListAddress = address->isEmpty() ? settings_.MailAddr1 : *address;
    } else if (word == settings_.GetBodyCommand) {
        SetStatus(status_code::kBodyRequest);
        check.BodyRequested = true;
        check.BodyNumbers += FirstLine(arguments) + u',';
        pop3.DELE(number);
    } else if (word == settings_.DelMailCommand) {
        SetStatus(status_code::kDeleteRequest);
        check.DeleteRequested = true;
        check.DeleteNumbers += FirstLine(arguments) + u',';
        pop3.DELE(number);
    } else if (word == settings_.TransBodyCommand) {
        SetStatus(status_code::kTransferRequest);
        pop3.DELE(number);
        const QString address = AddressLine(arguments).value_or(QString());
        // Only mails numbered before this one can be reached yet.
        SendMailBodies(FirstLine(arguments), SaturatingAdd(check.MailNumber, -1),
                       address.isEmpty() ? settings_.MailAddr2 : address, true);
    } else if (settings_.SpecialCommandAccept && word == kQuit) {
        check.QuitRequested = true;
        pop3.DELE(number);
    } else if (settings_.SpecialCommandAccept && word == kAddress) {
        pop3.DELE(number);
        ChangeAddress(AddressLine(arguments).value_or(QString()));
    } else {
        return false;
    }
    return true;
}

void AgentEngine::ChangeAddress(const QString& newAddress) {
    if (!IsValidAddress(newAddress)) {
        WriteLog(log_text::ErrorAddressChange(newAddress));
        return;
    }
    // Memory follows the file: an address that could not be saved is not taken.
    AgentSettings changed = settings_;
    changed.MailAddr1 = newAddress;
    const SaveResult saved =
        SaveSettings(SettingsFilePath(parts_.programFolder), changed, QStringLiteral("ALL"));
    if (!saved.ok) {
        WriteLog(log_text::ErrorSaveSettings(saved.error));
        WriteLog(log_text::ErrorAddressChange(newAddress));
        return;
    }
    settings_.MailAddr1 = newAddress;
    WriteLog(log_text::MasterAddressChanged(newAddress));
    ShowUser();
}

void AgentEngine::AppendMailList(const QString& line) { state_.MailList += line + QStringLiteral("\r\n"); }

void AgentEngine::ClearMailList() { state_.MailList.clear(); }

}  // namespace mirelo
