#pragma once
// A temporary program folder, its log read back without the date-time, and widgets found by name.

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include "agent/config/agent_settings.h"
#include "agent/engine/agent_log.h"

namespace mirelo {

inline const QDateTime kLogTime(QDate(2026, 12, 7), QTime(9, 5, 3));

// The log's messages, in order, each without the " date time" that ends its line.
inline QStringList LogMessages(const QString& folder) {
    QFile file(QDir(folder).filePath(QStringLiteral("Mirelo.log")));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString suffix = QStringLiteral(" ") + LogDateTime(kLogTime);
    QStringList messages;
    for (const QByteArray& line : file.readAll().split('\n')) {
        QString text = QString::fromLatin1(line);
        if (text.endsWith(u'\r')) text.chop(1);
        if (text.isEmpty()) continue;
        if (text.endsWith(suffix)) text.chop(suffix.size());
        messages << text;
    }
    return messages;
}

// A record with every field the dialogs show set to something other than its default.
inline AgentSettings SampleSettings() {
    AgentSettings s;
    s.POP3Server = QStringLiteral("127.0.0.1");
    s.SMTPServer = QStringLiteral("smtp.example.jp");
    s.POP3Port = 1110;
    s.SMTPPort = 2525;
    s.FromMailAddr = QStringLiteral("agent@example.jp");
    s.FromName = QStringLiteral("受付");
    s.CheckInterval = 3;
    s.MailAddr2 = QStringLiteral("office@example.jp");
    s.UnlockPassword = QStringLiteral("unlock-pw");
    s.MailAddr1 = QStringLiteral("phone@docomo.ne.jp");
    s.SvLogin = QStringLiteral("agent");
    s.SvPasswd = QStringLiteral("pop-secret");
    return s;
}

template <typename T>
T* Find(const QWidget* top, const char* name) {
    T* widget = top->findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr) qFatal("no widget named %s", name);
    return widget;
}

}  // namespace mirelo
