#include "mailcore/jis_sjis.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "mailcore/tests/exact_buffer.h"
#include "mailcore/tests/iconv_strict.h"
#include "mailcore/wide_text.h"

namespace mailcore {
namespace {

using testing::ExactBuffer;
using testing::IconvStrict;

std::string S(const char* bytes, size_t n) { return std::string(bytes, n); }
#define BYTES(literal) S(literal, sizeof(literal) - 1)

std::string Jis(int row, int cell) {
    return std::string("\x1b$B") + static_cast<char>(row) + static_cast<char>(cell) + "\x1b(B";
}

struct Case {
    const char* name;
    std::string input;
    std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class JisToSjisCases : public ::testing::TestWithParam<Case> {};

TEST_P(JisToSjisCases, Converts) {
    ExactBuffer input(GetParam().input);
    EXPECT_EQ(JisToSjis(input.view()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JisToSjisCases,
    ::testing::Values(
        Case{"KanjiBetweenEscapes", BYTES("\x1b$B\x30\x21\x1b(B"), BYTES("\x88\x9f")},
        Case{"Row61LowCellLeadStaysOutOfKatakana", BYTES("\x1b$B\x61\x21\x61\x5f\x1b(B"),
             BYTES("\xe1\x40\xe1\x7e")},
        Case{"OddRowTrailSkips7F", BYTES("\x1b$B\x31\x5f\x31\x60\x1b(B"), BYTES("\x89\x7e\x89\x80")},
        Case{"EvenRow", BYTES("\x1b$B\x30\x22\x1b(B"), BYTES("\x88\xa0")},
        Case{"HighBitMaskedInRun", BYTES("\x1b$B\xb0\xa1\x1b(B"), BYTES("\x88\x9f")},
        Case{"AsciiCopied", BYTES("Re: abc\r\n"), BYTES("Re: abc\r\n")},
        Case{"EightBitOutsideRunCopied", BYTES("\x88\x9f"), BYTES("\x88\x9f")},
        Case{"ZeroByteCopied", BYTES("a\0b"), BYTES("a\0b")},
        Case{"KatakanaAfterEscParenI", BYTES("\x1b(I\x36\x5e\x21\x5f\x1b(Bx"),
             BYTES("\xb6\xde\xa1\xdf"
                   "x")},
        Case{"KatakanaModeCopiesOtherBytes", BYTES("\x1b(I\x31 \x60\r\n"), BYTES("\xb1 \x60\r\n")},
        Case{"EscParenJLeavesKatakana", BYTES("\x1b(I\x31\x1b(J\x31"),
             BYTES("\xb1"
                   "1")},
        Case{"AnyFinalByteAfterDollar", BYTES("\x1b$@\x30\x21\x1b(J"), BYTES("\x88\x9f")},
        Case{"RunEndsAtEndOfText", BYTES("a\x1b$B\x30\x21"), BYTES("a\x88\x9f")},
        Case{"EscapeCutAfterParen", BYTES("ab\x1b("), BYTES("ab")},
        Case{"EscAsLastByte", BYTES("abc\x1b"), ""}, Case{"EscFollowedByOther", BYTES("abc\x1bNdef"), ""},
        Case{"OddByteAtEnd", BYTES("\x1b$B\x30\x21\x30"), ""},
        Case{"OddByteBeforeEscape", BYTES("\x1b$B\x30\x21\x30\x1b(B"), ""},
        // Codes CP932 has no character for: one "?" each, never a lead and trail read as two.
        Case{"CarrierEmojiRow75", BYTES("\x1b$B\x75\x21\x75\x7e\x1b(B"), "??"},
        Case{"CarrierEmojiRow76TrailWouldBeKatakana", BYTES("\x1b$B\x76\x41\x1b(B"), "?"},
        Case{"EmojiBetweenKanji", BYTES("\x1b$B\x30\x21\x76\x21\x30\x22\x1b(Bx"),
             BYTES("\x88\x9f?\x88\xa0x")},
        Case{"UnassignedCellOfRow2", BYTES("\x1b$B\x22\x2f\x1b(B"), "?"},
        Case{"EmptyRows", BYTES("\x1b$B\x29\x21\x2e\x7e\x7d\x21\x7e\x7e\x1b(B"), "????"},
        Case{"GapInLastIbmRow", BYTES("\x1b$B\x7c\x6e\x7c\x6f\x7c\x70\x7c\x71\x1b(B"),
             BYTES("\xee\xec??\xee\xef")},
        Case{"NecRow13Kept", BYTES("\x1b$B\x2d\x21\x1b(B"), BYTES("\x87\x40")},
        Case{"NecSelectedIbmRowKept", BYTES("\x1b$B\x79\x21\x1b(B"), BYTES("\xed\x40")},
        Case{"BytesOutsideTheGrid", BYTES("\x1b$B\x20\x21\x30\x7f\x00\x00\x1b(B"), "???"},
        Case{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

class SjisToJisCases : public ::testing::TestWithParam<Case> {};

TEST_P(SjisToJisCases, Converts) {
    ExactBuffer input(GetParam().input);
    EXPECT_EQ(SjisToJis(input.view()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SjisToJisCases,
    ::testing::Values(
        Case{"Kanji", BYTES("\x88\x9f"), BYTES("\x1b$B\x30\x21\x1b(B")},
        Case{"AsciiAroundKanji", BYTES("a\x88\x9f\x82\xa0z"), BYTES("a\x1b$B\x30\x21\x24\x22\x1b(Bz")},
        Case{"KaWithVoicedMark", BYTES("\xb6\xde"), BYTES("\x1b$B\x25\x2c\x1b(B")},
        Case{"HaWithSemiVoicedMark", BYTES("\xca\xdf"), BYTES("\x1b$B\x25\x51\x1b(B")},
        Case{"ATakesNoVoicedMark", BYTES("\xb1\xde"), BYTES("\x1b$B\x25\x22\x21\x2b\x1b(B")},
        Case{"KaTakesNoSemiVoicedMark", BYTES("\xb6\xdf"), BYTES("\x1b$B\x25\x2b\x21\x2c\x1b(B")},
        Case{"KanaRunsIntoKanji", BYTES("\xb1\x88\x9f"), BYTES("\x1b$B\x25\x22\x30\x21\x1b(B")},
        Case{"KanaAtEnd", BYTES("x\xb3"), BYTES("x\x1b$B\x25\x26\x1b(B")},
        Case{"LeadByteAtEndAsQuestionMark", BYTES("a\x88\x9f\x88"), BYTES("a\x1b$B\x30\x21\x1b(B?")},
        Case{"LoneLeadByteAsQuestionMark", BYTES("\x88"), "?"},
        Case{"OtherHighBytesAsQuestionMarks", BYTES("\x80\xa0\xfd\xfe\xff"), "?????"},
        Case{"NulAsQuestionMark", BYTES("a\0b"), "a?b"},
        Case{"LastJisRow", BYTES("\xef\xfc"), BYTES("\x1b$B\x7e\x7e\x1b(B")},
        Case{"NecRow13Arithmetic", BYTES("\x87\x40"), BYTES("\x1b$B\x2d\x21\x1b(B")},
        Case{"NecSelectedIbmArithmetic", BYTES("\xed\x40\xee\xfc"), BYTES("\x1b$B\x79\x21\x7c\x7e\x1b(B")},
        Case{"UserDefinedAreaQuestionMark", BYTES("\xf0\x40"), "?"},
        Case{"UnmappedBetweenKanjiLeavesAndReenters", BYTES("\x88\x9f\xf9\xfc\x88\x9f"),
             BYTES("\x1b$B\x30\x21\x1b(B?\x1b$B\x30\x21\x1b(B")},
        Case{"IbmKanjiToNecSelectedRow", BYTES("\xfb\xfc"), BYTES("\x1b$B\x7c\x62\x1b(B")},
        Case{"IbmSmallRomanOne", BYTES("\xfa\x40"), BYTES("\x1b$B\x7c\x71\x1b(B")},
        Case{"IbmNotSignToRow2", BYTES("\xfa\x54"), BYTES("\x1b$B\x22\x4c\x1b(B")},
        Case{"IbmPastLastCodeQuestionMark", BYTES("\xfc\x4c\xfc\xfc"), "??"},
        Case{"TrailBelow40KeepsTheByte", BYTES("\x88 x"), "? x"},
        Case{"Trail7FKeepsTheByte", BYTES("\x88\x7f"), "?\x7f"},
        Case{"TrailFDQuestionMarks", BYTES("\x88\xfd"), "??"}, Case{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertCharset, RunsOnlyTheTwoDirections) {
    EXPECT_EQ(ConvertCharset(BYTES("\x1b$B\x30\x21\x1b(B"), CharsetShiftJis, CharsetIso2022Jp), "\x88\x9f");
    EXPECT_EQ(ConvertCharset("\x88\x9f", CharsetIso2022Jp, CharsetShiftJis), "\x1b$B\x30\x21\x1b(B");
    EXPECT_EQ(ConvertCharset("abc", 0, 0), "");
    EXPECT_EQ(ConvertCharset("abc", 1, 1), "");
    EXPECT_EQ(ConvertCharset("abc", 2, 0), "");
    EXPECT_EQ(ConvertCharset("abc", 0, -1), "");
}

// The whole JIS X 0208 grid against glibc's ISO-2022-JP and CP932 converters.
TEST(JisToSjisGrid, AgreesWithIconvWhereBothAccept) {
    int compared = 0;
    for (int row = 0x21; row <= 0x7E; ++row) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            const std::string ours = JisToSjis(Jis(row, cell));
            const auto theirs = IconvStrict("CP932", "ISO-2022-JP", Jis(row, cell));
            if (!theirs) {
                // Only codes JIS X 0208 leaves unassigned, where the arithmetic (or "?") alone applies.
                EXPECT_FALSE(IconvStrict("UTF-8", "ISO-2022-JP", Jis(row, cell))) << std::hex << row << cell;
                continue;
            }
            ++compared;
            EXPECT_EQ(ours, *theirs) << std::hex << row << cell;
        }
    }
    EXPECT_EQ(compared, 6879);  // every assigned code
}

// Every code gives one character on the host side: the arithmetic pair where glibc's CP932 reads it as
// one, else a "?" (the carriers' emoji rows once gave "?" and a stray letter or half-width katakana).
TEST(JisToSjisGrid, OneCharacterPerCodeThroughCp932) {
    int held = 0;
    for (int row = 0; row <= 0x7F; ++row) {
        for (int cell = 0; cell <= 0x7F; ++cell) {
            if (row == 0x1B || cell == 0x1B) continue;  // an ESC ends the run
            const auto j1 = static_cast<std::uint8_t>(row);
            const auto j2 = static_cast<std::uint8_t>(cell);
            const CodePair pair = JisPairToSjis(j1, j2);
            const std::string sjis{static_cast<char>(pair.first), static_cast<char>(pair.second)};
            const auto utf16 = IconvStrict("UTF-16LE", "CP932", sjis);
            const bool in_grid = row >= 0x21 && row <= 0x7E && cell >= 0x21 && cell <= 0x7E;
            const bool cp932_has = in_grid && utf16 && utf16->size() == 2;
            const std::string ours = JisToSjis(Jis(row, cell));
            EXPECT_EQ(Cp932HoldsJis(j1, j2), cp932_has) << std::hex << row << ' ' << cell;
            EXPECT_EQ(Cp932HoldsJis(j1 | 0x80, j2 | 0x80), cp932_has) << std::hex << row << ' ' << cell;
            EXPECT_EQ(ours, cp932_has ? sjis : "?") << std::hex << row << ' ' << cell;
            EXPECT_EQ(Cp932ToWide(ours).size(), 1u) << std::hex << row << ' ' << cell;
            held += cp932_has;
        }
    }
    EXPECT_EQ(held, 7336);  // JIS X 0208, NEC row 13 and the NEC-selected IBM rows
}

TEST(SjisToJisGrid, AgreesWithIconvWhereBothAccept) {
    // NEC row 13 repeats mathematical signs of row 2 (≒ ≡ ∫ √ ⊥ ∠ ∵ ∩ ∪). glibc goes through Unicode and
    // writes the row-2 code; the arithmetic keeps row 13, where the CP932 flavour of ISO-2022-JP has them.
    const std::set<int> differ = {0x2D70, 0x2D71, 0x2D72, 0x2D75, 0x2D76, 0x2D77, 0x2D7A, 0x2D7B, 0x2D7C};
    // glibc reads CP932 0x8160 0x8161 0x817C 0x8191 0x8192 0x81CA as U+FF5E U+2225 U+FF0D U+FFE0 U+FFE1
    // U+FFE2, which its ISO-2022-JP cannot write (it has U+301C U+2016 U+2212 U+00A2 U+00A3 U+00AC there).
    const std::set<int> iconv_cannot_write = {0x2141, 0x2142, 0x215D, 0x2171, 0x2172, 0x224C};
    std::set<int> seen_differ;
    std::set<int> seen_cannot_write;
    int compared = 0;
    for (int row = 0x21; row <= 0x7E; ++row) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            const CodePair sjis =
                JisPairToSjis(static_cast<std::uint8_t>(row), static_cast<std::uint8_t>(cell));
            const std::string input{static_cast<char>(sjis.first), static_cast<char>(sjis.second)};
            const std::string ours = SjisToJis(input);
            EXPECT_EQ(ours, Jis(row, cell));
            const auto theirs = IconvStrict("ISO-2022-JP", "CP932", input);
            if (!theirs) {
                if (IconvStrict("UTF-8", "ISO-2022-JP", Jis(row, cell)))
                    seen_cannot_write.insert(row << 8 | cell);
                continue;
            }
            ++compared;
            if (ours != *theirs) seen_differ.insert(row << 8 | cell);
        }
    }
    EXPECT_EQ(compared, 6882);
    EXPECT_EQ(seen_differ, differ);
    EXPECT_EQ(seen_cannot_write, iconv_cannot_write);
}

TEST(SjisToJisGrid, EveryValidPairRoundTrips) {
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead <= 0xDF) continue;
        for (int trail = 0; trail <= 0xFF; ++trail) {
            const CodePair jis =
                SjisPairToJis(static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail));
            const bool valid_trail = trail >= 0x40 && trail <= 0xFC && trail != 0x7F;
            if (lead >= 0xFA && valid_trail && (lead << 8 | trail) <= 0xFC4B) continue;  // IBM rows: below
            if (!valid_trail || lead >= 0xF0) {
                EXPECT_EQ(jis.first | jis.second, 0) << std::hex << lead << ' ' << trail;
                continue;
            }
            ASSERT_TRUE(jis.first >= 0x21 && jis.first <= 0x7E && jis.second >= 0x21 && jis.second <= 0x7E)
                << std::hex << lead << ' ' << trail;
            const CodePair back = JisPairToSjis(jis.first, jis.second);
            EXPECT_EQ(back.first, lead);
            EXPECT_EQ(back.second, trail);
        }
    }
}

// Every IBM extension code against glibc's CP932: the JIS text reads back (through our own JisToSjis and
// glibc's CP932) as the same character, and matches glibc's ISO-2022-JP wherever that can write it.
TEST(SjisToJisGrid, IbmExtensionRowsAsCp932Maps) {
    int mapped = 0;
    int matched_iso = 0;
    for (int lead = 0xFA; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            const std::string input{static_cast<char>(lead), static_cast<char>(trail)};
            const std::string ours = SjisToJis(input);
            EXPECT_EQ(ours.find('\0'), std::string::npos);
            const auto character = IconvStrict("UTF-8", "CP932", input);
            if (!character) {
                EXPECT_EQ(ours, "?") << std::hex << lead << trail;
                continue;
            }
            ++mapped;
            ASSERT_EQ(ours.size(), 8u) << std::hex << lead << trail;
            EXPECT_EQ(IconvStrict("UTF-8", "CP932", JisToSjis(ours)), character) << std::hex << lead << trail;
            if (const auto iso = IconvStrict("ISO-2022-JP", "UTF-8", *character)) {
                ++matched_iso;
                EXPECT_EQ(ours, *iso) << std::hex << lead << trail;
            }
        }
    }
    EXPECT_EQ(mapped, 388);  // 0xFA40..0xFC4B
    EXPECT_GT(matched_iso, 0);
}

// Half-width katakana, alone and followed by each sound mark, read back through glibc's ISO-2022-JP.
struct KanaCase {
    unsigned char byte;
    const char* plain;
    const char* voiced;       // nullptr: takes no voiced mark
    const char* semi_voiced;  // nullptr: takes no semi-voiced mark
};

const KanaCase kKanaCases[] = {
    {0xA1, "。", nullptr, nullptr}, {0xA2, "「", nullptr, nullptr}, {0xA3, "」", nullptr, nullptr},
    {0xA4, "、", nullptr, nullptr}, {0xA5, "・", nullptr, nullptr}, {0xA6, "ヲ", nullptr, nullptr},
    {0xA7, "ァ", nullptr, nullptr}, {0xA8, "ィ", nullptr, nullptr}, {0xA9, "ゥ", nullptr, nullptr},
    {0xAA, "ェ", nullptr, nullptr}, {0xAB, "ォ", nullptr, nullptr}, {0xAC, "ャ", nullptr, nullptr},
    {0xAD, "ュ", nullptr, nullptr}, {0xAE, "ョ", nullptr, nullptr}, {0xAF, "ッ", nullptr, nullptr},
    {0xB0, "ー", nullptr, nullptr}, {0xB1, "ア", nullptr, nullptr}, {0xB2, "イ", nullptr, nullptr},
    {0xB3, "ウ", "ヴ", nullptr},    {0xB4, "エ", nullptr, nullptr}, {0xB5, "オ", nullptr, nullptr},
    {0xB6, "カ", "ガ", nullptr},    {0xB7, "キ", "ギ", nullptr},    {0xB8, "ク", "グ", nullptr},
    {0xB9, "ケ", "ゲ", nullptr},    {0xBA, "コ", "ゴ", nullptr},    {0xBB, "サ", "ザ", nullptr},
    {0xBC, "シ", "ジ", nullptr},    {0xBD, "ス", "ズ", nullptr},    {0xBE, "セ", "ゼ", nullptr},
    {0xBF, "ソ", "ゾ", nullptr},    {0xC0, "タ", "ダ", nullptr},    {0xC1, "チ", "ヂ", nullptr},
    {0xC2, "ツ", "ヅ", nullptr},    {0xC3, "テ", "デ", nullptr},    {0xC4, "ト", "ド", nullptr},
    {0xC5, "ナ", nullptr, nullptr}, {0xC6, "ニ", nullptr, nullptr}, {0xC7, "ヌ", nullptr, nullptr},
    {0xC8, "ネ", nullptr, nullptr}, {0xC9, "ノ", nullptr, nullptr}, {0xCA, "ハ", "バ", "パ"},
    {0xCB, "ヒ", "ビ", "ピ"},       {0xCC, "フ", "ブ", "プ"},       {0xCD, "ヘ", "ベ", "ペ"},
    {0xCE, "ホ", "ボ", "ポ"},       {0xCF, "マ", nullptr, nullptr}, {0xD0, "ミ", nullptr, nullptr},
    {0xD1, "ム", nullptr, nullptr}, {0xD2, "メ", nullptr, nullptr}, {0xD3, "モ", nullptr, nullptr},
    {0xD4, "ヤ", nullptr, nullptr}, {0xD5, "ユ", nullptr, nullptr}, {0xD6, "ヨ", nullptr, nullptr},
    {0xD7, "ラ", nullptr, nullptr}, {0xD8, "リ", nullptr, nullptr}, {0xD9, "ル", nullptr, nullptr},
    {0xDA, "レ", nullptr, nullptr}, {0xDB, "ロ", nullptr, nullptr}, {0xDC, "ワ", nullptr, nullptr},
    {0xDD, "ン", nullptr, nullptr}, {0xDE, "゛", nullptr, nullptr}, {0xDF, "゜", nullptr, nullptr},
};

std::string JisAsUtf8(const std::string& jis) {
    const auto utf8 = IconvStrict("UTF-8", "ISO-2022-JP", jis);
    return utf8 ? *utf8 : "<rejected by iconv>";
}

TEST(SjisToJisKatakana, AllSixtyThreeWithEachMark) {
    ASSERT_EQ(std::size(kKanaCases), 63u);
    int voiced = 0;
    int semi_voiced = 0;
    for (const KanaCase& k : kKanaCases) {
        const std::string kana(1, static_cast<char>(k.byte));
        SCOPED_TRACE(::testing::Message() << std::hex << static_cast<int>(k.byte));
        EXPECT_EQ(JisAsUtf8(SjisToJis(kana)), k.plain);
        EXPECT_EQ(JisAsUtf8(SjisToJis(kana + "\xde")),
                  k.voiced ? std::string(k.voiced) : k.plain + std::string("゛"));
        EXPECT_EQ(JisAsUtf8(SjisToJis(kana + "\xdf")),
                  k.semi_voiced ? std::string(k.semi_voiced) : k.plain + std::string("゜"));
        // Half-width letters round-trip as full-width through the other direction and CP932.
        const auto back = IconvStrict("UTF-8", "CP932", JisToSjis(SjisToJis(kana)));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, k.plain);
        voiced += k.voiced != nullptr;
        semi_voiced += k.semi_voiced != nullptr;
    }
    EXPECT_EQ(voiced, 21);
    EXPECT_EQ(semi_voiced, 5);
}

TEST(SjisToJisKatakana, RowsGivenAsCodes) {
    struct Row {
        unsigned char byte;
        int plain, voiced, semi_voiced;
    };
    const Row rows[] = {{0xA1, 0x2123, 0x2123, 0x2123}, {0xA2, 0x2156, 0x2156, 0x2156},
                        {0xB3, 0x2526, 0x2574, 0x2526}, {0xB6, 0x252B, 0x252C, 0x252B},
                        {0xCA, 0x254F, 0x2550, 0x2551}, {0xDE, 0x212B, 0x212B, 0x212B},
                        {0xDF, 0x212C, 0x212C, 0x212C}};
    auto code = [](const std::string& jis) {
        // ESC $ B, the codes, ESC ( B: the first code only.
        return (static_cast<unsigned char>(jis[3]) << 8) | static_cast<unsigned char>(jis[4]);
    };
    for (const Row& r : rows) {
        const std::string kana(1, static_cast<char>(r.byte));
        EXPECT_EQ(code(SjisToJis(kana)), r.plain);
        EXPECT_EQ(code(SjisToJis(kana + "\xde")), r.voiced);
        EXPECT_EQ(code(SjisToJis(kana + "\xdf")), r.semi_voiced);
    }
}

// Every cut of a mixed text: never a read past the end, and cuts between characters give the converted
// prefix.
TEST(JisSjisTruncation, EveryPrefix) {
    const std::string sjis = BYTES("Re: \x88\x9f\x82\xa0 \xb6\xde\xca\xdf\xb1 end\r\n\x93\xfa\x96\x7b");
    const std::string jis = SjisToJis(sjis);
    const std::string back = JisToSjis(jis);
    for (size_t n = 0; n <= jis.size(); ++n) {
        ExactBuffer prefix(std::string_view(jis).substr(0, n));
        const std::string out = JisToSjis(prefix.view());
        EXPECT_TRUE(out.empty() || back.starts_with(out.substr(0, out.size()))) << n;
    }
    for (size_t n = 0; n <= sjis.size(); ++n) {
        ExactBuffer prefix(std::string_view(sjis).substr(0, n));
        const std::string out = SjisToJis(prefix.view());
        EXPECT_EQ(JisToSjis(out).empty() && !out.empty(), false) << n;
    }
}

// The converters work through long input in blocks: each character that spans two bytes (a pair, a letter
// with its mark) must convert the same wherever a block boundary falls.
TEST(JisSjisLongInput, PairsAndMarksAcrossEveryAlignment) {
    const std::string tail = BYTES("\x88\x9f\xb6\xde\xca\xdfz\x88");  // the lead byte at the end is a "?"
    const std::string tail_jis = BYTES("\x1b$B\x30\x21\x25\x2c\x25\x51\x1b(Bz?");
    for (size_t lead : {4094u, 4095u, 4096u, 4097u, 8190u, 8191u, 8192u, 12287u}) {
        const std::string ascii(lead, 'a');
        EXPECT_EQ(SjisToJis(ascii + tail), ascii + tail_jis) << lead;
        const std::string kanji = [&] {
            std::string k;
            for (size_t i = 0; i < lead / 2; ++i) k += "\x88\x9f";
            return k;
        }();
        const std::string kanji_jis = [&] {
            std::string k;
            for (size_t i = 0; i < lead / 2; ++i) k += "\x30\x21";
            return k;
        }();
        EXPECT_EQ(SjisToJis(kanji + "\xb6\xde"), "\x1b$B" + kanji_jis + "\x25\x2c\x1b(B") << lead;
        EXPECT_EQ(JisToSjis("\x1b$B" + kanji_jis + "\x1b(I\x36\x5e"), kanji + "\xb6\xde") << lead;
    }
}

// Alternating letters and katakana give the largest output per input byte (4.5 times).
TEST(JisSjisLongInput, WorstCaseGrowth) {
    std::string sjis;
    std::string jis;
    std::string full_width;
    for (int i = 0; i < 20000; ++i) {
        sjis += "a\xb1";
        jis += BYTES("a\x1b$B\x25\x22\x1b(B");
        full_width += "a\x83\x41";
    }
    EXPECT_TRUE(SjisToJis(sjis) == jis);
    EXPECT_TRUE(JisToSjis(jis) == full_width);
}

// Random bytes, escapes and katakana included: whatever comes out, nothing is read past the end.
TEST(JisSjisGarbage, RandomBytesStayInside) {
    std::mt19937 rng(0x2022);
    const std::string alphabet =
        BYTES("\x1b$(BIJ@\x21\x30\x7e\x7f\x80\x88\x9f\xa1\xb6\xde\xdf\xe0\xfc\xff\r\n");
    for (int round = 0; round < 3000; ++round) {
        std::string text(rng() % 40, '\0');
        for (char& c : text) c = rng() % 4 ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng());
        ExactBuffer input(text);
        const std::string sjis = JisToSjis(input.view());
        const std::string jis = SjisToJis(input.view());
        EXPECT_LE(sjis.size(), text.size());
        EXPECT_LE(jis.size(), text.size() * 5 + 3);
    }
}

TEST(JisSjisRoundTrip, RandomJapaneseText) {
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 200; ++round) {
        std::string sjis;
        std::string back;  // codes CP932 lacks come back as "?"
        const int length = static_cast<int>(next() % 200);
        for (int i = 0; i < length; ++i) {
            switch (next() % 3) {
                case 0:
                    sjis += static_cast<char>(0x20 + next() % 0x5F);
                    break;
                default: {
                    const auto j1 = static_cast<std::uint8_t>(0x21 + next() % 94);
                    const auto j2 = static_cast<std::uint8_t>(0x21 + next() % 94);
                    const CodePair s = JisPairToSjis(j1, j2);
                    sjis += static_cast<char>(s.first);
                    sjis += static_cast<char>(s.second);
                    if (Cp932HoldsJis(j1, j2)) {
                        back += static_cast<char>(s.first);
                        back += static_cast<char>(s.second);
                    } else {
                        back += '?';
                    }
                    continue;
                }
            }
            back += sjis.back();
        }
        EXPECT_EQ(JisToSjis(SjisToJis(sjis)), back);
    }
}

}  // namespace
}  // namespace mailcore
