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
    for (const bool decode : {true, false}) {
        SCOPED_TRACE(decode ? "today's standards" : "the control's reading");
        std::ostringstream out, err;
        ASSERT_EQ(PrintParsedMessage(kMail, {.decode_charsets = decode}, out, err), 0) << err.str();
        const json j = json::parse(out.str());
        EXPECT_EQ(j["from"]["name"], "\xe3\x81\x82");  // "あ"
        EXPECT_EQ(j["from"]["address"], "a@example.jp");
        EXPECT_EQ(j["to"].size(), 2u);
        EXPECT_EQ(j["to"][0]["name"], "B");
        EXPECT_EQ(j["cc"][0]["address"], "d@example.jp");
        EXPECT_EQ(j["reply_to"], "r@example.jp");
        EXPECT_EQ(j["subject"], "\xe3\x81\x82\xe3\x81\x84");
        EXPECT_EQ(j["date"], "1998-12-01T10:20:30+09:00");
        // RFC 2046 gives the line end before a boundary line to the boundary; the control keeps it.
        EXPECT_EQ(j["body"], decode ? "hello" : "hello\r\n");
        ASSERT_EQ(j["attachments"].size(), 1u);
        EXPECT_EQ(j["attachments"][0]["name"], "../a.txt");
        EXPECT_EQ(j["attachments"][0]["size"], 3);
    }
}

// One field of a mail as `inlark parse FILE` prints it, and as `inlark parse FILE --spec-reading` does.
struct ReadingCase {
    const char* name;
    std::string mail;
    const char* field;  // a JSON pointer
    std::string exact;
    std::string control;
};

const std::string kUtf8Mail =
    "From: =?UTF-8?B?R3LDvMOfZSDwn5iA?= <g@example.de>\n"  // "Grüße 😀"
    "Subject: =?UTF-8?B?SGkg8J+YgCDDvA==?=\n"              // "Hi 😀 ü"
    "MIME-Version: 1.0\n"
    "Content-Type: text/plain; charset=UTF-8\n"
    "Content-Transfer-Encoding: 8bit\n"
    "\n"
    "caf\xc3\xa9 \xf0\x9f\x98\x80\n";
const std::string kLatin1Mail =
    "Subject: =?ISO-8859-1?Q?caf=E9_cr=E8me?=\n"
    "MIME-Version: 1.0\n"
    "Content-Type: text/plain; charset=ISO-8859-1\n"
    "\n"
    "\xe0 la carte\n";
const std::string kHtmlMail =
    "Subject: html\n"
    "MIME-Version: 1.0\n"
    "Content-Type: text/html; charset=UTF-8\n"
    "\n"
    "<html><body><p>Hello &amp; <b>w\xc3\xb6rld</b></p><div>second &#x1F600;</div></body></html>\n";
// The name split in two RFC 2231 continuations, percent-encoded UTF-8: "日本😀.txt".
const std::string kRfc2231Mail =
    "Subject: file\n"
    "MIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=b\n"
    "\n"
    "--b\n"
    "Content-Type: text/plain\n"
    "\n"
    "see the file\n"
    "--b\n"
    "Content-Type: text/plain\n"
    "Content-Disposition: attachment;\n"
    " filename*0*=UTF-8''%E6%97%A5%E6%9C%AC;\n"
    " filename*1*=%F0%9F%98%80.txt\n"
    "Content-Transfer-Encoding: base64\n"
    "\n"
    "QUJD\n"
    "--b--\n";

