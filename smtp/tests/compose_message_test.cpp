#include "smtp/compose_message.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>

#include "mailcore/wide_text.h"

namespace outlark {
namespace {

namespace fs = std::filesystem;

constexpr std::time_t kInstant = 1796508309;  // Sun, 6 Dec 2026 07:05:09 in Japan
const std::string kAh = "\x82\xa0";           // "あ" in Shift_JIS
const std::string kAhJis = "\x1b$B$\"\x1b(B";
const std::string kBoundary = "------=_NextPart_000_1234ABCD";
const std::string kHundredBytesBase64 =
    "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4\r\n"
    "OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiYw==";

// Attachment files for the whole suite, in a fresh folder.
class Files {
  public:
    Files() {
        char pattern[] = "/tmp/outlark-compose-XXXXXX";
        dir_ = mkdtemp(pattern);
        Write("note.txt", "hello\n");
        std::string hundred;
        for (int i = 0; i < 100; ++i) hundred.push_back(static_cast<char>(i));
        Write("data.xyz", hundred);
        Write("README", "");
        fs::create_directory(dir_ / "folder.bin");  // exists, but reads no data
    }
    ~Files() { fs::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }

  private:
    void Write(const char* name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    fs::path dir_;
};

const Files& TestFiles() {
    static Files files;
    return files;
}

ComposedMessage OneShot() {
    ComposedMessage m;
    m.extra_headers = {"X-Mailer: Outlark Version 1.6.2.1", "X-Priority: 3"};
    m.from = Recipient{"", "from@example.com"};
    m.to = {Recipient{"", "to@example.com"}};
    m.subject = kAh;
    m.header8bit = 1;
    return m;
}

const std::string kOneShotHeaders =
    "X-Mailer: Outlark Version 1.6.2.1\r\n"
    "X-Priority: 3\r\n"
    "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\n"
    "To: <to@example.com>\r\n"
    "From: <from@example.com>\r\n"
    "Subject: " +
    kAhJis + "\r\n";
const std::string kTextPart =
    "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
    "Content-Transfer-Encoding: 7bit\r\n\r\n";

struct Case {
    const char* name;
    std::function<ComposedMessage()> message;
    std::string body;
    std::string expected;
};

// Test names carry the row; no byte dump of the row itself.
void PrintTo(const Case& row, std::ostream* os) { *os << row.name; }

class ComposeMessageTest : public testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        setenv("TZ", "JST-9", 1);
        tzset();
    }
};

TEST_P(ComposeMessageTest, ComposesExactly) {
    ComposeContext context{0x1234ABCD, kInstant, std::chrono::milliseconds(0)};
    EXPECT_EQ(ComposeMessage(GetParam().message(), GetParam().body, context), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ComposeMessageTest,
    testing::Values(
        Case{"OneShotDefaults", OneShot, kAh,
             kOneShotHeaders + "MIME-Version: 1.0\r\n" + kTextPart + kAhJis + "\r\n.\r\n"},
        Case{"BodyEndingInLineBreakGetsNoExtraLine", OneShot, "a\r\n",
             kOneShotHeaders + "MIME-Version: 1.0\r\n" + kTextPart + "a\r\n.\r\n"},
        Case{"EmptyBodyAndEmptySubject",
             [] {
                 ComposedMessage m;
                 m.subject = "";
                 return m;
             },
             "",
             "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\nSubject: \r\nMIME-Version: 1.0\r\n" + kTextPart +
                 ".\r\n"},
        Case{"EmptySubjectWithEncodedWordsKeepsItsLine",
             [] {
                 ComposedMessage m;
                 m.subject = "";
                 m.type = kTypeMime;
                 m.header8bit = 0;
                 return m;
             },
             "x",
             "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\nSubject: \r\nMIME-Version: 1.0\r\n" + kTextPart +
                 "x\r\n.\r\n"},
        Case{"SubjectNeverSetHasNoLine", [] { return ComposedMessage{}; }, "x",
             "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\nMIME-Version: 1.0\r\n" + kTextPart + "x\r\n.\r\n"},
        Case{"RecipientListsAndForms",
             [] {
                 ComposedMessage m;
                 m.to = {{"Taro", "taro@example.com"}, {"", "hanako@example.com"}};
                 m.cc = {{"", "cc@example.com"}};
                 m.bc = {{"", "b1@example.com"}, {"Bee", "b2@example.com"}, {"", "b3@example.com"}};
                 m.from = Recipient{"Me", "me@example.com"};
                 m.reply_to = "back@example.com";
                 m.type = kTypePlain;
                 return m;
             },
             "x",
             "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\n"
             "To: \"Taro\" <taro@example.com>,\r\n"
             "\t<hanako@example.com>\r\n"
             "Cc: <cc@example.com>\r\n"
             "Bc: <b1@example.com>,\r\n"
             "\t\"Bee\" <b2@example.com>,\r\n"
             "\t<b3@example.com>\r\n"
             "From: \"Me\" <me@example.com>\r\n"
             "Reply-To: back@example.com\r\n\r\nx\r\n.\r\n"},
        Case{"EncodedWordsWhenHeader8bitIsZero",
             [] {
                 ComposedMessage m = OneShot();
                 m.header8bit = 0;
                 return m;
             },
             "x",
             "X-Mailer: Outlark Version 1.6.2.1\r\nX-Priority: 3\r\nDate: Sun, 6 Dec 2026 07:05:09 +0900\r\n"
             "To: <to@example.com>\r\nFrom: <from@example.com>\r\n"
             "Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\n"
             "MIME-Version: 1.0\r\n" +
                 kTextPart + "x\r\n.\r\n"},
        Case{"PlainTypeNeverUsesEncodedWords",
             [] {
                 ComposedMessage m;
                 m.subject = kAh;
                 m.type = kTypePlain;
                 return m;
             },
             "x", "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\nSubject: " + kAhJis + "\r\n\r\nx\r\n.\r\n"},
        Case{"Base64Body",
             [] {
                 ComposedMessage m;
                 m.encode = kEncodeBase64;
                 return m;
             },
             kAh + kAh + "\r\nline2",
             "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\nMIME-Version: 1.0\r\n"
             "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: base64\r\n\r\n"
             "GyRCJCIkIhsoQg0KbGluZTI=\r\n.\r\n"},
        Case{"MultipartSeveralAttachments",
             [] {
                 ComposedMessage m;
                 m.attachments = {TestFiles().Path("note.txt"), TestFiles().Path("data.xyz"),
                                  TestFiles().Path("README")};
                 return m;
             },
             "body",
             "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\nMIME-Version: 1.0\r\n"
             "Content-Type: multipart/mixed; boundary=\"----=_NextPart_000_1234ABCD\"\r\n"
             "Content-Transfer-Encoding: 7bit\r\n\r\n"
             "This is a multi-part message in MIME format.\r\n\r\n" +
                 kBoundary + "\r\n" + kTextPart + "body\r\n" + kBoundary +
                 "\r\nContent-Type: application/octet-stream; name=\"note.txt\"\r\n"
                 "Content-Transfer-Encoding: base64\r\n"
                 "Content-Description: note (Text Document)\r\n"
                 "Content-Disposition: attachment; filename=\"note.txt\"\r\n\r\n"
                 "aGVsbG8K\r\n" +
                 kBoundary +
                 "\r\nContent-Type: application/octet-stream; name=\"data.xyz\"\r\n"
                 "Content-Transfer-Encoding: base64\r\n"
                 "Content-Description: data (xyz)\r\n"
                 "Content-Disposition: attachment; filename=\"data.xyz\"\r\n\r\n" +
                 kHundredBytesBase64 + "\r\n" + kBoundary +
                 "\r\nContent-Type: application/octet-stream; name=\"README\"\r\n"
                 "Content-Transfer-Encoding: base64\r\n"
                 "Content-Description: README (File)\r\n"
                 "Content-Disposition: attachment; filename=\"README\"\r\n\r\n"
                 "\r\n" +
                 kBoundary + "--\r\n\r\n.\r\n"},
        Case{"UnreadableAttachmentKeepsHeadersOnly",
             [] {
                 ComposedMessage m;
                 m.attachments = {TestFiles().Path("folder.bin")};
                 return m;
             },
             "b",
             "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\nMIME-Version: 1.0\r\n"
             "Content-Type: multipart/mixed; boundary=\"----=_NextPart_000_1234ABCD\"\r\n"
             "Content-Transfer-Encoding: 7bit\r\n\r\n"
             "This is a multi-part message in MIME format.\r\n\r\n" +
                 kBoundary + "\r\n" + kTextPart + "b\r\n" + kBoundary +
                 "\r\nContent-Type: application/octet-stream; name=\"folder.bin\"\r\n"
                 "Content-Transfer-Encoding: base64\r\n"
                 "Content-Description: folder (File Folder)\r\n"
                 "Content-Disposition: attachment; filename=\"folder.bin\"\r\n\r\n\r\n" +
                 kBoundary + "--\r\n\r\n.\r\n"},
        Case{"MissingAttachmentDropsAll",
             [] {
                 ComposedMessage m;
                 m.attachments = {TestFiles().Path("note.txt"), TestFiles().Path("missing.txt")};
                 return m;
             },
             "b\r\n",
             "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\nMIME-Version: 1.0\r\n" + kTextPart + "b\r\n\r\n.\r\n"},
        Case{"UuencodedWithBodyWithoutLineBreak",
             [] {
                 ComposedMessage m;
                 m.type = kTypePlain;
                 m.attachments = {TestFiles().Path("note.txt")};
                 return m;
             },
             "abc",
             "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\n\r\nabc\r\nbegin 600 "
             "note.txt\r\n&:&5L;&\\*\r\n`\r\nend\r\n\r\n.\r\n"},
        Case{"UuencodedMissingFile",
             [] {
                 ComposedMessage m;
                 m.type = kTypePlain;
                 m.attachments = {TestFiles().Path("missing.txt")};
                 return m;
             },
             "abc", "Date: Sun, 6 Dec 2026 07:05:09 +0900\r\n\r\nabc\r\n.\r\n"},
        Case{"CallerLineBreaksNeverStartAHeader",
             [] {
                 ComposedMessage m;
                 m.type = kTypePlain;
                 m.extra_headers = {"X-A: 1\r\nBcc: evil@example.com"};
                 m.to = {{"Nick\r\nX-B: 2", "to@example.com\r\n\r\nbody"}};
                 m.subject = "Hi\r\n\r\nInjected body";
                 m.reply_to = "r@example.com\nX-C: 3";
                 return m;
             },
             "x",
             "X-A: 1 Bcc: evil@example.com\r\nDate: Sun, 6 Dec 2026 07:05:09 +0900\r\n"
             "To: \"Nick X-B: 2\" <to@example.com body>\r\nReply-To: r@example.com X-C: 3\r\n"
             "Subject: Hi Injected body\r\n\r\nx\r\n.\r\n"}),
    [](const auto& info) { return info.param.name; });

TEST(Base64LinesTest, FullLastLineEndsWithLineBreak) {
    EXPECT_EQ(Base64Lines(std::string(57, '\0')), std::string(76, 'A') + "\r\n");
    EXPECT_EQ(Base64Lines(std::string(58, '\0')), std::string(76, 'A') + "\r\nAA==");
    EXPECT_EQ(Base64Lines(""), "");
}

}  // namespace
}  // namespace outlark
