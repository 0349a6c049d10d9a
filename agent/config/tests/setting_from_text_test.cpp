#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "agent/config/settings_file.h"

namespace mirelo {
namespace {

TEST(SettingFromText, EachKindOfFieldTakesItsText) {
    AgentSettings settings;
    const std::pair<const char*, const char*> pairs[] = {
        {"POP3Server", "pop.example.jp"}, {"POP3Port", "11110"},
        {"AddSubject", "TRUE"},           {"TrimLine", "FALSE"},
        {"MailAddr1", "k@x.jp"},          {"SvLogin", "agent"},
        {"SvPasswd", "pa\\ss"},           {"LockTelop", "留守です"},
        {"UnlockPassword", "1234"},
    };
    for (const auto& [key, text] : pairs) {
        EXPECT_EQ(SetSettingFromText(settings, QString::fromUtf8(key), QString::fromUtf8(text)), QString())
            << key;
    }
    EXPECT_EQ(settings.POP3Server, QStringLiteral("pop.example.jp"));
    EXPECT_EQ(settings.POP3Port, 11110);
    EXPECT_TRUE(settings.AddSubject);
    EXPECT_FALSE(settings.TrimLine);
    EXPECT_EQ(settings.LockTelop, QStringLiteral("留守です"));

    // What the text set is what the file gives back, the scrambled fields included.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = SettingsFilePath(dir.path());
    ASSERT_TRUE(SaveSettings(path, settings, QStringLiteral("ALL")).ok);
    AgentSettings loaded;
    (void)LoadSettings(path, loaded);
    EXPECT_EQ(loaded, settings);
}

TEST(SettingFromText, BadTextNamesTheKeyAndChangesNothing) {
    struct Row {
        const char* key;
        const char* text;
        const char* expected;  // part of the message
    };
    const Row rows[] = {
        {"POP3Port", "70000", "POP3Port: a number"},
        {"CheckInterval", "five", "CheckInterval: a number"},
        {"AddTo", "true", "AddTo: TRUE or FALSE"},
        {"Pop3Server", "x", "no setting is called \"Pop3Server\""},
        {"StartWizard", "TRUE", "no setting is called"},
    };
    for (const Row& row : rows) {
        AgentSettings settings;
        const QString error =
            SetSettingFromText(settings, QString::fromUtf8(row.key), QString::fromUtf8(row.text));
        EXPECT_TRUE(error.contains(QString::fromUtf8(row.expected))) << error.toStdString();
        EXPECT_EQ(settings, AgentSettings{}) << row.key;
    }
}

}  // namespace
}  // namespace mirelo
