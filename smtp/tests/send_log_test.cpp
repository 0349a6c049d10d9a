#include "smtp/send_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "mailcore/unique_fd.h"
#include "smtp/file_lock.h"

namespace outlark {
namespace {

namespace fs = std::filesystem;

constexpr std::time_t kInstant = 1796508309;  // Sun, 6 Dec 2026 7:5:9 in Japan

SendRecord Record(std::int32_t status) {
    SendRecord r;
    r.status = status;
    r.server = "smtp.example.com";
    r.to = "to@example.com";
    r.from = "from@example.com";
    r.subject = "\x82\xa0";
    r.body = "line 1\r\nline 2\nline 3";
    r.filename = "0";
    return r;
}

TEST(FormatSendRecordTest, SuccessAndFailureLines) {
    setenv("TZ", "JST-9", 1);
    tzset();
    const std::string rest =
        "Server:\r\n  smtp.example.com\r\nTo:\r\n  to@example.com\r\nFrom:\r\n  from@example.com\r\n"
        "Subject:\r\n  \x82\xa0\r\nBody:\r\n  line 1\r\nline 2\r\nline 3\r\nFilename:\r\n  0\r\n\r\n";
    EXPECT_EQ(
        FormatSendRecord(Record(1), kInstant, 7),
        "2026/12/06 07:05:09.007\r\nStatus:\r\n  \x90\xac\x8c\xf7 (P=25, T=0, E=0, H=1, W=76, ST=30, RT=30, "
        "S=1)\r\n" +
            rest);
    SendRecord refused = Record(-4);
    refused.sync = 0;
    refused.encode = 2;
    EXPECT_EQ(
        FormatSendRecord(refused, kInstant, 999),
        "2026/12/06 07:05:09.999\r\nStatus:\r\n  -4 (P=25, T=0, E=2, H=1, W=76, ST=30, RT=30, S=0)\r\n" +
            rest);
}

class SendLogTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/outlark-log-XXXXXX";
        dir_ = mkdtemp(pattern);
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        log_ = (dir_ / "Outlark.log").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string LogText() const {
        std::ifstream in(log_, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    fs::path dir_;
    std::string log_;
};

TEST_F(SendLogTest, AppendsRecords) {
    EXPECT_TRUE(WriteSendRecord(log_, Record(1)));
    EXPECT_TRUE(WriteSendRecord(log_, Record(-5)));
    std::string text = LogText();
    EXPECT_NE(text.find("Status:\r\n  \x90\xac\x8c\xf7"), std::string::npos);
    EXPECT_NE(text.find("Status:\r\n  -5 (P=25"), std::string::npos);
    EXPECT_TRUE(text.ends_with("Filename:\r\n  0\r\n\r\n"));
}

TEST_F(SendLogTest, UnwritableLogIsReportedNotDropped) {
    EXPECT_FALSE(WriteSendRecord((dir_ / "no" / "such" / "dir.log").string(), Record(1)));
    EXPECT_FALSE(WriteSendRecord(dir_.string(), Record(1)));  // a folder
    EXPECT_FALSE(fs::exists(dir_ / "no"));
    EXPECT_TRUE(WriteSendRecord("", Record(1)));  // no log asked for
}

TEST_F(SendLogTest, LockHeldOnTheLogGivesUpAfterTheWaitAndSaysSo) {
    mailcore::UniqueFd other(::open(log_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    ASSERT_TRUE(other);
    FileLock held(other.get(), std::chrono::milliseconds(0));
    ASSERT_TRUE(held.owns());
    EXPECT_FALSE(WriteSendRecord(log_, Record(1), std::chrono::milliseconds(30)));
    EXPECT_EQ(LogText(), "");
}

// No lock file is left anywhere: a folder shared by several users holds nothing that could shut one out.
TEST_F(SendLogTest, NoLockFileOutsideTheLog) {
    EXPECT_TRUE(WriteSendRecord(log_, Record(1)));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Outlark.log"});
}

// Two users sharing one log: the first one's writing must not shut the second out.
TEST_F(SendLogTest, SecondUserAppendsAfterTheFirst) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    fs::permissions(dir_, fs::perms::all);
    ASSERT_TRUE(WriteSendRecord(log_, Record(1)));
    fs::permissions(log_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(2);
        _exit(WriteSendRecord(log_, Record(-4)) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(LogText().find("Status:\r\n  -4 (P="), std::string::npos);
}

// Each record carries its writer's tag in every field, with a body large enough that a torn write would show.
SendRecord Tagged(const std::string& tag) {
    SendRecord r;
    r.status = 1;
    r.server = r.to = r.from = r.subject = r.filename = tag;
    for (int i = 0; i < 2000; ++i) r.body += tag + " body line\r\n";
    return r;
}

// Checks that the log is a sequence of whole records and counts them per tag.
std::map<std::string, int> WholeRecords(const std::string& text) {
    std::map<std::string, int> counts;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t server = text.find("Server:\r\n  ", pos);
        if (server == std::string::npos) break;
        size_t tag_start = server + 11;
        std::string tag = text.substr(tag_start, text.find("\r\n", tag_start) - tag_start);
        std::string expected_tail = FormatSendRecord(Tagged(tag), 0, 0);
        expected_tail = expected_tail.substr(expected_tail.find("Server:"));
        if (text.compare(server, expected_tail.size(), expected_tail) != 0) {
            ADD_FAILURE() << "torn record of " << tag << " at byte " << server;
            return counts;
        }
        ++counts[tag];
        pos = server + expected_tail.size();
    }
    return counts;
}

TEST_F(SendLogTest, ThreadsAndProcessesNeverInterleave) {
    constexpr int kPerWriter = 40;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool all = true;
        for (int i = 0; i < kPerWriter; ++i) all = WriteSendRecord(log_, Tagged("process")) && all;
        _exit(all ? 0 : 1);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kPerWriter; ++i) {
                EXPECT_TRUE(WriteSendRecord(log_, Tagged("thread" + std::to_string(t))));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    auto counts = WholeRecords(LogText());
    EXPECT_EQ(counts["process"], kPerWriter);
    for (int t = 0; t < 4; ++t) EXPECT_EQ(counts["thread" + std::to_string(t)], kPerWriter);
}

}  // namespace
}  // namespace outlark
