#include "agent/engine/log_texts.h"

#include <gtest/gtest.h>

namespace mirelo::log_text {
namespace {

struct TextRow {
    const char* name;
    QString actual;
    const char* expected;  // UTF-8 of the exact line text
};
void PrintTo(const TextRow& row, std::ostream* os) { *os << row.name; }

// Texts put together from fixed parts and values: leading blanks, separators, signs.
const TextRow kRows[] = {
    {"ErrorConnectByName", ErrorConnectByName(10061), "ERROR ConnectByName:10061"},
    {"ErrorAuthorizeNegative", ErrorAuthorize(-3), "ERROR Authorize:-3"},
    {"ErrorRetrWithCause", ErrorRetr(0, QStringLiteral("RETR 3: negative reply: -ERR locked")),
     "ERROR RETR:0 RETR 3: negative reply: -ERR locked"},
    {"MasterAddressChanged", MasterAddressChanged(QStringLiteral("new@docomo.ne.jp")),
     "!!MASTER ADDRESS CHANGED!!--> new@docomo.ne.jp"},
    {"AutoInformListing", AutoInformListing(), "  AutoInform listing."},
    {"AfterDeleteListing", AfterDeleteListing(), "  After delete listing."},
    {"MailListSendEnd", MailListSendEnd(12), "-Mail list send end(12 lists)."},
    {"MailListSendEndNothing", MailListSendEnd(0), "-Mail list send end(0 lists)."},
    {"IllegalMailAddress", IllegalMailAddress(QStringLiteral("@x")), "  Illegal mail address -- @x"},
    {"SendTo", SendTo(QStringLiteral("k@docomo.ne.jp"), 180), "  Send to k@docomo.ne.jp(180 Char)."},
    {"SendToPart", SendToPart(QStringLiteral("k@docomo.ne.jp"), 2, 250),
     "  Send to k@docomo.ne.jp part2(250 Char)."},
    {"ErrorSendMail", ErrorSendMail(-7), "ERROR SendMail:-7"},
    {"MailBodySendStart", MailBodySendStart(QStringLiteral("1,3-5")), "+Mail body send start--> 1,3-5"},
    {"SendingMailNo", SendingMailNo(4), " Sending mail No.4"},
    {"DeleteMailStart", DeleteMailStart(QStringLiteral("1,3")), "+Delete mail start--> 1,3"},
    {"DeleteMailNo", DeleteMailNo(3), "  Delete mail No.3"},
    {"ErrorDele", ErrorDele(3, -1), "ERROR DELE(3):-1"},
    {"ErrorDeleWithCause", ErrorDele(3, 0, QStringLiteral("DELE 3: timed out")),
     "ERROR DELE(3):0 DELE 3: timed out"},
    {"ChangeMailAddress", ChangeMailAddress(QStringLiteral("n@docomo.ne.jp")),
     "  !!Change mail address to n@docomo.ne.jp!!"},
    {"EnvironmentChangeAbortWrongSetting", EnvironmentChangeAbortWrongSetting(3),
     "-Mirelo environment change abort(wrong setting3)."},
    {"ErrorSaveSettings",
     ErrorSaveSettings(QStringLiteral("cannot write /h/Mirelo.ini.x: No space left on device")),
     "ERROR SaveSettings:cannot write /h/Mirelo.ini.x: No space left on device"},
};

class LogTextTable : public testing::TestWithParam<TextRow> {};

TEST_P(LogTextTable, ExactText) { EXPECT_EQ(GetParam().actual, QString::fromUtf8(GetParam().expected)); }

INSTANTIATE_TEST_SUITE_P(LogText, LogTextTable, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mirelo::log_text
