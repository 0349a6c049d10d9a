#pragma once
// The agent's one settings record. Fields bear the names of their INI keys; the defaults are the
// values a missing file or key gives.

#include <QString>
#include <cstdint>

namespace mirelo {

struct AgentSettings {
    // [Mail Server Settings]
    QString POP3Server;
    QString SMTPServer;
    std::int16_t POP3Port = 110;
    std::int16_t SMTPPort = 25;
    QString FromMailAddr;
    QString FromName;
    std::int16_t CheckInterval = 5;

    // [Mirelo Settings]
    QString MailAddr2;
    QString GetListCommand = QStringLiteral("LIST");
    QString GetBodyCommand = QStringLiteral("BODY");
    QString TransBodyCommand = QStringLiteral("TRAN");
    QString DelMailCommand = QStringLiteral("DEL");
    bool CommandBySubject = true;
    bool ScreenLock = true;
    QString LockTelop = QStringLiteral("転送待機中です。");
    bool NeedUnlockPassword = false;
    QString UnlockPassword;  // plain in memory, scrambled in the file
    QString LogFileName = QStringLiteral("Mirelo.log");

    // [Mirelo Mail Settings]
    std::int16_t SeparateMax = 10;
    std::int16_t OneMailMaxChar = 250;
    std::int16_t OneMailMaxLine = 20;
    bool TrimLine = true;
    bool RemoveBlankLine = true;
    bool RemoveQuote = true;
    QString QuoteTop = QStringLiteral(">>;>;|");
    QString TransHeader = QStringLiteral("MireloFw:");
    QString ListSubject = QStringLiteral("Mirelo %tlists");
    QString MultiSendSubject = QStringLiteral("[%n]%s");
    bool AddTo = true;
    bool AddCc = true;
    bool AddFrom = true;
    bool AddSubject = false;
    bool AutoInform = false;
    std::int16_t AutoInformInterval = 120;
    // Read mail by today's standards (any charset, nested multiparts). Off when the key is missing, so
    // files from before it keep their behaviour; the wizard turns it on for new files.
    bool DecodeCharsets = false;

    // [Mirelo Other Settings]
    bool SpecialCommandAccept = false;
    // Stored together, scrambled, in the key "MireloKey".
    QString MailAddr1;
    QString SvLogin;
    QString SvPasswd;

    // [Mirelo Security Settings]. Missing: plain text and no SMTP log-in, as before the section existed.
    // The ports stay POP3Port and SMTPPort.
    std::int16_t POP3Security = 0;  // 0 none, 1 STLS, 2 TLS from the connect (POP3S)
    std::int16_t SMTPSecurity = 0;  // 0 none, 1 STARTTLS, 2 TLS from the connect (SMTPS)
    QString SMTPUser;               // empty: no SMTP AUTH
    QString SMTPPasswd;             // plain in memory, scrambled in the file
    QString CAFile;                 // PEM file of the CAs to trust; empty: the system's store

    // Never stored: the last unlock-password prompt was answered correctly.
    bool UnlockConfirmed = false;

    bool operator==(const AgentSettings&) const = default;
};

}  // namespace mirelo
