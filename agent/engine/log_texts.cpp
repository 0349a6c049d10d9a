#include "agent/engine/log_texts.h"

namespace mirelo::log_text {
namespace {

QString Number(std::int64_t value) { return QString::number(value); }

// "ERROR <call>:" and LastError, then the component's own words on why after a blank, so the line still
// begins as it always did.
QString ComponentError(const QString& call, std::int32_t lastError, const QString& cause) {
    QString line = QStringLiteral("ERROR ") + call + QLatin1Char(':') + Number(lastError);
    if (!cause.isEmpty()) line += QLatin1Char(' ') + cause;
    return line;
}

}  // namespace

QString ChangeWaitingMode() { return QStringLiteral("<-- Change Waiting Mode -->"); }
QString ExitWaitingMode() { return QStringLiteral(">-- Exit Waiting Mode --<"); }
QString WrongPasswordForQuit() { return QStringLiteral("!!Wrong password(for quit waiting mode)!!"); }
QString QuitCommandAccept() { return QStringLiteral("!!QUIT COMMAND ACCEPT!!"); }

QString ErrorConnectByName(std::int32_t lastError, const QString& cause) {
    return ComponentError(QStringLiteral("ConnectByName"), lastError, cause);
}
QString ErrorAuthorize(std::int32_t lastError, const QString& cause) {
    return ComponentError(QStringLiteral("Authorize"), lastError, cause);
}
QString ErrorStat(std::int32_t lastError, const QString& cause) {
    return ComponentError(QStringLiteral("STAT"), lastError, cause);
}
QString ErrorTop(std::int32_t lastError, const QString& cause) {
    return ComponentError(QStringLiteral("TOP_"), lastError, cause);
}
QString ErrorMakeDataEx(std::int32_t lastError, const QString& cause) {
    return ComponentError(QStringLiteral("MakeDataEx"), lastError, cause);
}
QString ErrorRetr(std::int32_t lastError, const QString& cause) {
    return ComponentError(QStringLiteral("RETR"), lastError, cause);
}
QString ErrorMakeData(std::int32_t lastError, const QString& cause) {
    return ComponentError(QStringLiteral("MakeData"), lastError, cause);
}
QString ErrorSendMail(std::int32_t lastError, const QString& cause) {
    return ComponentError(QStringLiteral("SendMail"), lastError, cause);
}
QString ErrorDele(int number, std::int32_t lastError, const QString& cause) {
    return ComponentError(QStringLiteral("DELE(") + Number(number) + QLatin1Char(')'), lastError, cause);
}

QString MasterAddressChanged(const QString& newAddress) {
    return QStringLiteral("!!MASTER ADDRESS CHANGED!!--> ") + newAddress;
}
QString ErrorAddressChange(const QString& rejectedText) {
    return QStringLiteral("ERROR ADDRESS CHANGE--> ") + rejectedText;
}

QString AllListSendStart() { return QStringLiteral("+All list send start."); }
QString LatestListSendStart() { return QStringLiteral("+Latest list send start."); }
QString AutoInformListing() { return QStringLiteral("  AutoInform listing."); }
QString AfterDeleteListing() { return QStringLiteral("  After delete listing."); }
QString MailListSendEnd(int count) {
    return QStringLiteral("-Mail list send end(") + Number(count) + QStringLiteral(" lists).");
}
QString IllegalMailAddress(const QString& address) {
    return QStringLiteral("  Illegal mail address -- ") + address;
}
QString MailListSendFailed() { return QStringLiteral("-Mail list send failed."); }

QString ErrorSendMailIllegalAddress() { return QStringLiteral("ERROR SendMail:Illegal mailaddress"); }
QString SendTo(const QString& address, int length) {
    return QStringLiteral("  Send to ") + address + u'(' + Number(length) + QStringLiteral(" Char).");
}
QString SendToPart(const QString& address, int part, int length) {
    return QStringLiteral("  Send to ") + address + QStringLiteral(" part") + Number(part) + u'(' +
           Number(length) + QStringLiteral(" Char).");
}

QString MailBodySendStart(const QString& numbers) {
    return QStringLiteral("+Mail body send start--> ") + numbers;
}
QString TransferBodyStart(const QString& numbers) {
    return QStringLiteral("+Transfer body start--> ") + numbers;
}
QString SendingMailNo(int number) { return QStringLiteral(" Sending mail No.") + Number(number); }
QString MailBodySendEnd() { return QStringLiteral("-Mail body send end."); }
QString TransferBodyEnd() { return QStringLiteral("-Transfer body end."); }
QString MailBodySendFailed() { return QStringLiteral("-Mail body send failed."); }
QString TransferBodyFailed() { return QStringLiteral("-Transfer body failed."); }

QString DeleteMailStart(const QString& numbers) { return QStringLiteral("+Delete mail start--> ") + numbers; }
QString DeleteMailNo(int number) { return QStringLiteral("  Delete mail No.") + Number(number); }
QString DeleteMailEnd() { return QStringLiteral("-Delete mail end."); }

QString EnvironmentChangeStart() { return QStringLiteral("+Mirelo environment change start."); }
QString EnvironmentChangeAbortWrongPassword() {
    return QStringLiteral("-Mirelo environment change abort(!!wrong password!!).");
}
QString ChangeMailAddress(const QString& newAddress) {
    return QStringLiteral("  !!Change mail address to ") + newAddress + QStringLiteral("!!");
}
QString EnvironmentChangeAbortWrongSetting(int which) {
    return QStringLiteral("-Mirelo environment change abort(wrong setting") + Number(which) +
           QStringLiteral(").");
}
QString EnvironmentChangeEnd() { return QStringLiteral("-Mirelo environment change end."); }

QString ErrorLoadSettings(const QString& reason) { return QStringLiteral("ERROR LoadSettings:") + reason; }
QString ErrorSaveSettings(const QString& reason) { return QStringLiteral("ERROR SaveSettings:") + reason; }

}  // namespace mirelo::log_text
