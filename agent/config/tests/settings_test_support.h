#pragma once
// Files in a temporary folder for the settings tests.

#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <string>

#include "agent/config/agent_settings.h"

namespace mirelo {

inline std::string ReadBytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const QString& path, const std::string& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

// A record whose every field differs from its default, with Japanese texts.
inline AgentSettings JapaneseSettings() {
    AgentSettings s;
    s.POP3Server = QStringLiteral("pop.例え.jp");
    s.SMTPServer = QStringLiteral("smtp.example.jp");
    s.POP3Port = 1110;
    s.SMTPPort = -2525;
    s.FromMailAddr = QStringLiteral("agent@example.jp");
    s.FromName = QStringLiteral("受付 エージェント");
    s.CheckInterval = 3;
    s.MailAddr2 = QStringLiteral("office@example.jp");
    s.GetListCommand = QStringLiteral("一覧");
    s.GetBodyCommand = QStringLiteral("本文");
    s.TransBodyCommand = QStringLiteral("転送");
    s.DelMailCommand = QStringLiteral("削除");
    s.CommandBySubject = false;
    s.ScreenLock = false;
    s.LockTelop = QStringLiteral("ただいま留守です。ｶﾀｶﾅ表示ソ");
    s.NeedUnlockPassword = true;
    s.UnlockPassword = QStringLiteral("秘密pw表");
    s.LogFileName = QStringLiteral("記録.log");
    s.SeparateMax = 32767;
    s.OneMailMaxChar = -32768;
    s.OneMailMaxLine = 0;
    s.TrimLine = false;
    s.RemoveBlankLine = false;
    s.RemoveQuote = false;
    s.QuoteTop = QStringLiteral("＞;>");
    s.TransHeader = QStringLiteral("転送:");
    s.ListSubject = QStringLiteral("一覧 %t件");
    s.MultiSendSubject = QStringLiteral("(%n)%s");
    s.AddTo = false;
    s.AddCc = false;
    s.AddFrom = false;
    s.AddSubject = true;
    s.AutoInform = true;
    s.AutoInformInterval = 15;
    s.SpecialCommandAccept = true;
    s.MailAddr1 = QStringLiteral("keitai@docomo.ne.jp");
    s.SvLogin = QStringLiteral("ユーザ");
    s.SvPasswd = QStringLiteral("パス\\ワード");
    s.POP3Security = 2;
    s.SMTPSecurity = 1;
    s.SMTPUser = QStringLiteral("送信ユーザ");
    s.SMTPPasswd = QStringLiteral("smtp秘密");
    s.CAFile = QStringLiteral("/etc/ssl/会社CA.pem");
    return s;
}

}  // namespace mirelo
