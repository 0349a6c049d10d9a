#pragma once
// Every line the agent writes to its log, one function per event. The texts are fixed: owners read the
// log, and their scripts may search it. A value follows its fixed text directly.

#include <QString>
#include <cstdint>

namespace mirelo::log_text {

// Waiting mode
QString ChangeWaitingMode();     // "<-- Change Waiting Mode -->"
QString ExitWaitingMode();       // ">-- Exit Waiting Mode --<"
QString WrongPasswordForQuit();  // "!!Wrong password(for quit waiting mode)!!"
QString QuitCommandAccept();     // "!!QUIT COMMAND ACCEPT!!"

// Component failures, followed by the component's LastError and, after a blank, its LastErrorText when
// it has one ("ERROR ConnectByName:0 connect mail.example.jp:110: connection refused")
QString ErrorConnectByName(std::int32_t lastError, const QString& cause = {});
QString ErrorAuthorize(std::int32_t lastError, const QString& cause = {});
QString ErrorStat(std::int32_t lastError, const QString& cause = {});
QString ErrorTop(std::int32_t lastError, const QString& cause = {});
QString ErrorMakeDataEx(std::int32_t lastError, const QString& cause = {});
QString ErrorRetr(std::int32_t lastError, const QString& cause = {});
QString ErrorMakeData(std::int32_t lastError, const QString& cause = {});
QString ErrorSendMail(std::int32_t lastError, const QString& cause = {});
QString ErrorDele(int number, std::int32_t lastError, const QString& cause = {});

// Address change
QString MasterAddressChanged(const QString& newAddress);
QString ErrorAddressChange(const QString& rejectedText);

// Lists
QString AllListSendStart();
QString LatestListSendStart();
QString AutoInformListing();
QString AfterDeleteListing();
QString MailListSendEnd(int count);
QString IllegalMailAddress(const QString& address);
QString MailListSendFailed();

// Sending replies
QString ErrorSendMailIllegalAddress();
QString SendTo(const QString& address, int length);
QString SendToPart(const QString& address, int part, int length);

// Bodies and transfers
QString MailBodySendStart(const QString& numbers);
QString TransferBodyStart(const QString& numbers);
QString SendingMailNo(int number);
QString MailBodySendEnd();
QString TransferBodyEnd();
QString MailBodySendFailed();
QString TransferBodyFailed();

// Deletions
QString DeleteMailStart(const QString& numbers);
QString DeleteMailNo(int number);
QString DeleteMailEnd();

// Settings dialog
QString EnvironmentChangeStart();
QString EnvironmentChangeAbortWrongPassword();
QString ChangeMailAddress(const QString& newAddress);
QString EnvironmentChangeAbortWrongSetting(int which);  // 1, 2 or 3
QString EnvironmentChangeEnd();

// Settings file, for the results of LoadSettings and SaveSettings
QString ErrorLoadSettings(const QString& reason);  // "ERROR LoadSettings:" and the reason
QString ErrorSaveSettings(const QString& reason);  // "ERROR SaveSettings:" and the reason

}  // namespace mirelo::log_text
