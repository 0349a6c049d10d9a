#include "mailcore/wide_text.h"

#include <gtest/gtest.h>

#include <string>

namespace mailcore {
namespace {

TEST(WideText, RoundTripsJapanese) {
    const std::u16string text = u"亜あアｱ ABC";
    const std::string sjis = WideToCp932(text);
    EXPECT_EQ(sjis, "\x88\x9f\x82\xa0\x83\x41\xb1 ABC");
    EXPECT_EQ(Cp932ToWide(sjis), text);
}

TEST(WideText, UnmappableBecomesQuestionMark) {
    // A Hangul syllable and an emoji (a surrogate pair) have no CP932 code.
    EXPECT_EQ(WideToCp932(u"a\uAC00b\U0001F600c"), "a?b?c");
    // A lone trail byte and a lead byte at the end are not CP932 text.
    EXPECT_EQ(Cp932ToWide("x\x88"), u"x?");
}

// A Shift_JIS pair CP932 has no character for is one character: one "?", never "?" and a stray letter or
// half-width katakana read from its trail byte.
struct UnheldCase {
    const char* name;
    std::string sjis;
    std::u16string wide;
    std::string utf8;
};

void PrintTo(const UnheldCase& c, std::ostream* os) { *os << c.name; }

class WideTextUnheldPairs : public ::testing::TestWithParam<UnheldCase> {};

TEST_P(WideTextUnheldPairs, OneQuestionMarkPerCharacter) {
    EXPECT_EQ(Cp932ToWide(GetParam().sjis), GetParam().wide);
    EXPECT_EQ(Cp932ToUtf8(GetParam().sjis), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WideTextUnheldPairs,
    ::testing::Values(UnheldCase{"EmojiRowAsciiTrail", "\xeb\x40", u"?", "?"},
                      UnheldCase{"EmojiRowKatakanaTrail", "\xeb\xbf", u"?", "?"},
                      UnheldCase{"BetweenKanji", "\x88\x9f\xec\x9f\x88\x9f", u"亜?亜", "亜?亜"},
                      UnheldCase{"EmptyRowOfRow2Lead", "a\x85@b", u"a?b", "a?b"},
                      UnheldCase{"GapInIbmRow", "\xee\xed\xee\xef", u"?ⅰ", "?ⅰ"},
                      UnheldCase{"LeadWithoutTrailKeepsNextByte", "\x88 x", u"? x", "? x"},
                      UnheldCase{"LeadAtEnd", "x\xeb", u"x?", "x?"},
                      UnheldCase{"UnusedSingleByte", "\xa0z", u"?z", "?z"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WideText, Utf8Helpers) {
    EXPECT_EQ(Utf8ToCp932("亜"), "\x88\x9f");
    EXPECT_EQ(Cp932ToUtf8("\x88\x9f"), "亜");
    EXPECT_EQ(Utf8ToCp932(""), "");
}

}  // namespace
}  // namespace mailcore
