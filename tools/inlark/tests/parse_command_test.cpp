#include "tools/inlark/parse_command.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace inlark::tool {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class TempDir {
  public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "inlark-tool-XXXXXX").string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// LF lines and no end line, as a mail file on disk.
const std::string kMail =
    "From: =?ISO-2022-JP?B?GyRCJCIbKEI=?= <a@example.jp>\n"
    "To: B <b@example.jp>, c@example.jp\n"
    "Cc: d@example.jp\n"
    "Reply-To: <r@example.jp>\n"
    "Subject: =?ISO-2022-JP?B?GyRCJCIkJBsoQg==?=\n"
    "Date: Tue, 1 Dec 98 10:20:30 +0900\n"
    "MIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=b\n"
    "\n"
    "--b\n"
    "\n"
    "hello\n"
    "--b\n"
    "Content-Disposition: attachment; filename=\"../a.txt\"\n"
    "Content-Transfer-Encoding: base64\n"
    "\n"
    "QUJD\n"
    "--b--\n";

TEST(ParseCommandTest, PrintsTheRecordAsJson) {
    std::ostringstream out, err;
    ASSERT_EQ(PrintParsedMessage(kMail, {}, out, err), 0) << err.str();
    const json j = json::parse(out.str());
    EXPECT_EQ(j["from"]["name"], "\xe3\x81\x82");  // "あ"
    EXPECT_EQ(j["from"]["address"], "a@example.jp");
    EXPECT_EQ(j["to"].size(), 2u);
    EXPECT_EQ(j["to"][0]["name"], "B");
    EXPECT_EQ(j["cc"][0]["address"], "d@example.jp");
    EXPECT_EQ(j["reply_to"], "r@example.jp");
    EXPECT_EQ(j["subject"], "\xe3\x81\x82\xe3\x81\x84");
    EXPECT_EQ(j["date"], "1998-12-01T10:20:30+09:00");
    EXPECT_EQ(j["body"], "hello\r\n");
    ASSERT_EQ(j["attachments"].size(), 1u);
    EXPECT_EQ(j["attachments"][0]["name"], "../a.txt");
    EXPECT_EQ(j["attachments"][0]["size"], 3);
}

TEST(ParseCommandTest, SaveAttachmentsNeverOverwrites) {
    TempDir dir;
    const fs::path out_dir = dir.path() / "saved";
    for (int run = 0; run < 2; ++run) {
        std::ostringstream out, err;
        ASSERT_EQ(PrintParsedMessage(kMail, {out_dir.string()}, out, err), 0) << err.str();
    }
    std::ifstream first(out_dir / "a.txt"), second(out_dir / "a-2.txt");
    std::string a, b;
    first >> a;
    second >> b;
    EXPECT_EQ(a, "ABC");
    EXPECT_EQ(b, "ABC");
    EXPECT_FALSE(fs::exists(dir.path() / "a.txt"));
}

struct BadCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* message;
};

class BadInputTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInputTest, ClearMessageAndNonZeroStatus) {
    TempDir dir;
    std::ofstream(dir.path() / "broken.eml") << "Subject: no empty line";
    std::ofstream(dir.path() / "nobound.eml")
        << "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=x\n\nno boundary\n";
    std::vector<std::string> args;
    for (auto a : GetParam().args)
        args.push_back(a.starts_with("@") ? (dir.path() / a.substr(1)).string() : a);
    std::ostringstream out, err;
    EXPECT_EQ(RunParseCommand(args, out, err), GetParam().status);
    EXPECT_NE(err.str().find(GetParam().message), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Bad, BadInputTest,
    ::testing::Values(BadCase{"Missing", {"@missing.eml"}, 1, "cannot read"},
                      BadCase{"Directory", {"@"}, 1, "is a directory"},
                      BadCase{"NoEmptyLine", {"@broken.eml"}, 1, "does not parse"},
                      BadCase{"NoBoundaryLine", {"@nobound.eml"}, 1, "does not parse"},
                      BadCase{"NoFile", {}, 2, "usage"},
                      BadCase{
                          "SaveWithoutDir", {"@broken.eml", "--save-attachments"}, 2, "needs a directory"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace inlark::tool
