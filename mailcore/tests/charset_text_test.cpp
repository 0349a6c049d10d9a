// Charset names as mail carries them, conversions to UTF-8, and the header decoding built on them.
#include "mailcore/charset_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "mailcore/header_text.h"
#include "mailcore/mime_codecs.h"
#include "mailcore/unicode_text.h"

namespace mailcore {
namespace {

struct CharsetCase {
    const char* label;
    std::string bytes;
    const char* utf8;
};

class CharsetToUtf8Test : public ::testing::TestWithParam<CharsetCase> {};

TEST_P(CharsetToUtf8Test, ConvertsUnderEverySpelling) {
    std::optional<std::string> text = CharsetToUtf8(GetParam().bytes, GetParam().label);
    ASSERT_TRUE(text) << GetParam().label;
    EXPECT_EQ(*text, GetParam().utf8) << GetParam().label;
}

// "日本" in Shift_JIS is 93 FA 96 7B; "①" (an NEC row CP932 has and strict Shift_JIS lacks) is 87 40.
INSTANTIATE_TEST_SUITE_P(
    Spellings, CharsetToUtf8Test,
    ::testing::Values(
        CharsetCase{"Shift_JIS", "\x93\xfa\x96\x7b\x87\x40", "日本①"},
        CharsetCase{"shift_jis", "\x93\xfa\x96\x7b", "日本"},
        CharsetCase{"SHIFT-JIS", "\x93\xfa\x96\x7b", "日本"}, CharsetCase{"SJIS", "\x93\xfa\x96\x7b", "日本"},
        CharsetCase{"x-sjis", "\x93\xfa\x96\x7b", "日本"}, CharsetCase{"CP932", "\x93\xfa\x96\x7b", "日本"},
        CharsetCase{"Windows-31J", "\x93\xfa\x96\x7b", "日本"}, CharsetCase{"MS_Kanji", "\xb6\xc5", "ｶﾅ"},
        CharsetCase{"EUC-JP", "\xc6\xfc\xcb\xdc\xad\xa1", "日本①"},
        CharsetCase{"x-euc-jp", "\xc6\xfc\xcb\xdc", "日本"},
        // ISO-2022-JP: JIS X 0208, the NEC row through its Shift_JIS form, half-width katakana by ESC "(I".
        CharsetCase{"ISO-2022-JP", "\x1b$BF|K\\\x1b(B!", "日本!"},
        CharsetCase{"iso-2022-jp", "\x1b$B-!\x1b(B", "①"}, CharsetCase{"ISO-2022-JP", "\x1b(I6E\x1b(B", "ｶﾅ"},
        CharsetCase{"ISO-2022-JP-2", "\x1b$BF|\x1b(B \x1b$(D0!\x1b(B", "日 丂"},
        CharsetCase{"GB18030", "\xc4\xe3\xba\xc3", "你好"}, CharsetCase{"gb2312", "\xc4\xe3\xba\xc3", "你好"},
        CharsetCase{"ISO-8859-1", "caf\xe9", "café"}, CharsetCase{"latin1", "\x80", "€"},
        CharsetCase{"utf8", "\xe2\x9c\x93", "✓"}, CharsetCase{"UTF-8", "ok\xff", "ok\xef\xbf\xbd"},
        CharsetCase{"utf-8*ja", "ok", "ok"}, CharsetCase{"\"UTF-8\"", "ok", "ok"},
        CharsetCase{"KOI8-R", "\xf0\xd2\xc9\xd7\xc5\xd4", "Привет"}));

TEST(CharsetToUtf8, ACodeCp932DoesNotHoldIsOneReplacementCharacter) {
    // Carrier emoji at JIS row 0x75 (Shift_JIS EB 9F .. ), an unassigned cell, and a lead byte at the end.
    EXPECT_EQ(*CharsetToUtf8("a\x1b$Bu!\x1b(Bb", "ISO-2022-JP"),
              "a\xef\xbf\xbd"
              "b");
    EXPECT_EQ(*CharsetToUtf8("\x85\x40x\x82\xa0", "Shift_JIS"), "\xef\xbf\xbdx\xe3\x81\x82");
    EXPECT_EQ(*CharsetToUtf8("x\x93", "SJIS"), "x\xef\xbf\xbd");
}

TEST(CharsetToUtf8, UnknownCharsetIsNothingAndTextFallsBackToTheGuess) {
    EXPECT_FALSE(CharsetToUtf8("abc", "x-no-such-charset"));
    EXPECT_FALSE(CharsetToUtf8("abc", "../etc"));
    EXPECT_EQ(TextToUtf8("\x93\xfa\x96\x7b", "x-no-such-charset"), "日本");
    EXPECT_EQ(TextToUtf8("\xe6\x97\xa5", ""), "日");
    EXPECT_EQ(TextToUtf8("\x1b$BF|\x1b(B", "us-ascii"), "日");  // 7-bit JIS under a wrong label
}

struct HeaderCase {
    const char* name;
    const char* raw;
    const char* decoded;
};

class DecodeHeaderUtf8Test : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(DecodeHeaderUtf8Test, Decodes) { EXPECT_EQ(DecodeHeaderUtf8(GetParam().raw), GetParam().decoded); }

INSTANTIATE_TEST_SUITE_P(
    Rfc2047Examples, DecodeHeaderUtf8Test,
    ::testing::Values(HeaderCase{"one", "(=?ISO-8859-1?Q?a?=)", "(a)"},
                      HeaderCase{"word_and_text", "(=?ISO-8859-1?Q?a?= b)", "(a b)"},
                      HeaderCase{"adjacent", "(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)", "(ab)"},
                      HeaderCase{"two_blanks", "(=?ISO-8859-1?Q?a?=  =?ISO-8859-1?Q?b?=)", "(ab)"},
                      HeaderCase{"folded", "(=?ISO-8859-1?Q?a?=\r\n    =?ISO-8859-1?Q?b?=)", "(ab)"},
                      HeaderCase{"underscore", "(=?ISO-8859-1?Q?a_b?=)", "(a b)"},
                      HeaderCase{"two_charsets", "(=?ISO-8859-1?Q?a?= =?ISO-8859-2?Q?_b?=)", "(a b)"},
                      HeaderCase{"keith", "=?US-ASCII?Q?Keith_Moore?=", "Keith Moore"},
                      HeaderCase{"keld", "=?ISO-8859-1?Q?Keld_J=F8rn_Simonsen?=", "Keld Jørn Simonsen"},
                      HeaderCase{"andre", "=?ISO-8859-1?Q?Andr=E9?= Pirard", "André Pirard"},
                      HeaderCase{"b_split",
                                 "=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?=\r\n "
                                 "=?ISO-8859-2?B?dSB1bmRlcnN0YW5kIHRoZSBleGFtcGxlLg==?=",
                                 "If you can read this you understand the example."},
                      HeaderCase{"patrik", "=?ISO-8859-1?Q?Patrik_F=E4ltstr=F6m?=", "Patrik Fältström"},
                      HeaderCase{"language", "=?US-ASCII*EN?Q?Keith_Moore?=", "Keith Moore"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    MailAsSent, DecodeHeaderUtf8Test,
    ::testing::Values(
        HeaderCase{"sjis_registered_name", "=?Shift_JIS?B?k/qWew==?=", "日本"},
        HeaderCase{"sjis_lower_b", "=?shift_jis?b?k/qWew==?=", "日本"},
        HeaderCase{"sjis_q", "=?SJIS?Q?=93=FA=96=7B?=", "日本"},
        HeaderCase{"windows31j", "=?windows-31j?B?h0A=?=", "①"},
        HeaderCase{"utf8_q_lower", "=?utf-8?q?caf=C3=A9?=", "café"},
        HeaderCase{"jis_two_words_folded",
                   "=?ISO-2022-JP?B?GyRCRnwbKEI=?=\r\n\t=?ISO-2022-JP?B?GyRCS1wbKEI=?=", "日本"},
        // "日本" in UTF-8 (E6 97 A5 E6 9C AC) split inside the second character.
        HeaderCase{"split_character", "=?UTF-8?B?5pel5g==?= =?UTF-8?B?nKw=?=", "日本"},
        HeaderCase{"split_sjis_character", "=?Shift_JIS?Q?=93=FA=96?= =?Shift_JIS?Q?=7B?=", "日本"},
        HeaderCase{"unpadded", "=?UTF-8?B?5pel5pys?=", "日本"},
        HeaderCase{"emoji", "=?UTF-8?B?8J+No+OBig==?=", "🍣お"},
        HeaderCase{"unknown_charset_guessed", "=?x-unknown?B?5pel?=", "日"},
        HeaderCase{"not_a_word", "=?UTF-8?X?abc?= and = signs", "=?UTF-8?X?abc?= and = signs"},
        HeaderCase{"unclosed", "=?UTF-8?B?5pel", "=?UTF-8?B?5pel"},
        HeaderCase{"fold_keeps_blank", "from a [127.0.0.1])\r\n by mail", "from a [127.0.0.1]) by mail"},
        HeaderCase{"fold_with_tab", "a\r\n\tb", "a\tb"}, HeaderCase{"raw_utf8", "caf\xc3\xa9", "café"},
        HeaderCase{"raw_sjis", "\x93\xfa\x96\x7b", "日本"},
        HeaderCase{"raw_jis", "\x1b$BF|K\\\x1b(B", "日本"},
        HeaderCase{"word_inside_text", "Re:=?UTF-8?B?5pel?=", "Re:日"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MimeCodecs, DecodeByRfc2045) {
    EXPECT_EQ(Base64DecodeStandard("AAFi\r\naW5h\r\ncnn/"), std::string("\x00\x01"
                                                                        "binary\xff",
                                                                        9));
    EXPECT_EQ(Base64DecodeStandard("YWI"), "ab");  // unpadded last group
    EXPECT_EQ(QpDecodeStandard("a=3D=00b=\r\nc\r\n", false), std::string("a=\0bc\r\n", 7));
    EXPECT_EQ(QpDecodeStandard("a=  \r\nb=\nc=zz", false), "abc=zz");
    EXPECT_EQ(QpDecodeStandard("a_b", true), "a b");
}

TEST(UnicodeText, RoundTripsOutsideTheBmpAndReplacesMalformedBytes) {
    const std::string sushi = "\xf0\x9f\x8d\xa3";
    EXPECT_EQ(Utf8ToUtf16(sushi), std::u16string(u"\U0001F363"));
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F363x"), sushi + "x");
    EXPECT_EQ(Utf8ToUtf16("a\xc0\xafz"), u"a\uFFFD\uFFFDz");  // overlong "/"
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xef\xbf\xbd");
    EXPECT_TRUE(IsValidUtf8(sushi));
    EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));  // a surrogate written as UTF-8
}

}  // namespace
}  // namespace mailcore
