#include "agent/engine/agent_log.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string_view>

#include "agent/engine/log_texts.h"
#include "mailcore/wide_text.h"

namespace mirelo {
namespace {

using namespace std::string_view_literals;

const QDateTime kMorning(QDate(2026, 12, 7), QTime(9, 5, 3));

QString Text(std::u16string_view text) { return QString::fromUtf16(text.data(), text.size()); }

std::string ReadBytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct LineRow {
    const char* name;
    QString message;
    QDateTime when;
    std::string expected;
};
void PrintTo(const LineRow& row, std::ostream* os) { *os << row.name; }

const LineRow kLineRows[] = {
    {"ConnectFailure", log_text::ErrorConnectByName(-3), kMorning,
     "ERROR ConnectByName:-3 2026/12/07 9:05:03\r\n"},
    {"LeadingBlanksKept", log_text::DeleteMailNo(1), kMorning, "  Delete mail No.1 2026/12/07 9:05:03\r\n"},
    {"AfternoonTwoDigitHour", log_text::ChangeWaitingMode(), QDateTime(QDate(2027, 1, 31), QTime(23, 59, 9)),
     "<-- Change Waiting Mode --> 2027/01/31 23:59:09\r\n"},
    {"Midnight", log_text::ExitWaitingMode(), QDateTime(QDate(2026, 2, 1), QTime(0, 0, 0)),
     ">-- Exit Waiting Mode --< 2026/02/01 0:00:00\r\n"},
    // "携帯" is 0x8C67 0x91D1 in Shift_JIS.
    {"JapaneseValueInCp932", log_text::IllegalMailAddress(QStringLiteral("携帯@例")), kMorning,
     "  Illegal mail address -- \x8C\x67\x91\xD1@" + mailcore::Utf8ToCp932("例") + " 2026/12/07 9:05:03\r\n"},
    // An address from a mail that tries to add a line of its own.
    {"ForgedLineStaysOnOne",
     log_text::IllegalMailAddress(QStringLiteral("a@b\r\n!!QUIT COMMAND ACCEPT!! 2026/12/07 9:05:03")),
     kMorning,
     "  Illegal mail address -- a@b  !!QUIT COMMAND ACCEPT!! 2026/12/07 9:05:03 2026/12/07 9:05:03\r\n"},
    {"LoneCrAndLf", Text(u"a\rb\nc"), kMorning, "a b c 2026/12/07 9:05:03\r\n"},
    {"NulTabEscDel", Text(u"\0\t\x1B\x1F\x7F|"sv), kMorning, "     | 2026/12/07 9:05:03\r\n"},
    {"C1Controls", Text(u"\x80\x85\x9F|"), kMorning, "   | 2026/12/07 9:05:03\r\n"},
    {"UnicodeSeparators", Text(u"a\u2028b\u2029c"), kMorning, "a b c 2026/12/07 9:05:03\r\n"},
    // The neighbours of the ranges are text; CP932 holds neither U+00A0 nor U+2027, hence "?".
    {"NeighboursKept", Text(u" ~\xA0\u2027"), kMorning, " ~?? 2026/12/07 9:05:03\r\n"},
};

class LineTable : public testing::TestWithParam<LineRow> {};

TEST_P(LineTable, ExactBytes) {
    EXPECT_EQ(FormatLogLine(GetParam().message, GetParam().when), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(AgentLog, LineTable, testing::ValuesIn(kLineRows),
                         [](const auto& info) { return std::string(info.param.name); });

class AgentLogFile : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString LogPath() const { return dir_.filePath(QStringLiteral("Mirelo.log")); }
    AgentLog MakeLog() const {
        return AgentLog(dir_.path(), settings_, [] { return kMorning; });
    }

    QTemporaryDir dir_;
    AgentSettings settings_;
};

TEST_F(AgentLogFile, DeletionRunInOrder) {
    const AgentLog log = MakeLog();
    log.WriteLog(log_text::DeleteMailStart(QStringLiteral("1,3")));
    log.WriteLog(log_text::DeleteMailNo(1));
    log.WriteLog(log_text::DeleteMailNo(3));
    log.WriteLog(log_text::DeleteMailEnd());
    EXPECT_EQ(ReadBytes(LogPath()),
              "+Delete mail start--> 1,3 2026/12/07 9:05:03\r\n"
              "  Delete mail No.1 2026/12/07 9:05:03\r\n"
              "  Delete mail No.3 2026/12/07 9:05:03\r\n"
              "-Delete mail end. 2026/12/07 9:05:03\r\n");
}

TEST_F(AgentLogFile, AppendsToExistingFile) {
    std::ofstream(LogPath().toStdString(), std::ios::binary) << "old line\r\n";
    MakeLog().WriteLog(log_text::QuitCommandAccept());
    EXPECT_EQ(ReadBytes(LogPath()), "old line\r\n!!QUIT COMMAND ACCEPT!! 2026/12/07 9:05:03\r\n");
}

TEST_F(AgentLogFile, EmptyNameWritesNothing) {
    settings_.LogFileName.clear();
    const AgentLog log = MakeLog();
    EXPECT_TRUE(log.LogFilePath().isEmpty());
    log.WriteLog(log_text::ChangeWaitingMode());
    EXPECT_TRUE(QDir(dir_.path()).isEmpty());
}

TEST_F(AgentLogFile, NameIsReadAtEveryLine) {
    const AgentLog log = MakeLog();
    log.WriteLog(QStringLiteral("one"));
    settings_.LogFileName = QStringLiteral("other.log");
    log.WriteLog(QStringLiteral("two"));
    settings_.LogFileName.clear();
    log.WriteLog(QStringLiteral("three"));
    EXPECT_EQ(ReadBytes(LogPath()), "one 2026/12/07 9:05:03\r\n");
    EXPECT_EQ(ReadBytes(dir_.filePath(QStringLiteral("other.log"))), "two 2026/12/07 9:05:03\r\n");
}

TEST_F(AgentLogFile, UnwritableLogLosesTheLineOnly) {
    // A folder where the file should be: the open fails (also as root).
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("Mirelo.log")));
    MakeLog().WriteLog(log_text::ChangeWaitingMode());
    EXPECT_TRUE(QFileInfo(LogPath()).isDir());
    const AgentLog nowhere(dir_.filePath(QStringLiteral("no/such/folder")), settings_);
    nowhere.WriteLog(log_text::ChangeWaitingMode());
}

TEST_F(AgentLogFile, TwoProcessesInterleaveWholeLinesOnly) {
    constexpr int kLines = 400;
    // Long lines make a torn write likely if lines were written in pieces.
    const QString payload(300, QChar(u'漢'));
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            const AgentLog log = MakeLog();
            for (int i = 0; i < kLines; ++i) log.WriteLog(QStringLiteral("P%1 %2 ").arg(c).arg(i) + payload);
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    const std::string tail =
        mailcore::WideToCp932(u" " + payload.toStdU16String() + u" 2026/12/07 9:05:03\r");
    std::istringstream lines(ReadBytes(LogPath()));
    std::map<int, int> next{{0, 0}, {1, 0}};
    std::string line;
    int total = 0;
    while (std::getline(lines, line)) {
        ++total;
        ASSERT_EQ(line.rfind('P', 0), 0u) << "line " << total;
        const int process = line[1] - '0';
        ASSERT_TRUE(process == 0 || process == 1) << "line " << total;
        const std::string number = std::to_string(next[process]++);
        ASSERT_EQ(line.substr(3, number.size()), number) << "each process's lines in order";
        ASSERT_EQ(line.substr(3 + number.size()), tail) << "line " << total << " is whole";
    }
    EXPECT_EQ(total, 2 * kLines);
}

}  // namespace
}  // namespace mirelo
