#include "agent/config/settings_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <ctime>

#include "agent/config/scramble.h"
#include "agent/config/tests/settings_test_support.h"
#include "agent/config/tests/test_random.h"
#include "mailcore/wide_text.h"

namespace mirelo {
namespace {

using namespace std::string_literals;

std::string Sjis(const char* utf8) { return mailcore::Utf8ToCp932(utf8); }

class SettingsFile : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString IniPath() const { return SettingsFilePath(dir_.path()); }
    QString Path(const char* name) const { return dir_.filePath(QString::fromUtf8(name)); }

    LoadResult Load(AgentSettings& settings) const { return LoadSettings(IniPath(), settings); }
    void Save(const AgentSettings& settings, RandomSource& random) const {
        const SaveResult saved = SaveSettings(IniPath(), settings, QStringLiteral("ALL"), random);
        ASSERT_TRUE(saved.ok) << saved.error.toStdString();
    }
    void Save(const AgentSettings& settings) const {
        ClockSeededRandom random;
        Save(settings, random);
    }
    // A stored INI file with "MireloKey" holding `account` scrambled.
    void WriteAccountKey(const std::string& account) const {
        FixedRandom random;
        WriteBytes(IniPath(),
                   "[Mirelo Other Settings]\r\nMireloKey=" + ScrambleText(account, 4021, random) + "\r\n");
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsFile, MissingFileGivesDefaultsAndStartsWizard) {
    AgentSettings settings = JapaneseSettings();
    settings.SvLogin.clear();
    settings.SvPasswd.clear();
    const LoadResult result = Load(settings);
    EXPECT_TRUE(result.startWizard);
    EXPECT_TRUE(result.corrections.empty());
    EXPECT_TRUE(result.readError.isEmpty());
    EXPECT_EQ(settings, AgentSettings());
    EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(SettingsFile, SaveThenLoadKeepsEveryField) {
    const AgentSettings saved = JapaneseSettings();
    ASSERT_EQ(SettingsRoundTripProblem(saved), std::nullopt);
    Save(saved);
    AgentSettings loaded;
    const LoadResult result = Load(loaded);
    EXPECT_FALSE(result.startWizard);
    EXPECT_TRUE(result.corrections.empty());
    EXPECT_EQ(loaded, saved);
}

TEST_F(SettingsFile, DefaultsSaveToExactBytes) {
    FixedRandom random;
    Save(AgentSettings(), random);
    EXPECT_EQ(ReadBytes(IniPath()),
              "[Mail Server Settings]\r\nPOP3Server=\r\nSMTPServer=\r\nPOP3Port=110\r\nSMTPPort=25\r\n"
              "FromMailAddr=\r\nFromName=\r\nCheckInterval=5\r\n"
              "[Mirelo Settings]\r\nMailAddr2=\r\nGetListCommand=LIST\r\nGetBodyCommand=BODY\r\n"
              "TransBodyCommand=TRAN\r\nDelMailCommand=DEL\r\nCommandBySubject=TRUE\r\nScreenLock=TRUE\r\n"
              "LockTelop=" +
                  Sjis("転送待機中です。") +
                  "\r\nNeedUnlockPassword=FALSE\r\nUnlockPassword=\r\n"
                  "LogFileName=Mirelo.log\r\n"
                  "[Mirelo Mail Settings]\r\nSeparateMax=10\r\nOneMailMaxChar=250\r\nOneMailMaxLine=20\r\n"
                  "TrimLine=TRUE\r\nRemoveBlankLine=TRUE\r\nRemoveQuote=TRUE\r\nQuoteTop=>>;>;|\r\n"
                  "TransHeader=MireloFw:\r\nListSubject=Mirelo %tlists\r\nMultiSendSubject=[%n]%s\r\n"
                  "AddTo=TRUE\r\nAddCc=TRUE\r\nAddFrom=TRUE\r\nAddSubject=FALSE\r\nAutoInform=FALSE\r\n"
                  "AutoInformInterval=120\r\n"
                  "[Mirelo Other Settings]\r\nSpecialCommandAccept=FALSE\r\nStartWizard=FALSE\r\n"
                  "MireloKey=C`\\" +
                  std::string(39, 'A') + "\r\n");
}

// The added key: missing means off and is not written while off; once in the file it follows the setting.
TEST_F(SettingsFile, DecodeCharsetsIsWrittenOnlyOnceUsed) {
    const std::string key = "AutoInformInterval=120\r\nDecodeCharsets=";
    AgentSettings settings;
    Save(settings);
    EXPECT_EQ(ReadBytes(IniPath()).find("DecodeCharsets"), std::string::npos);

    settings.DecodeCharsets = true;
    Save(settings);
    EXPECT_NE(ReadBytes(IniPath()).find(key + "TRUE\r\n"), std::string::npos);
    AgentSettings loaded;
    Load(loaded);
    EXPECT_TRUE(loaded.DecodeCharsets);

    settings.DecodeCharsets = false;
    Save(settings);
    EXPECT_NE(ReadBytes(IniPath()).find(key + "FALSE\r\n"), std::string::npos);
    Load(loaded);
    EXPECT_FALSE(loaded.DecodeCharsets);
}

TEST_F(SettingsFile, SavedFileIsPrivate) {
    WriteBytes(IniPath(), "[Mirelo Settings]\r\nScreenLock=FALSE\r\n");
    ASSERT_EQ(::chmod(IniPath().toLocal8Bit().constData(), 0644), 0);
    Save(JapaneseSettings());
    struct stat st {};
    ASSERT_EQ(::stat(IniPath().toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{QStringLiteral("Mirelo.ini")});
}

TEST_F(SettingsFile, TwoSavesScrambleDifferentlyAndLoadAlike) {
    const AgentSettings saved = JapaneseSettings();
    auto scrambled = [&] {
        const std::string bytes = ReadBytes(IniPath());
        auto value = [&](const std::string& key) {
            const std::size_t at = bytes.find("\r\n" + key + "=") + key.size() + 3;
            return bytes.substr(at, bytes.find("\r\n", at) - at);
        };
        return std::pair{value("UnlockPassword"), value("MireloKey")};
    };
    Save(saved);
    const auto first = scrambled();
    AgentSettings loaded_first;
    (void)Load(loaded_first);
    Save(saved);
    const auto second = scrambled();
    AgentSettings loaded_second;
    (void)Load(loaded_second);

    EXPECT_NE(first.first, second.first);
    EXPECT_NE(first.second, second.second);
    EXPECT_EQ(loaded_first, saved);
    EXPECT_EQ(loaded_second, saved);
}

TEST_F(SettingsFile, HandEditedFileLoadsAndKeepsForeignLines) {
    const std::string original =
        "; my settings\n"
        "[Mail Server Settings]\r\n"
        "pop3server = pop.example.jp\n"
        "POP3PORT=995\r\n"
        "[Extra]\n"
        "Note=" +
        Sjis("メモ") +
        "\n"
        "\n"
        "[mirelo settings]\r\n"
        "commandbysubject=TRUE\n"
        "screenlock=true\n"
        "locktelop=" +
        Sjis("留守") +
        "\r\n"
        "[MIRELO OTHER SETTINGS]\n"
        "startwizard=FALSE\n";
    WriteBytes(IniPath(), original);
    AgentSettings settings;
    const LoadResult result = Load(settings);
    EXPECT_FALSE(result.startWizard);
    EXPECT_EQ(settings.POP3Server, QStringLiteral("pop.example.jp"));
    EXPECT_EQ(settings.POP3Port, 995);
    EXPECT_TRUE(settings.CommandBySubject);
    EXPECT_FALSE(settings.ScreenLock) << "only the exact text TRUE is true";
    EXPECT_EQ(settings.LockTelop, QStringLiteral("留守"));
    EXPECT_EQ(settings.SMTPPort, 25);

    Save(settings);
    const std::string rewritten = ReadBytes(IniPath());
    EXPECT_NE(rewritten.find("; my settings\r\n"), std::string::npos);
    EXPECT_NE(rewritten.find("[Extra]\r\nNote=" + Sjis("メモ") + "\r\n\r\n[mirelo settings]\r\n"),
              std::string::npos);
    EXPECT_EQ(rewritten.find("pop3server"), std::string::npos) << "keys are rewritten in place";
    EXPECT_NE(rewritten.find("[Mail Server Settings]\r\nPOP3Server=pop.example.jp\r\nPOP3Port=995\r\n"),
              std::string::npos);
    for (std::size_t at = rewritten.find('\n'); at != std::string::npos; at = rewritten.find('\n', at + 1)) {
        ASSERT_EQ(rewritten[at - 1], '\r') << "every line ends with CR LF";
    }
    AgentSettings reloaded;
    (void)Load(reloaded);
    EXPECT_EQ(reloaded, settings);
}

// ---- Edge cases of the load -----------------------------------------------------------------

TEST_F(SettingsFile, LowerCaseTrueIsFalse) {
    WriteBytes(IniPath(), "[Mirelo Settings]\r\nCommandBySubject=true\r\n");
    AgentSettings settings;
    (void)Load(settings);
    EXPECT_FALSE(settings.CommandBySubject);
}

TEST_F(SettingsFile, AccountKeyWithOneBackslash) {
    WriteAccountKey("keitai@docomo.ne.jp\\user");
    AgentSettings settings;
    settings.SvLogin = QStringLiteral("old login");
    settings.SvPasswd = QStringLiteral("old password");
    (void)Load(settings);
    EXPECT_EQ(settings.MailAddr1, QStringLiteral("keitai@docomo.ne.jp"));
    EXPECT_EQ(settings.SvLogin, QString());
    EXPECT_EQ(settings.SvPasswd, QString());
}

TEST_F(SettingsFile, AccountKeyWithoutBackslashKeepsLoginAndPassword) {
    WriteAccountKey("keitai@docomo.ne.jp");
    AgentSettings settings;
    settings.MailAddr1 = QStringLiteral("before@example.jp");
    settings.SvLogin = QStringLiteral("old login");
    settings.SvPasswd = QStringLiteral("old password");
    (void)Load(settings);
    EXPECT_EQ(settings.MailAddr1, QString());
    EXPECT_EQ(settings.SvLogin, QStringLiteral("old login"));
    EXPECT_EQ(settings.SvPasswd, QStringLiteral("old password"));
}

TEST_F(SettingsFile, BackslashSurvivesInPasswordButNotInLogin) {
    AgentSettings saved;
    saved.MailAddr1 = QStringLiteral("keitai@docomo.ne.jp");
    saved.SvLogin = QStringLiteral("dom\\user");
    saved.SvPasswd = QStringLiteral("p\\a\\ss");
    Save(saved);
    AgentSettings loaded;
    (void)Load(loaded);
    EXPECT_EQ(loaded.SvLogin, QStringLiteral("dom"));
    EXPECT_EQ(loaded.SvPasswd, QStringLiteral("user\\p\\a\\ss"));

    saved.SvLogin = QStringLiteral("ソフト表");  // trail bytes 0x5C are not separators
    Save(saved);
    (void)Load(loaded);
    EXPECT_EQ(loaded.SvLogin, saved.SvLogin);
    EXPECT_EQ(loaded.SvPasswd, saved.SvPasswd);
}

TEST_F(SettingsFile, ReadWidths) {
    const std::string telop(120, 't');
    const std::string server(100, 's');
    WriteBytes(IniPath(), "[Mirelo Settings]\r\nLockTelop=" + telop +
                              "\r\n[Mail Server Settings]\r\nPOP3Server=" + server + "\r\n");
    AgentSettings settings;
    (void)Load(settings);
    EXPECT_EQ(settings.LockTelop, QString::fromStdString(telop));
    EXPECT_EQ(settings.POP3Server, QString::fromStdString(server.substr(0, 79)));
}

TEST_F(SettingsFile, MissingStartWizardStartsWizard) {
    Save(JapaneseSettings());
    std::string bytes = ReadBytes(IniPath());
    const std::size_t at = bytes.find("StartWizard=FALSE\r\n");
    ASSERT_NE(at, std::string::npos);
    bytes.erase(at, 19);
    WriteBytes(IniPath(), bytes);
    AgentSettings settings;
    EXPECT_TRUE(Load(settings).startWizard);
    EXPECT_EQ(settings, JapaneseSettings());
}

TEST_F(SettingsFile, NulCutsAValue) {
    WriteBytes(IniPath(), "[Mail Server Settings]\r\nPOP3Server=pop\0junk\r\n"s);
    AgentSettings settings;
    (void)Load(settings);
    EXPECT_EQ(settings.POP3Server, QStringLiteral("pop"));
}

struct NumberRow {
    const char* name;
    std::string stored;
    std::int16_t expected;
    bool corrected;
};
void PrintTo(const NumberRow& row, std::ostream* os) { *os << row.name; }

const NumberRow kNumberRows[] = {
    {"Plain", "7", 7, false},
    {"Negative", "-1", -1, false},
    {"PlusSign", "+12", 12, false},
    {"Blanks", "  42 ", 42, false},
    {"Largest", "32767", 32767, false},
    {"Smallest", "-32768", -32768, false},
    {"Empty", "", 5, true},
    {"Letters", "abc", 5, true},
    {"Trailing", "12x", 5, true},
    {"TooLarge", "32768", 5, true},
    {"TooSmall", "-32769", 5, true},
    {"Huge", "99999999999999999999", 5, true},
    {"Fraction", "1.5", 5, true},
    {"TwoSigns", "+-3", 5, true},
    {"FullWidthDigits", "\x82\x54", 5, true},
    {"PlaceholderText", "%1", 5, true},
};

class NumberTable : public SettingsFile, public testing::WithParamInterface<NumberRow> {};

TEST_P(NumberTable, BadNumbersFallBackToDefault) {
    WriteBytes(IniPath(), "[Mail Server Settings]\r\nCheckInterval=" + GetParam().stored + "\r\n");
    AgentSettings settings;
    const LoadResult result = Load(settings);
    EXPECT_EQ(settings.CheckInterval, GetParam().expected);
    if (!GetParam().corrected) {
        EXPECT_TRUE(result.corrections.empty());
        return;
    }
    ASSERT_EQ(result.corrections.size(), 1u);
    EXPECT_EQ(result.corrections[0].key, QStringLiteral("CheckInterval"));
    EXPECT_EQ(result.corrections[0].usedValue, 5);
    EXPECT_EQ(result.corrections[0].LogText(),
              QStringLiteral("Mirelo.ini: CheckInterval=\"") +
                  QString::fromStdU16String(mailcore::Cp932ToWide(GetParam().stored)).trimmed() +
                  QStringLiteral("\" is not a 16-bit number; 5 used."));
}

INSTANTIATE_TEST_SUITE_P(SettingsFile, NumberTable, testing::ValuesIn(kNumberRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFile, EveryBadNumberKeyIsReported) {
    WriteBytes(IniPath(),
               "[Mail Server Settings]\r\nPOP3Port=\r\nSMTPPort=x\r\n"
               "[Mirelo Mail Settings]\r\nOneMailMaxChar=70000\r\nAutoInformInterval=60\r\n");
    AgentSettings settings;
    const LoadResult result = Load(settings);
    ASSERT_EQ(result.corrections.size(), 3u);
    EXPECT_EQ(result.corrections[0].key, QStringLiteral("POP3Port"));
    EXPECT_EQ(result.corrections[1].key, QStringLiteral("SMTPPort"));
    EXPECT_EQ(result.corrections[2].key, QStringLiteral("OneMailMaxChar"));
    EXPECT_EQ(result.corrections[2].storedText, QStringLiteral("70000"));
    EXPECT_EQ(settings.POP3Port, 110);
    EXPECT_EQ(settings.SMTPPort, 25);
    EXPECT_EQ(settings.OneMailMaxChar, 250);
    EXPECT_EQ(settings.AutoInformInterval, 60);
}

// ---- Files from a UTF-8 editor --------------------------------------------------------------

const std::string kUtf8Mark = "\xEF\xBB\xBF";

struct MarkRow {
    const char* name;
    std::string bytes;  // the whole file
    QString fromName;
};
void PrintTo(const MarkRow& row, std::ostream* os) { *os << row.name; }

const MarkRow kMarkRows[] = {
    {"Utf8AfterMark", kUtf8Mark + "[Mail Server Settings]\r\nFromName=受付 エージェント\r\n",
     QStringLiteral("受付 エージェント")},
    // One "?" per character, also for one outside the 16-bit range.
    {"NotInCp932", kUtf8Mark + "[Mail Server Settings]\r\nFromName=한😀x\r\n", QStringLiteral("??x")},
    {"Cp932AfterMark", kUtf8Mark + "[Mail Server Settings]\r\nFromName=" + Sjis("受付") + "\r\n",
     QStringLiteral("受付")},
    // "付" is E4 BB 98 in UTF-8; cut after two bytes the text is not UTF-8 and E4 BB is "莉" in CP932.
    {"Utf8CutAtEnd", kUtf8Mark + "[Mail Server Settings]\r\nFromName=\xE4\xBB", QStringLiteral("莉")},
    {"NoMarkIsCp932", "[Mail Server Settings]\r\nFromName=" + Sjis("受付") + "\r\n", QStringLiteral("受付")},
};

class MarkTable : public SettingsFile, public testing::WithParamInterface<MarkRow> {};

TEST_P(MarkTable, FirstSectionLoads) {
    WriteBytes(IniPath(), GetParam().bytes);
    AgentSettings settings;
    (void)Load(settings);
    EXPECT_EQ(settings.FromName, GetParam().fromName);
}

INSTANTIATE_TEST_SUITE_P(SettingsFile, MarkTable, testing::ValuesIn(kMarkRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFile, SaveRewritesUtf8FileAsCp932) {
    WriteBytes(IniPath(), kUtf8Mark +
                              "[Mail Server Settings]\r\nPOP3Server=pop.example.jp\r\n"
                              "[Extra]\r\nNote=メモ\r\n");
    AgentSettings settings;
    (void)Load(settings);
    Save(settings);
    const std::string rewritten = ReadBytes(IniPath());
    EXPECT_EQ(rewritten.rfind("[Mail Server Settings]\r\nPOP3Server=pop.example.jp\r\n", 0), 0u)
        << "no mark, and the first section is not written twice";
    EXPECT_EQ(rewritten.find("[Mail Server Settings]", 1), std::string::npos);
    EXPECT_NE(rewritten.find("[Extra]\r\nNote=" + Sjis("メモ") + "\r\n"), std::string::npos);
}

// ---- Leftovers of killed saves --------------------------------------------------------------

enum class EntryKind { File, Folder, Symlink };

struct LeftoverRow {
    const char* name;
    const char* entry;
    EntryKind kind;
    mode_t mode;
    bool old;  // last written an hour ago, else just now
    bool kept;
};
void PrintTo(const LeftoverRow& row, std::ostream* os) { *os << row.name; }

const LeftoverRow kLeftoverRows[] = {
    {"Leftover", "Mirelo.ini.a1B2c3", EntryKind::File, 0, true, false},
    {"AnotherSaveRunning", "Mirelo.ini.Zz9yX8", EntryKind::File, 0, false, true},
    {"PersonsFileOfSixLetters", "Mirelo.ini.backup", EntryKind::File, 0600, true, true},
    {"ShorterSuffix", "Mirelo.ini.bak", EntryKind::File, 0, true, true},
    {"LongerSuffix", "Mirelo.ini.a1B2c3d", EntryKind::File, 0, true, true},
    {"OtherCharacter", "Mirelo.ini.a1-2c3", EntryKind::File, 0, true, true},
    {"OtherFile", "Other.ini.a1B2c3", EntryKind::File, 0, true, true},
    {"Folder", "Mirelo.ini.Q7w8E9", EntryKind::Folder, 0, true, true},
    {"Symlink", "Mirelo.ini.L1nk00", EntryKind::Symlink, 0, true, true},
};

class LeftoverTable : public SettingsFile, public testing::WithParamInterface<LeftoverRow> {};

TEST_P(LeftoverTable, SaveRemovesOnlyLeftovers) {
    const LeftoverRow& row = GetParam();
    const std::string entry = Path(row.entry).toStdString();
    const std::string target = Path("target").toStdString();
    switch (row.kind) {
        case EntryKind::File:
            WriteBytes(Path(row.entry), "[Mirelo Settings]\r\nScreen");
            break;
        case EntryKind::Folder:
            ASSERT_EQ(::mkdir(entry.c_str(), 0700), 0);
            break;
        case EntryKind::Symlink:
            // The target looks like a leftover in all but its name; neither it nor the link may go.
            WriteBytes(Path("target"), "x");
            ASSERT_EQ(::chmod(target.c_str(), 0), 0);
            ASSERT_EQ(::symlink(target.c_str(), entry.c_str()), 0);
            break;
    }
    if (row.kind != EntryKind::Symlink) {
        ASSERT_EQ(::chmod(entry.c_str(), row.mode), 0);
    }
    if (row.old) {
        const timespec hourAgo{std::time(nullptr) - 3600, 0};
        const timespec times[2] = {hourAgo, hourAgo};
        ASSERT_EQ(::utimensat(AT_FDCWD, entry.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
        if (row.kind == EntryKind::Symlink) {
            ASSERT_EQ(::utimensat(AT_FDCWD, target.c_str(), times, 0), 0);
        }
    }

    Save(AgentSettings());
    struct stat st {};
    EXPECT_EQ(::lstat(entry.c_str(), &st) == 0, row.kept);
    if (row.kind == EntryKind::Symlink) {
        EXPECT_EQ(::lstat(target.c_str(), &st), 0);
    }
    EXPECT_TRUE(QFileInfo(IniPath()).isFile());
}

INSTANTIATE_TEST_SUITE_P(SettingsFile, LeftoverTable, testing::ValuesIn(kLeftoverRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Failed saves ---------------------------------------------------------------------------
// Tests run as root, where permission bits do not stop a write. The failures are made another way: a
// program folder that is a regular file, an old "Mirelo.ini" that is a folder, and a file-size limit
// that makes the write itself fail half way.

TEST_F(SettingsFile, SaveIntoFolderThatIsAFileFails) {
    WriteBytes(Path("not-a-folder"), "x");
    const SaveResult result =
        SaveSettings(SettingsFilePath(Path("not-a-folder")), AgentSettings(), QStringLiteral("ALL"));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("not-a-folder/Mirelo.ini")))
        << result.error.toStdString();
    EXPECT_EQ(ReadBytes(Path("not-a-folder")), "x");
}

TEST_F(SettingsFile, UnreadableOldFileIsNotReplaced) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("Mirelo.ini")));
    const SaveResult result = SaveSettings(IniPath(), AgentSettings(), QString());
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("cannot read"))) << result.error.toStdString();
    EXPECT_TRUE(QFileInfo(IniPath()).isDir());
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList());

    AgentSettings settings;
    const LoadResult loaded = Load(settings);
    EXPECT_TRUE(loaded.startWizard);
    EXPECT_TRUE(loaded.readError.contains(QStringLiteral("Mirelo.ini"))) << loaded.readError.toStdString();
    EXPECT_EQ(settings, AgentSettings());
}

TEST_F(SettingsFile, WriteFailureLeavesOldFileAndNoTemporary) {
    const std::string old = "[Mirelo Settings]\r\nLockTelop=" + std::string(3000, 'o') + "\r\n";
    WriteBytes(IniPath(), old);
    const AgentSettings settings;
    // In a child: the size limit must not touch the test process.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{512, 512};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const SaveResult result = SaveSettings(IniPath(), settings, QStringLiteral("ALL"));
        const bool reported = !result.ok && result.error.contains(QStringLiteral("cannot write"));
        ::_exit(reported ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write is reported";
    EXPECT_EQ(ReadBytes(IniPath()), old);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{QStringLiteral("Mirelo.ini")});
}

TEST_F(SettingsFile, ReadOnlyFolderWhenNotRoot) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    WriteBytes(IniPath(), "old");
    ASSERT_EQ(::chmod(dir_.path().toLocal8Bit().constData(), 0500), 0);
    const SaveResult result = SaveSettings(IniPath(), AgentSettings(), QStringLiteral("ALL"));
    ::chmod(dir_.path().toLocal8Bit().constData(), 0700);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(ReadBytes(IniPath()), "old");
}

TEST(CutAtNull, Texts) {
    EXPECT_EQ(CutAtNull(QStringLiteral("abc")), QStringLiteral("abc"));
    EXPECT_EQ(CutAtNull(QString::fromUtf16(u"ab\0c", 4)), QStringLiteral("ab"));
    EXPECT_EQ(CutAtNull(QString::fromUtf16(u"\0c", 2)), QString());
    EXPECT_EQ(CutAtNull(std::string_view("x\0y", 3)), "x");
}

}  // namespace
}  // namespace mirelo
