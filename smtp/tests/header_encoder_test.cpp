#include "smtp/header_encoder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "mailcore/base64_encode.h"
#include "mailcore/wide_text.h"
#include "smtp/rfc5322_quote.h"

namespace outlark {
namespace {

// "あ" is 0x82 0xA0 in Shift_JIS and 0x24 0x22 in JIS X 0208.
std::string Hiragana(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "\x82\xa0";
    return text;
}

std::string Word(int jis_bytes) {
    std::string jis = "\x1b$B";
    for (int i = 0; i < jis_bytes / 2; ++i) jis += "$\"";
    jis += "\x1b(B";
    return "=?ISO-2022-JP?B?" + mailcore::Base64Encode(jis) + "?=";
}

struct Case {
    const char* name;
    std::string line;
    std::int32_t mode;
    std::int32_t width;
    std::string expected;
};

// Test names carry the row; no byte dump of the row itself.
void PrintTo(const Case& row, std::ostream* os) { *os << row.name; }

class EncodeHeaderLineTest : public testing::TestWithParam<Case> {};

TEST_P(EncodeHeaderLineTest, Encodes) {
    const Case& c = GetParam();
    EXPECT_EQ(EncodeHeaderLine(c.line, c.mode, c.width), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EncodeHeaderLineTest,
    testing::Values(
        Case{"PlainModeKeepsEscapes", "Subject: " + Hiragana(1) + "\r\n", kHeaderPlain, 76,
             "Subject: \x1b$B$\"\x1b(B\r\n"},
        Case{"ModeOneIsPlain", "Subject: " + Hiragana(1) + "\r\n", kHeaderPlainAlias, 76,
             "Subject: \x1b$B$\"\x1b(B\r\n"},
        Case{"AsciiUnchanged", "X-Mailer: Outlark Version 1.6.2.1\r\n", kHeaderEncodedWords, 76,
             "X-Mailer: Outlark Version 1.6.2.1\r\n"},
        Case{"Width76FirstWord30ThenUpTo36", "Subject: " + Hiragana(40) + "\r\n", kHeaderEncodedWords, 76,
             "Subject: " + Word(30) + "\r\n " + Word(36) + "\r\n " + Word(14) + "\r\n"},
        Case{"ShortRunOneWord", "Subject: " + Hiragana(3) + "\r\n", kHeaderEncodedWords, 76,
             "Subject: " + Word(6) + "\r\n"},
        Case{"Width40NoFoldRightAfterTheName", "Subject: " + Hiragana(20) + "\r\n", kHeaderEncodedWords, 40,
             "Subject: " + Word(36) + "\r\n " + Word(4) + "\r\n"},
        // Folds go in front of the blank that was there; no blank is added or written twice.
        Case{"BlanksWrittenOnce", "Subject: " + Hiragana(2) + " abc " + Hiragana(2) + "\r\n",
             kHeaderEncodedWords, 76, "Subject: " + Word(4) + " abc\r\n " + Word(4) + "\r\n"},
        Case{"NarrowWidthStillEnds", "Subject: " + Hiragana(20) + "\r\n", kHeaderEncodedWords, 28,
             "Subject: " + Word(36) + "\r\n " + Word(4) + "\r\n"},
        Case{"PieceOfZeroStillEnds", "X: " + Hiragana(10) + "\r\n", kHeaderEncodedWords, 28,
             "X: " + Word(20) + "\r\n"},
        Case{"WidthZero", "Subject: " + Hiragana(5) + "\r\n", kHeaderEncodedWords, 0,
             "Subject: " + Word(10) + "\r\n"},
        Case{"NegativeWidth", "Subject: " + Hiragana(5) + "\r\n", kHeaderEncodedWords, -5,
             "Subject: " + Word(10) + "\r\n"},
        Case{"TabKept", "Subject: a\tb  c\r\n", kHeaderEncodedWords, 76, "Subject: a\tb  c\r\n"},
        Case{"JapaneseGluedToAsciiIsOneWord", "Subject: " + Hiragana(1) + "base64\r\n", kHeaderEncodedWords,
             76, "Subject: =?ISO-2022-JP?B?" + mailcore::Base64Encode("\x1b$B$\"\x1b(Bbase64") + "?=\r\n"},
        Case{"LookalikeEncodedWordEncoded", "Subject: =?UTF-8?B?SGFja2Vk?=\r\n", kHeaderPlain, 76,
             "Subject: =?ISO-2022-JP?B?" + mailcore::Base64Encode("=?UTF-8?B?SGFja2Vk?=") + "?=\r\n"},
        Case{"LongAsciiFoldedAtBlanks",
             "Subject: " + std::string(600, 'a') + " " + std::string(600, 'b') + "\r\n", kHeaderPlain, 76,
             "Subject: " + std::string(600, 'a') + "\r\n " + std::string(600, 'b') + "\r\n"}),
    [](const auto& info) { return info.param.name; });

struct LineCase {
    const char* name;
    std::string value;
    std::string expected;
};

// Test names carry the row; no byte dump of the row itself.
void PrintTo(const LineCase& row, std::ostream* os) { *os << row.name; }

class SingleLineValueTest : public testing::TestWithParam<LineCase> {};

TEST_P(SingleLineValueTest, NeverBreaksTheLine) {
    EXPECT_EQ(SingleLineValue(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, SingleLineValueTest,
                         testing::Values(LineCase{"Plain", "Hello", "Hello"},
                                         LineCase{"InjectedHeader", "Hi\r\nBcc: evil@example.com",
                                                  "Hi Bcc: evil@example.com"},
                                         LineCase{"BareLf", "a\nb", "a b"}, LineCase{"BareCr", "a\rb", "a b"},
                                         LineCase{"FoldKeepsItsBlank", "a\r\n\tb", "a\tb"},
                                         LineCase{"TrailingBreakDropped", "a\r\n", "a"},
                                         LineCase{"EndOfHeaderAttempt", "a\r\n\r\nbody", "a body"},
                                         LineCase{"Nul", std::string("a\0b", 3), "a b"}),
                         [](const auto& info) { return info.param.name; });

TEST(HeaderField, DisplayNameQuotedPerRfc5322) {
    HeaderField field(kHeaderEncodedWords, 76);
    field.Raw("From:");
    field.DisplayName("Jo\"hn \\Q");
    field.Raw("<j@example.jp>");
    EXPECT_EQ(std::move(field).Finish(), "From: \"Jo\\\"hn \\\\Q\" <j@example.jp>\r\n");
}

TEST(HeaderField, JapaneseDisplayNameOutsideQuotes) {
    HeaderField field(kHeaderEncodedWords, 76);
    field.Raw("From:");
    field.DisplayName(Hiragana(2));
    field.Raw("<j@example.jp>");
    EXPECT_EQ(std::move(field).Finish(), "From: " + Word(4) + " <j@example.jp>\r\n");
}

TEST(QuotedString, EscapesQuoteAndBackslashOnly) {
    EXPECT_EQ(QuotedString(""), "\"\"");
    EXPECT_EQ(QuotedString("a b"), "\"a b\"");
    EXPECT_EQ(QuotedString("q\"uote\\x"), "\"q\\\"uote\\\\x\"");
}

}  // namespace
}  // namespace outlark
