#include "smtp/header_encoder.h"

#include <gtest/gtest.h>

#include <string>

#include "mailcore/base64_encode.h"
#include "mailcore/wide_text.h"

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

class EncodeHeaderLineTest : public testing::TestWithParam<Case> {};

TEST_P(EncodeHeaderLineTest, Encodes) {
    const Case& c = GetParam();
    EXPECT_EQ(EncodeHeaderLine(c.line, c.mode, c.width), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EncodeHeaderLineTest,
    testing::Values(Case{"PlainModeKeepsEscapes", "Subject: " + Hiragana(1) + "\r\n", kHeaderPlain, 76,
                         "Subject: \x1b$B$\"\x1b(B\r\n"},
                    Case{"ModeOneIsPlain", "Subject: " + Hiragana(1) + "\r\n", kHeaderPlainAlias, 76,
                         "Subject: \x1b$B$\"\x1b(B\r\n"},
                    Case{"AsciiUnchanged", "X-Mailer: Outlark Version 1.6.2.1\r\n", kHeaderEncodedWords, 76,
                         "X-Mailer: Outlark Version 1.6.2.1\r\n"},
                    Case{"Width76FirstWord30ThenUpTo36", "Subject: " + Hiragana(40) + "\r\n",
                         kHeaderEncodedWords, 76,
                         "Subject: " + Word(30) + "\r\n " + Word(36) + "\r\n " + Word(14) + "\r\n"},
                    Case{"ShortRunOneWord", "Subject: " + Hiragana(3) + "\r\n", kHeaderEncodedWords, 76,
                         "Subject: " + Word(6) + "\r\n"},
                    Case{"Width40", "Subject: " + Hiragana(20) + "\r\n", kHeaderEncodedWords, 40,
                         "Subject: " + Word(4) + "\r\n " + Word(10) + "\r\n " + Word(10) + "\r\n " +
                             Word(10) + "\r\n " + Word(6) + "\r\n"},
                    // The spaces after a run go with the word before the fold and stay in the line as well.
                    Case{"SpacesAfterRunWrittenTwice",
                         "Subject: " + Hiragana(2) + " abc " + Hiragana(2) + "\r\n", kHeaderEncodedWords, 76,
                         "Subject: " + Word(4) + " \r\n  abc " + Word(4) + "\r\n"},
                    Case{"NarrowWidthGoesNegativeWholeRun", "Subject: " + Hiragana(20) + "\r\n",
                         kHeaderEncodedWords, 28, "Subject: " + Word(40) + "\r\n"},
                    Case{"PieceOfZeroStillEnds", "X: " + Hiragana(10) + "\r\n", kHeaderEncodedWords, 28,
                         "X: " + Word(20) + "\r\n"},
                    Case{"WidthZero", "Subject: " + Hiragana(5) + "\r\n", kHeaderEncodedWords, 0,
                         "Subject: " + Word(10) + "\r\n"},
                    Case{"NegativeWidth", "Subject: " + Hiragana(5) + "\r\n", kHeaderEncodedWords, -5,
                         "Subject: " + Word(10) + "\r\n"},
                    Case{"OddPieceMadeEven", "To: \"" + Hiragana(12) + "\" <a@b>\r\n", kHeaderEncodedWords,
                         45, "To: \"" + Word(10) + "\r\n " + Word(14) + "\r\n \" <a@b>\r\n"}),
    [](const auto& info) { return info.param.name; });

struct LineCase {
    const char* name;
    std::string value;
    std::string expected;
};

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

}  // namespace
}  // namespace outlark
