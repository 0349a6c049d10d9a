#include "pop3/attachment_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "pop3/message_store.h"
#include "pop3/tests/mail_builder.h"

namespace inlark {
namespace {

namespace fs = std::filesystem;

struct NameCase {
    const char* name;
    std::string given;
    std::string safe;
};

class SafeNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(SafeNameTest, StaysInTheDirectory) {
    EXPECT_EQ(SafeAttachmentFileName(GetParam().given), GetParam().safe);
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, SafeNameTest,
    ::testing::Values(NameCase{"Plain", "report.pdf", "report.pdf"},
                      NameCase{"ParentPath", "../../etc/passwd", "passwd"},
                      NameCase{"AbsolutePath", "/etc/cron.d/job", "job"},
                      NameCase{"Backslashes", "..\\..\\windows\\evil.exe", "evil.exe"},
                      NameCase{"TrailingSlash", "dir/", "noname"}, NameCase{"Empty", "", "noname"},
                      NameCase{"Dot", ".", "noname"}, NameCase{"DotDot", "..", "noname"},
                      NameCase{"Hidden", ".bashrc", "bashrc"},
                      NameCase{"ControlCharacters", std::string("a\x01\nb\x7f\tc", 7), "a__b__c"},
                      NameCase{"ShiftJisKeepsItsTrailByte", "\x83\x5c.txt", "\xe3\x82\xbd.txt"},  // "ソ"
                      NameCase{"TooLong", std::string(300, 'x'), std::string(255, 'x')}),
    [](const auto& info) { return std::string(info.param.name); });

class TempDir {
  public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "inlark-test-XXXXXX").string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t EntryCount(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

std::string OneAttachment(const std::string& name, const std::string& data) {
    return testing::Message({"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"b\"", "", "--b",
                             "", "body", "--b", "Content-Disposition: attachment; filename=\"" + name + "\"",
                             "Content-Transfer-Encoding: base64", "", testing::Base64(data), "--b--"});
}

TEST(TransferToFileTest, HostileNameWritesInsideTheDirectoryOnly) {
    TempDir outer;
    fs::create_directory(outer.path() / "in");
    MessageStore store;
    ASSERT_TRUE(store.Make(OneAttachment("../escaped", "x")));
    std::int32_t last_error = 0;
    EXPECT_EQ(store.TransferToFile(1, (outer.path() / "in").string(), &last_error), 1);
    EXPECT_EQ(ReadFile(outer.path() / "in" / "escaped"), "x");
    EXPECT_FALSE(fs::exists(outer.path() / "escaped"));
}

TEST(TransferToFileTest, SymlinkAtTargetIsReplacedNotFollowed) {
    TempDir dir;
    fs::create_directory(dir.path() / "in");
    std::ofstream(dir.path() / "victim") << "keep";
    fs::create_symlink(dir.path() / "victim", dir.path() / "in" / "a.txt");
    MessageStore store;
    ASSERT_TRUE(store.Make(OneAttachment("a.txt", "new")));
    EXPECT_EQ(store.TransferToFile(1, (dir.path() / "in").string(), nullptr), 1);
    EXPECT_EQ(ReadFile(dir.path() / "victim"), "keep");
    EXPECT_FALSE(fs::is_symlink(dir.path() / "in" / "a.txt"));
    EXPECT_EQ(ReadFile(dir.path() / "in" / "a.txt"), "new");
}

TEST(TransferToFileTest, ExistingFileIsOverwritten) {
    TempDir dir;
    std::ofstream(dir.path() / "noname") << "old contents that are longer";
    MessageStore store;
    ASSERT_TRUE(store.Make(OneAttachment("", "new")));
    EXPECT_EQ(store.TransferToFile(1, dir.path().string() + "/", nullptr), 1);
    EXPECT_EQ(ReadFile(dir.path() / "noname"), "new");
}

TEST(TransferToFileTest, UnwritableTargetGivesZeroAndLeavesNothing) {
    TempDir dir;
    std::ofstream(dir.path() / "file") << "x";
    fs::create_directory(dir.path() / "taken");
    MessageStore store;
    ASSERT_TRUE(store.Make(OneAttachment("taken", "data")));
    // Root ignores permission bits, so the failures are a path through a regular file and a directory in
    // the way of the target name.
    EXPECT_EQ(store.TransferToFile(1, (dir.path() / "file" / "sub").string(), nullptr), 0);
    EXPECT_EQ(store.TransferToFile(1, (dir.path() / "missing").string(), nullptr), 0);
    EXPECT_EQ(store.TransferToFile(1, dir.path().string(), nullptr), 0);
    EXPECT_EQ(EntryCount(dir.path()), 2u);  // no temporary file left behind
    EXPECT_TRUE(fs::is_empty(dir.path() / "taken"));
}

TEST(TransferToFileTest, ResultCodes) {
    TempDir dir;
    MessageStore store;
    std::int32_t last_error = 0;
    EXPECT_EQ(store.TransferToFile(1, dir.path().string(), &last_error), 0);  // no record
    EXPECT_EQ(last_error, 0);
    EXPECT_EQ(store.TransferToFile(0, dir.path().string(), &last_error), 0);
    EXPECT_EQ(last_error, -5);
    ASSERT_TRUE(store.Make(testing::Message({"Subject: none", "", "b"})));
    EXPECT_EQ(store.TransferToFile(1, dir.path().string(), nullptr), -3);
    ASSERT_TRUE(store.Make(OneAttachment("a", "b")));
    EXPECT_EQ(store.TransferToFile(2, dir.path().string(), nullptr), -2);
    EXPECT_EQ(store.GetFileSize(2), 0);
    EXPECT_EQ(store.GetFileSize(0), 0);
    EXPECT_EQ(store.GetFileSize(1), 1);
    EXPECT_EQ(EntryCount(dir.path()), 0u);
}

TEST(TransferToFileTest, RoundTripKeepsEveryByte) {
    std::mt19937 rng(5);
    std::string data(300 * 1024 + 7, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    TempDir dir;
    MessageStore store;
    ASSERT_TRUE(store.Make(OneAttachment("random.bin", data)));
    EXPECT_EQ(store.GetFileSize(1), static_cast<std::int32_t>(data.size()));
    EXPECT_EQ(store.TransferToFile(1, dir.path().string(), nullptr), 1);
    EXPECT_EQ(ReadFile(dir.path() / "random.bin"), data);
}

TEST(TransferToFileTest, UuencodedWithoutEndGivesZero) {
    TempDir dir;
    MessageStore store;
    ASSERT_TRUE(store.Make("Subject: x\r\n\r\nbegin 644 a.bin\r\n#86)C\r\n.\r\n"));
    EXPECT_EQ(store.TransferToFile(1, dir.path().string(), nullptr), 0);
    EXPECT_EQ(store.GetFileSize(1), 0);
    EXPECT_EQ(EntryCount(dir.path()), 0u);
}

// Old mail loses the blanks at line ends: a uuencoded file written with blanks for zero bits comes with
// lines shorter than their counts, and must still be saved whole (it once lost bytes mid-file).
TEST(TransferToFileTest, UuencodedLinesWithTrailingBlanksStripped) {
    std::mt19937 rng(251141);
    std::string data(4500 + 17, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    for (std::size_t end = 45; end <= data.size(); end += 45)
        data[end - 1 - rng() % 3] = data[end - 1] = '\0';
    data.back() = '\0';
    std::string lines;
    std::istringstream in(testing::UuLines(data));
    for (std::string line; std::getline(in, line);) {
        line.pop_back();  // CR
        std::replace(line.begin() + 1, line.end(), '`', ' ');
        line.erase(line.find_last_not_of(' ') + 1);
        if (!line.empty()) lines += line + "\r\n";
    }
    ASSERT_LT(lines.size(), data.size() / 45 * 63);  // characters were lost
    TempDir dir;
    MessageStore store;
    ASSERT_TRUE(store.Make("Subject: x\r\n\r\nbody\r\nbegin 644 a.bin\r\n" + lines + "end\r\n.\r\n"));
    EXPECT_EQ(store.GetFileSize(1), static_cast<std::int32_t>(data.size()));
    EXPECT_EQ(store.TransferToFile(1, dir.path().string(), nullptr), 1);
    EXPECT_EQ(ReadFile(dir.path() / "a.bin"), data);
}

TEST(WriteFileInDirectoryTest, KeepExistingNumbersTheNewFile) {
    TempDir dir;
    const mailcore::Bytes one{'1'}, two{'2'}, three{'3'};
    auto a = WriteFileInDirectory(dir.path().string(), "a.txt", one, ExistingFile::kKeep);
    auto b = WriteFileInDirectory(dir.path().string(), "a.txt", two, ExistingFile::kKeep);
    auto c = WriteFileInDirectory(dir.path().string(), "noext", three, ExistingFile::kKeep);
    auto d = WriteFileInDirectory(dir.path().string(), "noext", three, ExistingFile::kKeep);
    ASSERT_TRUE(a && b && c && d);
    EXPECT_EQ(fs::path(*b).filename(), "a-2.txt");
    EXPECT_EQ(fs::path(*d).filename(), "noext-2");
    EXPECT_EQ(ReadFile(dir.path() / "a.txt"), "1");
    EXPECT_EQ(ReadFile(dir.path() / "a-2.txt"), "2");
    EXPECT_EQ(EntryCount(dir.path()), 4u);
}

TEST(MessageStoreTest, GettersWithoutRecordAndOutOfRange) {
    MessageStore store;
    std::int32_t last_error = 0;
    EXPECT_EQ(store.GetTo(1, &last_error), "");
    EXPECT_EQ(last_error, 0);  // no record: empty text only
    EXPECT_EQ(store.GetToCount(), 0);
    EXPECT_EQ(store.GetDate(), 0.0);
    ASSERT_TRUE(store.Make(testing::Message({"To: a@x.jp", "Date: Fri, 2 Jan 98 10:00:00 +0900", "", ""})));
    EXPECT_EQ(store.GetTo(0, &last_error), "");
    EXPECT_EQ(last_error, -5);
    last_error = 0;
    EXPECT_EQ(store.GetTo(1, &last_error), "a@x.jp");
    EXPECT_EQ(store.GetCc(1, &last_error), "");
    EXPECT_EQ(last_error, -5);
    EXPECT_DOUBLE_EQ(store.GetDate(), 35797.0 + 10.0 / 24);
    EXPECT_FALSE(store.Make("broken"));
    EXPECT_EQ(store.Record(), nullptr);  // a failed parse leaves no record
}

}  // namespace
}  // namespace inlark
