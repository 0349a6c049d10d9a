#include "agent/ui/env_form.h"

#include <limits>

namespace mirelo {

namespace {

QString Number(std::int16_t value) { return QString::number(value); }

// The password typed, or `current` when the box still holds the placeholder.
QString TypedPassword(const QString& box, const QString& current) {
    return box == PasswordPlaceholder() ? current : box;
}

}  // namespace

EnvForm FormFromSettings(const AgentSettings& s) {
    EnvForm f;
    f.txtMailAddr1 = s.MailAddr1;
    f.txtListRequest = s.GetListCommand;
    f.txtBodyRequest = s.GetBodyCommand;
    f.txtTransRequest = s.TransBodyCommand;
    f.txtMailAddr2 = s.MailAddr2;
    f.txtDelRequest = s.DelMailCommand;
    f.chkCmdByBody = !s.CommandBySubject;
    f.chkLock = s.ScreenLock;
    f.txtLockTelop = s.LockTelop;
    f.chkNeedPasswd = s.NeedUnlockPassword;
    f.txtUnlockPasswd = PasswordPlaceholder();
    f.chkSaveLog = !s.LogFileName.isEmpty();

    f.txtOneMailMaxChar = Number(s.OneMailMaxChar);
    f.txtSeparateMax = Number(s.SeparateMax);
    f.txtOneMailMaxLine = Number(s.OneMailMaxLine);
    f.chkTrimLine = s.TrimLine;
    f.chkRemoveBlankLine = s.RemoveBlankLine;
    f.chkRemoveQuote = s.RemoveQuote;
    f.txtQuoteTop = s.QuoteTop;
    f.chkAddTo = s.AddTo;
    f.chkAddCc = s.AddCc;
    f.chkAddFrom = s.AddFrom;
    f.chkAddSubject = s.AddSubject;
    f.chkDecodeCharsets = s.DecodeCharsets;
    f.txtTransHeader = s.TransHeader;
    f.txtListSubject = s.ListSubject;
    f.txtMultiSubject = s.MultiSendSubject;

    f.txtPOP3 = s.POP3Server;
    f.txtPOP3Port = Number(s.POP3Port);
    f.txtSMTP = s.SMTPServer;
    f.txtSMTPPort = Number(s.SMTPPort);
    f.txtSvLogin = s.SvLogin;
    f.txtSvPasswd = PasswordPlaceholder();
    f.txtFrom = s.FromMailAddr;
    f.txtFromName = s.FromName;
    f.txtChkMailInt = Number(s.CheckInterval);
    f.chkAutoInform = s.AutoInform;
    f.txtAutoInformInt = Number(s.AutoInformInterval);
    f.cmbPop3Security = s.POP3Security;
    f.cmbSmtpSecurity = s.SMTPSecurity;
    f.txtSmtpUser = s.SMTPUser;
    f.txtSmtpPasswd = PasswordPlaceholder();
    f.txtCaFile = s.CAFile;
    return f;
}

QString ProposedPort(int oldMode, int newMode, const QString& port, int plainPort, int tlsPort) {
    constexpr int kTls = 2;
    const auto number = ParseSettingNumber(port);
    if (newMode == kTls && oldMode != kTls && number == plainPort) return QString::number(tlsPort);
    if (oldMode == kTls && newMode != kTls && number == tlsPort) return QString::number(plainPort);
    return port;
}

std::optional<std::int16_t> ParseSettingNumber(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ') ++begin;
    while (end > begin && text[end - 1] == u' ') --end;
    const QString number = text.mid(begin, end - begin);
    const bool negative = number.startsWith(u'-');
    const QString digits = negative ? number.mid(1) : number;
    if (digits.isEmpty() || digits.size() > 6) return std::nullopt;
    long value = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

std::optional<NumberBoxProblem> ConvertNumbers(const EnvForm& form, EnvNumbers& numbers) {
    struct Box {
        const char* control;
        const char* label;
        const QString& text;
        std::int16_t& value;
    };
    const Box boxes[] = {
        {"txtOneMailMaxChar", "分割する文字数", form.txtOneMailMaxChar, numbers.OneMailMaxChar},
        {"txtSeparateMax", "ﾒｰﾙ分割最大数", form.txtSeparateMax, numbers.SeparateMax},
        {"txtOneMailMaxLine", "分割時の１ﾒｰﾙ内の最大行数", form.txtOneMailMaxLine, numbers.OneMailMaxLine},
        {"txtPOP3Port", "POP3ｻｰﾊﾞPORT番号", form.txtPOP3Port, numbers.POP3Port},
        {"txtSMTPPort", "SMTPｻｰﾊﾞPORT番号", form.txtSMTPPort, numbers.SMTPPort},
        {"txtChkMailInt", "ﾒｰﾙﾁｪｯｸ間隔", form.txtChkMailInt, numbers.CheckInterval},
        {"txtAutoInformInt", "自動通知間隔", form.txtAutoInformInt, numbers.AutoInformInterval},
    };
    for (const Box& box : boxes) {
        if (const auto value = ParseSettingNumber(box.text)) {
            box.value = *value;
            continue;
        }
        const QString label = QString::fromUtf8(box.label);
        const QString message =
            box.text.trimmed().isEmpty()
                ? QStringLiteral("「%1」が未入力です。数値を入力してください。").arg(label)
                : QStringLiteral("「%1」の値が不正です。32767以下の数値を入力してください。").arg(label);
        return NumberBoxProblem{QString::fromLatin1(box.control), message};
    }
    return std::nullopt;
}

void TakeStep3(const EnvForm& f, const EnvNumbers& n, AgentSettings& s) {
    s.MailAddr1 = f.txtMailAddr1;
    s.MailAddr2 = f.txtMailAddr2;
    s.GetListCommand = f.txtListRequest;
    s.GetBodyCommand = f.txtBodyRequest;
    s.DelMailCommand = f.txtDelRequest;
    s.TransBodyCommand = f.txtTransRequest;
    s.CommandBySubject = !f.chkCmdByBody;
    s.ScreenLock = f.chkLock;
    s.LockTelop = f.txtLockTelop;
    s.NeedUnlockPassword = f.chkNeedPasswd;
    s.UnlockPassword = TypedPassword(f.txtUnlockPasswd, s.UnlockPassword);
    if (!f.chkSaveLog)
        s.LogFileName.clear();
    else if (s.LogFileName.isEmpty())
        s.LogFileName = QStringLiteral("Mirelo.log");
    s.SeparateMax = n.SeparateMax;
    s.OneMailMaxChar = n.OneMailMaxChar;
    s.OneMailMaxLine = n.OneMailMaxLine;
}

void TakeStep5(const EnvForm& f, const EnvNumbers& n, AgentSettings& s) {
    s.TrimLine = f.chkTrimLine;
    s.RemoveBlankLine = f.chkRemoveBlankLine;
    s.RemoveQuote = f.chkRemoveQuote;
    s.QuoteTop = f.txtQuoteTop;
    s.AddTo = f.chkAddTo;
    s.AddCc = f.chkAddCc;
    s.AddFrom = f.chkAddFrom;
    s.AddSubject = f.chkAddSubject;
    s.DecodeCharsets = f.chkDecodeCharsets;
    s.TransHeader = f.txtTransHeader;
    s.ListSubject = f.txtListSubject;
    s.MultiSendSubject = f.txtMultiSubject;
    s.POP3Server = f.txtPOP3;
    s.SMTPServer = f.txtSMTP;
    s.POP3Port = n.POP3Port;
    s.SMTPPort = n.SMTPPort;
    s.SvLogin = f.txtSvLogin;
    s.SvPasswd = TypedPassword(f.txtSvPasswd, s.SvPasswd);
    s.POP3Security = static_cast<std::int16_t>(f.cmbPop3Security);
    s.SMTPSecurity = static_cast<std::int16_t>(f.cmbSmtpSecurity);
    s.SMTPUser = f.txtSmtpUser;
    s.SMTPPasswd = TypedPassword(f.txtSmtpPasswd, s.SMTPPasswd);
    s.CAFile = f.txtCaFile;
    s.CheckInterval = n.CheckInterval;
}

void TakeStep7(const EnvForm& f, const EnvNumbers& n, AgentSettings& s) {
    s.AutoInform = f.chkAutoInform;
    s.AutoInformInterval = n.AutoInformInterval;
}

void TakeStep9(const EnvForm& f, AgentSettings& s) {
    s.FromMailAddr = f.txtFrom;
    s.FromName = f.txtFromName;
}

}  // namespace mirelo
