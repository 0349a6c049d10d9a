// The command line of the real program: everything that ends it with status 2 before any check.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "agent/app/tests/mirelo_process.h"
#include "agent/config/settings_file.h"

namespace mirelo {
namespace {

using testing_support::RunMirelo;

TEST(ProgramUsage, BadUsageOrSettingsEndWithStatusTwo) {
    QTemporaryDir home;
    QTemporaryDir config;
    ASSERT_TRUE(home.isValid() && config.isValid());
    AgentSettings settings;
    settings.POP3Server = QStringLiteral("127.0.0.1");
    settings.MailAddr1 = QStringLiteral("keitai@example.jp");
    const QString iniPath = SettingsFilePath(home.path());

    struct Row {
        const char* name;
        QStringList arguments;
        bool writeIni;
        QString inStderr;
    };
    const Row rows[] = {
        {"no mode", {}, false, QStringLiteral("use --wait or --check-now")},
        {"unknown option",
         {QStringLiteral("--check-now"), QStringLiteral("--fast")},
         false,
         QStringLiteral("--fast")},
        {"both modes",
         {QStringLiteral("--wait"), QStringLiteral("--check-now")},
         false,
         QStringLiteral("Usage:")},
        {"no Mirelo.ini",
         {QStringLiteral("--check-now")},
         false,
         QStringLiteral("no settings file ") + iniPath},
        {"missing keys", {QStringLiteral("--wait")}, true, QStringLiteral("SMTPServer (")},
        {"missing keys", {QStringLiteral("--check-now")}, true, QStringLiteral("SvLogin (")},
    };
    for (const Row& row : rows) {
        QFile::remove(iniPath);
        if (row.writeIni) {
            ASSERT_TRUE(SaveSettings(iniPath, settings, QStringLiteral("ALL")).ok);
        }
        const auto finished =
            RunMirelo(row.arguments + QStringList{QStringLiteral("--home"), home.path()}, config.path());
        EXPECT_EQ(finished.exitCode, 2) << row.name;
        EXPECT_TRUE(finished.err.contains(row.inStderr)) << row.name << ": " << finished.err.toStdString();
        EXPECT_EQ(finished.out, QString()) << row.name;
    }
    // Nothing was logged: no waiting mode began.
    EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral("Mirelo.log"))));
}

TEST(ProgramUsage, HelpListsTheOptions) {
    QTemporaryDir config;
    const auto finished = RunMirelo({QStringLiteral("--help")}, config.path());
    EXPECT_EQ(finished.exitCode, 0);
    for (const char* option : {"--wait", "--check-now", "--interval-seconds", "--home"})
        EXPECT_TRUE(finished.out.contains(QLatin1String(option))) << option;
}

}  // namespace
}  // namespace mirelo
