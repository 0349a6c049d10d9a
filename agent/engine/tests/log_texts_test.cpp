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

// Every text with the leading blanks and punctuation the owner's log readers see.
const TextRow kRows[] = {
    {"ChangeWaitingMode", ChangeWaitingMode(), "<-- Change Waiting Mode -->"},
    {"ExitWaitingMode", ExitWaitingMode(), ">-- Exit Waiting Mode --<"},
    {"WrongPasswordForQuit", WrongPasswordForQuit(), "!!Wrong password(for quit waiting mode)!!"},
    {"ErrorConnectByName", ErrorConnectByName(10061), "ERROR ConnectByName:10061"},
    {"ErrorAuthorizeNegative", ErrorAuthorize(-3), "ERROR Authorize:-3"},
    {"ErrorStat", ErrorStat(0), "ERROR STAT:0"},
    {"QuitCommandAccept", QuitCommandAccept(), "!!QUIT COMMAND ACCEPT!!"},
    {"ErrorTop", ErrorTop(-1), "ERROR TOP_:-1"},
    {"ErrorMakeDataEx", ErrorMakeDataEx(2), "ERROR MakeDataEx:2"},
    {"MasterAddressChanged", MasterAddressChanged(QStringLiteral("new@docomo.ne.jp")),
     "!!MASTER ADDRESS CHANGED!!--> new@docomo.ne.jp"},
    {"ErrorAddressChange", ErrorAddressChange(QStringLiteral("bad,addr")),
     "ERROR ADDRESS CHANGE--> bad,addr"},
    {"AllListSendStart", AllListSendStart(), "+All list send start."},
    {"LatestListSendStart", LatestListSendStart(), "+Latest list send start."},
    {"AutoInformListing", AutoInformListing(), "  AutoInform listing."},
    {"AfterDeleteListing", AfterDeleteListing(), "  After delete listing."},
    {"MailListSendEnd", MailListSendEnd(12), "-Mail list send end(12 lists)."},
    {"MailListSendEndNothing", MailListSendEnd(0), "-Mail list send end(0 lists)."},
    {"IllegalMailAddress", IllegalMailAddress(QStringLiteral("@x")), "  Illegal mail address -- @x"},
    {"MailListSendFailed", MailListSendFailed(), "-Mail list send failed."},
    {"ErrorSendMailIllegalAddress", ErrorSendMailIllegalAddress(), "ERROR SendMail:Illegal mailaddress"},
    {"SendTo", SendTo(QStringLiteral("k@docomo.ne.jp"), 180), "  Send to k@docomo.ne.jp(180 Char)."},
    {"SendToPart", SendToPart(QStringLiteral("k@docomo.ne.jp"), 2, 250),
     "  Send to k@docomo.ne.jp part2(250 Char)."},
    {"ErrorSendMail", ErrorSendMail(-7), "ERROR SendMail:-7"},
    {"MailBodySendStart", MailBodySendStart(QStringLiteral("1,3-5")), "+Mail body send start--> 1,3-5"},
    {"TransferBodyStart", TransferBodyStart(QStringLiteral("ALL")), "+Transfer body start--> ALL"},
    {"ErrorRetr", ErrorRetr(0), "ERROR RETR:0"},
    {"ErrorMakeData", ErrorMakeData(-2), "ERROR MakeData:-2"},
    {"SendingMailNo", SendingMailNo(4), " Sending mail No.4"},
    {"MailBodySendEnd", MailBodySendEnd(), "-Mail body send end."},
    {"TransferBodyEnd", TransferBodyEnd(), "-Transfer body end."},
    {"MailBodySendFailed", MailBodySendFailed(), "-Mail body send failed."},
    {"TransferBodyFailed", TransferBodyFailed(), "-Transfer body failed."},
    {"DeleteMailStart", DeleteMailStart(QStringLiteral("1,3")), "+Delete mail start--> 1,3"},
    {"DeleteMailNo", DeleteMailNo(3), "  Delete mail No.3"},
    {"ErrorDele", ErrorDele(3, -1), "ERROR DELE(3):-1"},
    {"DeleteMailEnd", DeleteMailEnd(), "-Delete mail end."},
    {"EnvironmentChangeStart", EnvironmentChangeStart(), "+Mirelo environment change start."},
    {"EnvironmentChangeAbortWrongPassword", EnvironmentChangeAbortWrongPassword(),
     "-Mirelo environment change abort(!!wrong password!!)."},
    {"ChangeMailAddress", ChangeMailAddress(QStringLiteral("n@docomo.ne.jp")),
     "  !!Change mail address to n@docomo.ne.jp!!"},
    {"EnvironmentChangeAbortWrongSetting", EnvironmentChangeAbortWrongSetting(3),
     "-Mirelo environment change abort(wrong setting3)."},
    {"EnvironmentChangeEnd", EnvironmentChangeEnd(), "-Mirelo environment change end."},
};

class LogTextTable : public testing::TestWithParam<TextRow> {};

TEST_P(LogTextTable, ExactText) { EXPECT_EQ(GetParam().actual, QString::fromUtf8(GetParam().expected)); }

INSTANTIATE_TEST_SUITE_P(LogText, LogTextTable, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mirelo::log_text
