#include "mailcore/wide_text.h"

#include <gtest/gtest.h>

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

TEST(WideText, Utf8Helpers) {
    EXPECT_EQ(Utf8ToCp932("亜"), "\x88\x9f");
    EXPECT_EQ(Cp932ToUtf8("\x88\x9f"), "亜");
    EXPECT_EQ(Utf8ToCp932(""), "");
}

}  // namespace
}  // namespace mailcore
