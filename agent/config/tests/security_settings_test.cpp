// The connection-security section: missing means plain text as before, a file that never had it saves
// unchanged, the section is written whole once needed, and the SMTP password is never stored plain.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>

#include "agent/config/scramble.h"
#include "agent/config/settings_file.h"
#include "agent/config/tests/settings_test_support.h"
#include "agent/config/tests/test_random.h"

namespace mirelo {
namespace {

class SecuritySettings : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString IniPath() const { return SettingsFilePath(dir_.path()); }
    LoadResult Load(AgentSettings& settings) const { return LoadSettings(IniPath(), settings); }
    void Save(const AgentSettings& settings) const {
        FixedRandom random({0.25, 0.5, 0.75});
        const SaveResult saved = SaveSettings(IniPath(), settings, QStringLiteral("ALL"), random);
        ASSERT_TRUE(saved.ok) << saved.error.toStdString();
    }
    std::string File() const { return ReadBytes(IniPath()); }
    // The file's text from the section's header to its end, or empty.
    std::string Section(const char* header = "[Mirelo Security Settings]") const {
        const std::string bytes = File();
        const std::size_t at = bytes.find(header);
        if (at == std::string::npos) return {};
        const std::size_t next = bytes.find("\r\n[", at);
        return bytes.substr(at, next == std::string::npos ? std::string::npos : next + 2 - at);
    }

