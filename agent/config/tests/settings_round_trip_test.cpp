#include <gtest/gtest.h>

#include <functional>

#include "agent/config/settings_file.h"
#include "agent/config/tests/settings_test_support.h"

namespace mirelo {
namespace {

struct RoundTripRow {
    const char* name;
    std::function<void(AgentSettings&)> change;
    const char* field;  // nullptr: the values come back
    RoundTripProblemKind kind = RoundTripProblemKind::NotCp932;
};
void PrintTo(const RoundTripRow& row, std::ostream* os) { *os << row.name; }

using K = RoundTripProblemKind;
QString Repeat(int n, char16_t c) { return QString(n, QChar(c)); }

const RoundTripRow kRows[] = {
    {"Defaults", [](AgentSettings&) {}, nullptr},
    {"Japanese", [](AgentSettings& s) { s = JapaneseSettings(); }, nullptr},
    {"BackslashInPhoneAddress", [](AgentSettings& s) { s.MailAddr1 = QStringLiteral("a\\b@docomo.ne.jp"); },
     "MailAddr1", K::Backslash},
    {"BackslashInLogin", [](AgentSettings& s) { s.SvLogin = QStringLiteral("dom\\user"); }, "SvLogin",
     K::Backslash},
    {"BackslashInPassword", [](AgentSettings& s) { s.SvPasswd = QStringLiteral("p\\w"); }, nullptr},
    {"TildeToLeadByteInPassword",
     [](AgentSettings& s) {
         s.MailAddr1 = QStringLiteral("ab");
         s.SvPasswd = QStringLiteral("~");  // fifth character: shifted by 4 to 0x82
     },
     "SvPasswd", K::UnstorableScramble},
    {"TildeToDelInPassword",
     [](AgentSettings& s) {
         s.MailAddr1 = QStringLiteral("a");
         s.SvPasswd = QStringLiteral("~");  // fourth character: shifted by 1 to 0x7F
     },
     nullptr},
    {"TildeInUnlockPassword", [](AgentSettings& s) { s.UnlockPassword = QStringLiteral("~~"); },
     "UnlockPassword", K::UnstorableScramble},
    {"KatakanaAtRangeEnd", [](AgentSettings& s) { s.UnlockPassword = QStringLiteral("ﾟ"); }, "UnlockPassword",
     K::UnstorableScramble},
    {"TrailLeavesRange", [](AgentSettings& s) { s.UnlockPassword = QStringLiteral("ab蔭"); },
     "UnlockPassword", K::UnstorableScramble},
    {"TabToLineFeed", [](AgentSettings& s) { s.UnlockPassword = QStringLiteral("\tb"); }, "UnlockPassword",
     K::UnstorableScramble},
    {"TabToFormFeed", [](AgentSettings& s) { s.UnlockPassword = QStringLiteral("a\tb"); }, nullptr},
    {"LeadingBlankScrambled", [](AgentSettings& s) { s.UnlockPassword = QStringLiteral(" pw"); }, nullptr},
    {"AccountTooLong", [](AgentSettings& s) { s.SvPasswd = Repeat(130, u'p'); }, "SvPasswd", K::TooLong},
    {"LongAddressPushesLoginOut",
     [](AgentSettings& s) {
         s.MailAddr1 = Repeat(100, u'm');
         s.SvLogin = Repeat(30, u'l');
     },
     "SvLogin", K::TooLong},
    {"AccountFillsWidthExactly",
     [](AgentSettings& s) {
         s.MailAddr1 = Repeat(60, u'm');
         s.SvLogin = Repeat(30, u'l');
         s.SvPasswd = Repeat(34, u'p');
     },
     nullptr},
    {"AccountOverWidthByOne",
     [](AgentSettings& s) {
         s.MailAddr1 = Repeat(60, u'm');
         s.SvLogin = Repeat(30, u'l');
         s.SvPasswd = Repeat(35, u'p');
     },
     "SvPasswd", K::TooLong},
    {"TrailingBlankWithoutFiller",
     [](AgentSettings& s) { s.SvPasswd = Repeat(39, u'p') + u' '; },  // 42nd character, shifted by 0
     "SvPasswd", K::OuterBlank},
    {"TrailingBlankBeforeFiller", [](AgentSettings& s) { s.SvPasswd = QStringLiteral("abc "); }, nullptr},
    {"UnlockPasswordFits", [](AgentSettings& s) { s.UnlockPassword = Repeat(78, u'a'); }, nullptr},
    {"UnlockPasswordTooLong", [](AgentSettings& s) { s.UnlockPassword = Repeat(79, u'a'); }, "UnlockPassword",
     K::TooLong},
    {"ServerFits", [](AgentSettings& s) { s.POP3Server = Repeat(79, u's'); }, nullptr},
    {"ServerTooLong", [](AgentSettings& s) { s.POP3Server = Repeat(80, u's'); }, "POP3Server", K::TooLong},
    {"TelopFits", [](AgentSettings& s) { s.LockTelop = Repeat(127, u't'); }, nullptr},
    {"TelopTooLongInBytes", [](AgentSettings& s) { s.LockTelop = Repeat(64, u'待'); }, "LockTelop",
     K::TooLong},
    {"HangulName", [](AgentSettings& s) { s.FromName = QStringLiteral("한국"); }, "FromName", K::NotCp932},
    {"EmojiPassword", [](AgentSettings& s) { s.SvPasswd = QStringLiteral("pw😀"); }, "SvPasswd", K::NotCp932},
    {"LineBreakInTelop", [](AgentSettings& s) { s.LockTelop = QStringLiteral("a\r\nb"); }, "LockTelop",
     K::LineBreak},
    {"LeadingBlank", [](AgentSettings& s) { s.POP3Server = QStringLiteral(" pop.example.jp"); }, "POP3Server",
     K::OuterBlank},
    {"TrailingBlank", [](AgentSettings& s) { s.FromName = QStringLiteral("name "); }, "FromName",
     K::OuterBlank},
    {"InnerBlanksAndTabs", [](AgentSettings& s) { s.FromName = QStringLiteral("a \t b"); }, nullptr},
};

class RoundTripTable : public testing::TestWithParam<RoundTripRow> {};

TEST_P(RoundTripTable, ProblemIsReportedExactlyWhenValuesDoNotComeBack) {
    const RoundTripRow& row = GetParam();
    AgentSettings saved;
    row.change(saved);

    const auto problem = SettingsRoundTripProblem(saved);
    if (row.field == nullptr) {
        EXPECT_EQ(problem, std::nullopt) << problem->message.toStdString();
    } else {
        ASSERT_TRUE(problem.has_value());
        EXPECT_EQ(problem->field, QString::fromLatin1(row.field));
        EXPECT_EQ(problem->kind, row.kind);
        EXPECT_TRUE(problem->message.startsWith(problem->field + u' ')) << problem->message.toStdString();
    }

    // The real save and load agree with the verdict.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = SettingsFilePath(dir.path());
    ASSERT_TRUE(SaveSettings(path, saved, QStringLiteral("ALL")).ok);
    AgentSettings loaded;
    (void)LoadSettings(path, loaded);
    EXPECT_EQ(loaded == saved, row.field == nullptr);
}

INSTANTIATE_TEST_SUITE_P(SettingsRoundTrip, RoundTripTable, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mirelo