class ReadingTest : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(ReadingTest, ExactByDefaultAndTheControlsReadingOnRequest) {
    TempDir dir;
    const fs::path file = dir.path() / "mail.eml";
    std::ofstream(file, std::ios::binary) << GetParam().mail;
    const json::json_pointer field(GetParam().field);
    for (const bool control : {false, true}) {
        SCOPED_TRACE(control ? "--spec-reading" : "default");
        std::vector<std::string> args = {file.string()};
        if (control) args.push_back("--spec-reading");
        std::ostringstream out, err;
        ASSERT_EQ(RunParseCommand(args, out, err), 0) << err.str();
        const std::string& expected = control ? GetParam().control : GetParam().exact;
        EXPECT_EQ(json::parse(out.str()).at(field), expected);
        // Printed as UTF-8 itself, not as \u escapes.
        EXPECT_NE(out.str().find(json(expected).dump(-1, ' ', false)), std::string::npos) << out.str();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Parse, ReadingTest,
    ::testing::Values(
        ReadingCase{"Utf8EmojiSubject", kUtf8Mail, "/subject", "Hi \xf0\x9f\x98\x80 \xc3\xbc",
                    "=?UTF-8?B?SGkg8J+YgCDDvA==?="},
        ReadingCase{"Utf8EmojiName", kUtf8Mail, "/from/name",
                    "Gr\xc3\xbc\xc3\x9f"
                    "e \xf0\x9f\x98\x80",
                    "=?UTF-8?B?R3LDvMOfZSDwn5iA?="},
        // Read as Shift_JIS: half-width katakana for the "é"; a user-defined character and one "?" for the
        // emoji's four bytes.
        ReadingCase{"Utf8Body", kUtf8Mail, "/body", "caf\xc3\xa9 \xf0\x9f\x98\x80\r\n",
                    "caf\xef\xbe\x83\xef\xbd\xa9 \xee\x81\x9e?\r\n"},
        ReadingCase{"Latin1QSubject", kLatin1Mail, "/subject", "caf\xc3\xa9 cr\xc3\xa8me",
                    "=?ISO-8859-1?Q?caf=E9_cr=E8me?="},
        ReadingCase{"Latin1Body", kLatin1Mail, "/body", "\xc3\xa0 la carte\r\n", "? la carte\r\n"},
        ReadingCase{"HtmlOnlyBody", kHtmlMail, "/body", "Hello & w\xc3\xb6rld\r\nsecond \xf0\x9f\x98\x80\r\n",
                    "<html><body><p>Hello &amp; <b>w\xef\xbe\x83\xef\xbd\xb6rld</b></p><div>second "
                    "&#x1F600;</div></body></html>\r\n"},
        ReadingCase{"Rfc2231FileName", kRfc2231Mail, "/attachments/0/name",
                    "\xe6\x97\xa5\xe6\x9c\xac\xf0\x9f\x98\x80.txt", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseCommandTest, SavesAnRfc2231NamedAttachmentUnderItsName) {
    TempDir dir;
    std::ostringstream out, err;
    ASSERT_EQ(PrintParsedMessage(kRfc2231Mail, {dir.path().string()}, out, err), 0) << err.str();
    std::ifstream saved(dir.path() / "\xe6\x97\xa5\xe6\x9c\xac\xf0\x9f\x98\x80.txt");
    std::string content;
    saved >> content;
    EXPECT_EQ(content, "ABC");
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
    std::ofstream(dir.path() / "text.txt") << "just text\n";
    std::vector<std::string> args;
    for (auto a : GetParam().args)
        args.push_back(a.starts_with("@") ? (dir.path() / a.substr(1)).string() : a);
    std::ostringstream out, err;
    EXPECT_EQ(RunParseCommand(args, out, err), GetParam().status);
    EXPECT_NE(err.str().find(GetParam().message), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
}

// Today's standards read a header without a body, and a multipart without boundary lines as one text;
// the control's reading refuses both.
INSTANTIATE_TEST_SUITE_P(
    Bad, BadInputTest,
    ::testing::Values(
        BadCase{"Missing", {"@missing.eml"}, 1, "cannot read"},
        BadCase{"Directory", {"@"}, 1, "is a directory"},
        BadCase{
            "NoHeaderLine", {"@text.txt"}, 1, "does not parse as a mail message (it starts with no header"},
        BadCase{"NoEmptyLine", {"@broken.eml", "--spec-reading"}, 1, "does not parse"},
        BadCase{"NoBoundaryLine", {"@nobound.eml", "--spec-reading"}, 1, "does not parse"},
        BadCase{"NoFile", {}, 2, "usage"}, BadCase{"OnlyTheSwitch", {"--spec-reading"}, 2, "usage"},
        BadCase{"SaveWithoutDir", {"@broken.eml", "--save-attachments"}, 2, "needs a directory"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace inlark::tool