    QTemporaryDir dir_;
};

// A file as an older agent wrote it, with a comment and a key of its own that must stay.
const std::string kOldFile =
    "; kept by hand\r\n"
    "[Mail Server Settings]\r\nPOP3Server=pop.example.jp\r\nSMTPServer=smtp.example.jp\r\n"
    "POP3Port=110\r\nSMTPPort=25\r\nFromMailAddr=agent@example.jp\r\nFromName=\r\nCheckInterval=5\r\n"
    "Extra=1\r\n";

TEST_F(SecuritySettings, MissingSectionMeansPlainTextAndSavesAsBefore) {
    AgentSettings first;
    first.POP3Server = QStringLiteral("pop.example.jp");
    first.SvLogin = QStringLiteral("agent");
    first.SvPasswd = QStringLiteral("pw");
    WriteBytes(IniPath(), kOldFile);
    Save(first);
    const std::string before = File();

    AgentSettings loaded = JapaneseSettings();  // every security field away from its default
    const LoadResult result = Load(loaded);
    EXPECT_TRUE(result.corrections.empty());
    EXPECT_EQ(loaded.POP3Security, 0);
    EXPECT_EQ(loaded.SMTPSecurity, 0);
    EXPECT_EQ(loaded.SMTPUser, QString());
    EXPECT_EQ(loaded.SMTPPasswd, QString());
    EXPECT_EQ(loaded.CAFile, QString());

    Save(loaded);
    EXPECT_EQ(File(), before);
    EXPECT_EQ(before.find("Security"), std::string::npos);
}

struct WriteRow {
    const char* name;
    std::function<void(AgentSettings&)> change;
    const char* section;  // the whole section as written; "" for the password row, checked apart
};
void PrintTo(const WriteRow& row, std::ostream* os) { *os << row.name; }

const WriteRow kWriteRows[] = {
    {"Pop3Tls", [](AgentSettings& s) { s.POP3Security = 2; },
     "[Mirelo Security Settings]\r\nPOP3Security=2\r\nSMTPSecurity=0\r\nSMTPUser=\r\nSMTPPasswd=\r\n"
     "CAFile=\r\n"},
    {"SmtpStartTls", [](AgentSettings& s) { s.SMTPSecurity = 1; },
     "[Mirelo Security Settings]\r\nPOP3Security=0\r\nSMTPSecurity=1\r\nSMTPUser=\r\nSMTPPasswd=\r\n"
     "CAFile=\r\n"},
    {"SmtpUser", [](AgentSettings& s) { s.SMTPUser = QStringLiteral("agent@example.jp"); },
     "[Mirelo Security Settings]\r\nPOP3Security=0\r\nSMTPSecurity=0\r\nSMTPUser=agent@example.jp\r\n"
     "SMTPPasswd=\r\nCAFile=\r\n"},
    {"CaFile", [](AgentSettings& s) { s.CAFile = QStringLiteral("/etc/mirelo/ca.pem"); },
     "[Mirelo Security Settings]\r\nPOP3Security=0\r\nSMTPSecurity=0\r\nSMTPUser=\r\nSMTPPasswd=\r\n"
     "CAFile=/etc/mirelo/ca.pem\r\n"},
    {"SmtpPasswd", [](AgentSettings& s) { s.SMTPPasswd = QStringLiteral("Secr3t-pw"); }, ""},
};

class WriteTable : public SecuritySettings, public testing::WithParamInterface<WriteRow> {};

TEST_P(WriteTable, OneChangedKeyWritesTheWholeSectionAtTheEnd) {
    AgentSettings settings;
    GetParam().change(settings);
    Save(settings);
    const std::string section = Section();
    if (*GetParam().section != '\0') {
        EXPECT_EQ(section, GetParam().section);
    }
    // Last in the file, after the account key.
    EXPECT_LT(File().find("MireloKey="), File().find("[Mirelo Security Settings]"));

    AgentSettings loaded;
    EXPECT_TRUE(Load(loaded).corrections.empty());
    EXPECT_EQ(loaded, settings);
}

INSTANTIATE_TEST_SUITE_P(SecuritySettings, WriteTable, testing::ValuesIn(kWriteRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SecuritySettings, PasswordIsStoredScrambledNeverPlain) {
    AgentSettings settings;
    settings.SMTPPasswd = QStringLiteral("Secr3t-pw");
    Save(settings);
    EXPECT_EQ(File().find("Secr3t-pw"), std::string::npos);
    FixedRandom random({0.25, 0.5, 0.75});
    const std::string scrambled = ScrambleText("Secr3t-pw", kSmtpPasswdScrambleKey, random);
    EXPECT_NE(Section().find("\r\nSMTPPasswd=" + scrambled + "\r\n"), std::string::npos);
    EXPECT_EQ(UnscrambleText(scrambled, kSmtpPasswdScrambleKey), "Secr3t-pw");
}

TEST_F(SecuritySettings, SectionOnceInTheFileStaysWithDefaults) {
    AgentSettings settings;
    settings.POP3Security = 2;
    settings.SMTPUser = QStringLiteral("agent");
    Save(settings);
    Save(AgentSettings());
    EXPECT_EQ(Section(),
              "[Mirelo Security Settings]\r\nPOP3Security=0\r\nSMTPSecurity=0\r\nSMTPUser=\r\nSMTPPasswd=\r\n"
              "CAFile=\r\n");
}

TEST_F(SecuritySettings, HandWrittenSectionWithOneKeyIsCompleted) {
    WriteBytes(IniPath(), "[mirelo security settings]\r\nsmtpsecurity=2\r\n");
    AgentSettings settings;
    ASSERT_TRUE(Load(settings).corrections.empty());
    EXPECT_EQ(settings.SMTPSecurity, 2);
    Save(settings);
    EXPECT_EQ(Section("[mirelo security settings]"),
              "[mirelo security settings]\r\nSMTPSecurity=2\r\nPOP3Security=0\r\nSMTPUser=\r\nSMTPPasswd=\r\n"
              "CAFile=\r\n");
}

struct BadRow {
    const char* name;
    std::string line;
    const char* key;
    const char* logText;
};
void PrintTo(const BadRow& row, std::ostream* os) { *os << row.name; }

const BadRow kBadRows[] = {
    {"UnknownMode", "POP3Security=7", "POP3Security",
     "Mirelo.ini: POP3Security=\"7\" is not 0, 1 or 2; 0 used."},
    {"Negative", "SMTPSecurity=-1", "SMTPSecurity",
     "Mirelo.ini: SMTPSecurity=\"-1\" is not 0, 1 or 2; 0 used."},
    {"NotANumber", "SMTPSecurity=TLS", "SMTPSecurity",
     "Mirelo.ini: SMTPSecurity=\"TLS\" is not a 16-bit number; 0 used."},
    {"Empty", "POP3Security=", "POP3Security",
     "Mirelo.ini: POP3Security=\"\" is not a 16-bit number; 0 used."},
};

class BadTable : public SecuritySettings, public testing::WithParamInterface<BadRow> {};

TEST_P(BadTable, BadModeFallsBackToPlainTextAndIsReported) {
    WriteBytes(IniPath(), "[Mirelo Security Settings]\r\n" + GetParam().line + "\r\nSMTPUser=u\r\n");
    AgentSettings settings;
    const LoadResult result = Load(settings);
    ASSERT_EQ(result.corrections.size(), 1u);
    EXPECT_EQ(result.corrections[0].key, QLatin1String(GetParam().key));
    EXPECT_EQ(result.corrections[0].LogText(), QString::fromUtf8(GetParam().logText));
    EXPECT_EQ(settings.POP3Security, 0);
    EXPECT_EQ(settings.SMTPSecurity, 0);
    EXPECT_EQ(settings.SMTPUser, QStringLiteral("u"));
}

INSTANTIATE_TEST_SUITE_P(SecuritySettings, BadTable, testing::ValuesIn(kBadRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SecuritySettingFromText, ModesTakeOnlyTheirValues) {
    AgentSettings settings;
    EXPECT_EQ(SetSettingFromText(settings, QStringLiteral("POP3Security"), QStringLiteral("2")), QString());
    EXPECT_EQ(settings.POP3Security, 2);
    EXPECT_EQ(SetSettingFromText(settings, QStringLiteral("POP3Security"), QStringLiteral("3")),
              QStringLiteral("POP3Security: 0, 1 or 2, not \"3\""));
    EXPECT_EQ(settings.POP3Security, 2);
    EXPECT_EQ(SetSettingFromText(settings, QStringLiteral("SMTPPasswd"), QStringLiteral("pw")), QString());
    EXPECT_EQ(settings.SMTPPasswd, QStringLiteral("pw"));
}

TEST(SecurityRoundTrip, LongPathsFitButNotWithoutEnd) {
    AgentSettings settings;
    settings.CAFile = QString(259, u'a');
    EXPECT_EQ(SettingsRoundTripProblem(settings), std::nullopt);
    settings.CAFile += u'a';
    const auto problem = SettingsRoundTripProblem(settings);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, QStringLiteral("CAFile"));
    EXPECT_EQ(problem->kind, RoundTripProblemKind::TooLong);
}

}  // namespace
}  // namespace mirelo
