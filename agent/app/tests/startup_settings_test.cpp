#include "agent/app/startup_settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace mirelo {
namespace {

class StartupSettingsTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Folder() const { return dir_.path(); }
    void Save(const AgentSettings& settings) const {
        ASSERT_TRUE(SaveSettings(SettingsFilePath(Folder()), settings, QStringLiteral("ALL")).ok);
    }
    static AgentSettings Usable() {
        AgentSettings settings;
        settings.POP3Server = QStringLiteral("pop.example.jp");
        settings.SMTPServer = QStringLiteral("smtp.example.jp");
        settings.MailAddr1 = QStringLiteral("keitai@example.jp");
        settings.SvLogin = QStringLiteral("agent");
        return settings;
    }

    QTemporaryDir dir_;
};

TEST_F(StartupSettingsTest, NoFileNamesThePathAndHowToWriteOne) {
    AgentSettings settings;
    const StartupSettings startup = LoadStartupSettings(Folder(), settings);
    EXPECT_TRUE(startup.problem.contains(SettingsFilePath(Folder()))) << startup.problem.toStdString();
    EXPECT_TRUE(startup.problem.contains(QStringLiteral("mirelo-ini --home ") + Folder()));
    EXPECT_FALSE(QFile::exists(SettingsFilePath(Folder())));
}

TEST_F(StartupSettingsTest, EachMissingKeyIsNamedAndOnlyThose) {
    const std::pair<const char*, QString AgentSettings::*> keys[] = {
        {"POP3Server", &AgentSettings::POP3Server},
        {"SMTPServer", &AgentSettings::SMTPServer},
        {"MailAddr1", &AgentSettings::MailAddr1},
        {"SvLogin", &AgentSettings::SvLogin},
    };
    for (const auto& [key, member] : keys) {
        AgentSettings stored = Usable();
        stored.*member = QString();
        Save(stored);
        AgentSettings settings;
        const QString problem = LoadStartupSettings(Folder(), settings).problem;
        for (const auto& [other, ignored] : keys) {
            EXPECT_EQ(problem.contains(QLatin1String(other) + u' '), std::string_view(other) == key)
                << key << " missing, message: " << problem.toStdString();
        }
    }
    AgentSettings none;
    Save(none);
    AgentSettings settings;
    EXPECT_EQ(LoadStartupSettings(Folder(), settings).problem.count(QStringLiteral(" (")), 4);
}

TEST_F(StartupSettingsTest, UsableFileLoadsWithItsCorrections) {
    Save(Usable());
    QFile file(SettingsFilePath(Folder()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    ASSERT_TRUE(text.contains("CheckInterval=5\r\n"));
    text.replace("CheckInterval=5\r\n", "CheckInterval=often\r\n");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();

    AgentSettings settings;
    const StartupSettings startup = LoadStartupSettings(Folder(), settings);
    EXPECT_EQ(startup.problem, QString());
    EXPECT_EQ(settings.MailAddr1, QStringLiteral("keitai@example.jp"));
    ASSERT_EQ(startup.corrections.size(), 1u);
    EXPECT_EQ(startup.corrections[0].key, QStringLiteral("CheckInterval"));
}

TEST_F(StartupSettingsTest, UnreadableFileIsAProblem) {
    ASSERT_TRUE(QDir(Folder()).mkdir(QStringLiteral("Mirelo.ini")));
    AgentSettings settings;
    const QString problem = LoadStartupSettings(Folder(), settings).problem;
    EXPECT_TRUE(problem.startsWith(SettingsFilePath(Folder()) + QStringLiteral(": ")))
        << problem.toStdString();
}

}  // namespace
}  // namespace mirelo
