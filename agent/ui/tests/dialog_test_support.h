#pragma once
// A temporary program folder, its log read back without the date-time, and widgets found by name.

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include "agent/config/agent_settings.h"
#include "agent/engine/agent_log.h"
#include "agent/engine/tests/log_messages.h"

namespace mirelo {

inline const QDateTime kLogTime(QDate(2026, 12, 7), QTime(9, 5, 3));

using testing_support::LogMessages;

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
