#include "agent/app/startup_settings.h"

#include <QFileInfo>
#include <QStringList>

namespace mirelo {
namespace {

struct Required {
    const char* key;
    QString AgentSettings::*member;
    const char* meaning;
};

const Required kRequired[] = {
    {"POP3Server", &AgentSettings::POP3Server, "the POP3 server to check"},
    {"SMTPServer", &AgentSettings::SMTPServer, "the SMTP server that sends the replies"},
    {"MailAddr1", &AgentSettings::MailAddr1, "the phone's address"},
    {"SvLogin", &AgentSettings::SvLogin, "the POP3 login name"},
};

QString HowToSet(const QString& programFolder) {
    return QStringLiteral("mirelo-ini --home %1").arg(programFolder);
}

}  // namespace

StartupSettings LoadStartupSettings(const QString& programFolder, AgentSettings& settings) {
    const QString path = SettingsFilePath(programFolder);
    if (!QFileInfo::exists(path)) {
        return {QStringLiteral("no settings file %1. Create it with\n  %2 POP3Server=HOST SMTPServer=HOST "
                               "MailAddr1=PHONE-ADDRESS SvLogin=USER SvPasswd=PASSWORD FromMailAddr=ADDRESS")
                    .arg(path, HowToSet(programFolder)),
                {}};
    }
    LoadResult loaded = LoadSettings(path, settings);
    if (!loaded.readError.isEmpty()) return {path + QStringLiteral(": ") + loaded.readError, {}};

    QStringList lines;
    for (const Required& required : kRequired) {
        if ((settings.*required.member).isEmpty())
            lines << QStringLiteral("  %1 (%2)")
                         .arg(QLatin1String(required.key), QLatin1String(required.meaning));
    }
    StartupSettings result{{}, std::move(loaded.corrections)};
    if (!lines.isEmpty()) {
        result.problem = QStringLiteral("%1 lacks what a check needs:\n%2\nSet them with\n  %3 KEY=VALUE ...")
                             .arg(path, lines.join(u'\n'), HowToSet(programFolder));
    }
    return result;
}

}  // namespace mirelo
