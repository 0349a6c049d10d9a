#include "pop3/message_methods.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "pop3/tests/mail_builder.h"

namespace inlark {
namespace {

namespace fs = std::filesystem;

const std::string kRetrieved = testing::Message(
    {"MIME-Version: 1.0", "From: \"=?ISO-2022-JP?B?GyRCJCIbKEI=?=\" <a@x.jp>", "To: b@x.jp", "Subject: s",
     "Date: Tue, 1 Dec 98 10:00:00 +0900", "Content-Type: multipart/mixed; boundary=\"b\"", "", "--b", "",
     "body", "--b", "Content-Disposition: attachment; filename=\"f.txt\"", "", "QUJD", "--b--"});

TEST(MessageMethodsTest, MakeDataNeedsARetrievedText) {
    MessageMethods m;
    std::int32_t pVal = 7;
    m.MakeData(nullptr, &pVal);
    EXPECT_EQ(pVal, 0);
    m.MakeDataEx(u"0", nullptr, &pVal);
    EXPECT_EQ(pVal, 0);
    m.MakeDataEx(u"", &kRetrieved, &pVal);
    EXPECT_EQ(pVal, 1);
    std::u16string text;
    m.GetFromNickName(&text);
    EXPECT_EQ(text, u"\u3042");
    const std::string broken = "no header end";
    m.MakeData(&broken, &pVal);
    EXPECT_EQ(pVal, 0);
    m.GetFrom(&text);
    EXPECT_EQ(text, u"");  // the failed parse left no record
}

TEST(MessageMethodsTest, MakeDataExTakesWideText) {
    MessageMethods m;
    std::int32_t pVal = 0;
    m.MakeDataEx(u"Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\nMIME-Version: 1.0\r\n\r\n\u65e5\u672c\r\n.\r\n",
                 nullptr, &pVal);
    ASSERT_EQ(pVal, 1);
    std::u16string text;
    m.GetSubject(&text);
    EXPECT_EQ(text, u"\u3042");
    m.GetBody(&text);
    EXPECT_EQ(text, u"\u65e5\u672c\r\n");
}

TEST(MessageMethodsTest, IndexedGettersSetLastErrorOnlyOutOfRange) {
    MessageMethods m;
    std::int32_t pVal = 0, last_error = 0;
    std::u16string text = u"x";
    m.GetTo(1, &text, &last_error);
    EXPECT_EQ(text, u"");
    EXPECT_EQ(last_error, 0);
    m.MakeData(&kRetrieved, &pVal);
    m.GetTo(1, &text, &last_error);
    EXPECT_EQ(text, u"b@x.jp");
    EXPECT_EQ(last_error, 0);
    m.GetTo(2, &text, &last_error);
    EXPECT_EQ(last_error, -5);
    m.GetToCount(&pVal);
    EXPECT_EQ(pVal, 1);
    m.GetExMessageCount(&pVal);
    EXPECT_EQ(pVal, 1);  // the Date line
    double date = 0;
    m.GetDate(&date);
    EXPECT_DOUBLE_EQ(date, 36130.0 + 10.0 / 24);
    m.ReleaseData();
    m.GetDate(&date);
    EXPECT_EQ(date, 0.0);
}

TEST(MessageMethodsTest, TransferToFileIntoAJapaneseDirectoryName) {
    std::string t = (fs::temp_directory_path() / "inlark-methods-XXXXXX").string();
    const fs::path root = ::mkdtemp(t.data());
    const fs::path dir = root / "\xe6\xb7\xbb\xe4\xbb\x98";  // "添付"
    fs::create_directory(dir);
    MessageMethods m;
    std::int32_t pVal = 0, last_error = 0;
    m.MakeData(&kRetrieved, &pVal);
    m.GetFileSize(1, &pVal);
    EXPECT_EQ(pVal, 3);
    m.TransferToFile(1, root.u16string() + u"/\u6dfb\u4ed8", &pVal, &last_error);
    EXPECT_EQ(pVal, 1);
    std::ifstream in(dir / "f.txt");
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "ABC");
    m.TransferToFile(0, root.u16string(), &pVal, &last_error);
    EXPECT_EQ(pVal, 0);
    EXPECT_EQ(last_error, -5);
    fs::remove_all(root);
}

// Carrier emoji sit in JIS rows 0x75 and 0x76, which CP932 lacks: each becomes exactly one "?" in the
// UTF-16 getters, wherever the text comes from (it once gave "?" and a stray letter or half-width kana).
struct EmojiCase {
    const char* name;
    std::string message;
    bool in_subject;  // else in the body
};

void PrintTo(const EmojiCase& c, std::ostream* os) { *os << c.name; }

// 亜, two emoji codes, あ.
const std::string kEmojiJis = "\x1b$B0!uAv!$\"\x1b(B";

class EmojiTest : public ::testing::TestWithParam<EmojiCase> {};

TEST_P(EmojiTest, OneQuestionMarkPerCharacter) {
    MessageMethods m;
    std::int32_t pVal = 0;
    m.MakeData(&GetParam().message, &pVal);
    ASSERT_EQ(pVal, 1);
    std::u16string text;
    if (GetParam().in_subject) {
        m.GetSubject(&text);
        EXPECT_EQ(text, u"\u4e9c??\u3042");
    } else {
        m.GetBody(&text);
        EXPECT_EQ(text, u"\u4e9c??\u3042\r\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, EmojiTest,
    ::testing::Values(
        EmojiCase{
            "EncodedWordSubject",
            testing::Message({"MIME-Version: 1.0",
                              "Subject: =?ISO-2022-JP?B?" + testing::Base64(kEmojiJis) + "?=", "", "x"}),
            true},
        EmojiCase{"SevenBitBody", testing::Message({"Subject: s", "", kEmojiJis}), false},
        EmojiCase{
            "QuotedPrintableKanjiRun",
            testing::Message({"Subject: s", "MIME-Version: 1.0",
                              "Content-Transfer-Encoding: quoted-printable", "", "=1B$B0!uAv!$\"=1B(B"}),
            false},
        EmojiCase{"Base64Body",
                  testing::Message({"Subject: s", "MIME-Version: 1.0", "Content-Transfer-Encoding: base64",
                                    "", testing::Base64(kEmojiJis + "\r\n")}),
                  false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace inlark
