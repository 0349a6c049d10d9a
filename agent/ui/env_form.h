#pragma once
// What the settings dialog's boxes hold, apart from the widgets: filled from the settings record at
// load, read back from the boxes at OK, and taken into the record in the dialog's steps. Members bear
// the names of the controls they mirror.

#include <QString>
#include <cstdint>
#include <optional>

#include "agent/config/agent_settings.h"

namespace mirelo {

// The password boxes show this instead of the password; finding it unchanged at OK means "no change".
inline QString PasswordPlaceholder() { return QStringLiteral("\\\\\\\\\\"); }

struct EnvForm {
    // Tab 0
    QString txtMailAddr1;
    QString txtListRequest;
    QString txtBodyRequest;
    QString txtTransRequest;
    QString txtMailAddr2;
    QString txtDelRequest;
    bool chkCmdByBody = false;
    bool chkLock = false;
    QString txtLockTelop;
    bool chkNeedPasswd = false;
    QString txtUnlockPasswd;
    bool chkSaveLog = false;
    // Tab 1
    QString txtOneMailMaxChar;
    QString txtSeparateMax;
    QString txtOneMailMaxLine;
    bool chkTrimLine = false;
    bool chkRemoveBlankLine = false;
    bool chkRemoveQuote = false;
    QString txtQuoteTop;
    bool chkAddTo = false;
    bool chkAddCc = false;
    bool chkAddFrom = false;
    bool chkAddSubject = false;
    bool chkDecodeCharsets = false;
    QString txtTransHeader;
    QString txtListSubject;
    QString txtMultiSubject;
    // Tab 2
    QString txtPOP3;
    QString txtPOP3Port;
    QString txtSMTP;
    QString txtSMTPPort;
    QString txtSvLogin;
    QString txtSvPasswd;
    QString txtFrom;
    QString txtFromName;
    QString txtChkMailInt;
    bool chkAutoInform = false;
    QString txtAutoInformInt;
    // Tab 2, connection security: the combo boxes hold the mode as their index
    int cmbPop3Security = 0;
    int cmbSmtpSecurity = 0;
    QString txtSmtpUser;
    QString txtSmtpPasswd;
    QString txtCaFile;
};

// The port box after its security combo went from `oldMode` to `newMode`: choosing TLS from the connect
// (2) while the box holds the plain default proposes the TLS port, leaving it proposes the plain one
// back; any other port the owner typed stays.
[[nodiscard]] QString ProposedPort(int oldMode, int newMode, const QString& port, int plainPort, int tlsPort);
inline constexpr int kPop3PlainPort = 110;
inline constexpr int kPop3TlsPort = 995;
inline constexpr int kSmtpPlainPort = 25;
inline constexpr int kSmtpTlsPort = 465;

// The boxes as the dialog's load fills them: never a password, always the placeholder.
[[nodiscard]] EnvForm FormFromSettings(const AgentSettings& settings);

// The seven number boxes converted to 16-bit integers.
struct EnvNumbers {
    std::int16_t OneMailMaxChar = 0;
    std::int16_t SeparateMax = 0;
    std::int16_t OneMailMaxLine = 0;
    std::int16_t POP3Port = 0;
    std::int16_t SMTPPort = 0;
    std::int16_t CheckInterval = 0;
    std::int16_t AutoInformInterval = 0;
};

// A number box that cannot become a 16-bit integer.
struct NumberBoxProblem {
    QString control;  // objectName of the box
    QString message;  // Japanese, naming the box
};

// A decimal text (ASCII blanks around it and a leading minus allowed) as a 16-bit integer; nothing when
// it is empty, not a number or outside -32768..32767.
[[nodiscard]] std::optional<std::int16_t> ParseSettingNumber(const QString& text);

// Converts the number boxes in the order of the tabs; the first that fails is returned instead.
[[nodiscard]] std::optional<NumberBoxProblem> ConvertNumbers(const EnvForm& form, EnvNumbers& numbers);

// The taking steps of OK, each into `settings`: 3 (tab 0 and the split limits), 5 (shaping, subjects,
// servers, account and connection security, CheckInterval), 7 (the automatic list) and 9 (the sender).
void TakeStep3(const EnvForm& form, const EnvNumbers& numbers, AgentSettings& settings);
void TakeStep5(const EnvForm& form, const EnvNumbers& numbers, AgentSettings& settings);
void TakeStep7(const EnvForm& form, const EnvNumbers& numbers, AgentSettings& settings);
void TakeStep9(const EnvForm& form, AgentSettings& settings);

}  // namespace mirelo
