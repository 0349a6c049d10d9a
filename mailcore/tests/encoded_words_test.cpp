#include "mailcore/encoded_words.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mailcore/tests/exact_buffer.h"

namespace mailcore {
namespace {

using testing::ExactBuffer;

std::string S(const char* bytes, size_t n) { return std::string(bytes, n); }
#define BYTES(literal) S(literal, sizeof(literal) - 1)

std::string Base64(const std::string& data, bool pad = true) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < data.size(); i += 3) {
        unsigned v = 0;
        const size_t n = std::min<size_t>(3, data.size() - i);
        for (size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<unsigned char>(data[i + k]) : 0);
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 63] : (pad ? '=' : '\0');
    }
    if (!pad) out.erase(out.find_last_not_of('\0') + 1);
    return out;
}

const std::string kA = BYTES("\x1b$B$\"\x1b(B");  // あ in ISO-2022-JP
const std::string kI = BYTES("\x1b$B$$\x1b(B");   // い
const std::string kASjis = BYTES("\x82\xa0");     // あ in Shift_JIS
const std::string kISjis = BYTES("\x82\xa2");     // い
const std::string kWordA = "=?ISO-2022-JP?B?" + Base64(kA) + "?=";
const std::string kWordI = "=?iso-2022-jp?B?" + Base64(kI) + "?=";

struct Case {
    const char* name;
    std::string value;
    std::optional<std::string> words;  // DecodeEncodedWords
    std::string header;                // DecodeHeaderText(value, false, false)
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class EncodedWordCases : public ::testing::TestWithParam<Case> {};

TEST_P(EncodedWordCases, Decode) {
    ExactBuffer value(GetParam().value);
    EXPECT_EQ(DecodeEncodedWords(value.view()), GetParam().words);
    EXPECT_EQ(DecodeHeaderText(value.view(), false, false), GetParam().header);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EncodedWordCases,
    ::testing::Values(
        Case{"NoEqualsGivesNothing", "Hello world", std::nullopt, "Hello world"},
        Case{"EqualsWithoutWord", "a=b =? c", "a=b =? c", "a=b =? c"}, Case{"IsoUpperB", kWordA, kA, kASjis},
        Case{"IsoLowerB", "=?iso-2022-jp?B?" + Base64(kA) + "?=", kA, kASjis},
        Case{"IsoLowerLowerB", "=?iso-2022-jp?b?" + Base64(kA) + "?=", kA, kASjis},
        Case{"SjisUpperB", "=?SHIFT-JIS?B?" + Base64(kASjis) + "?=", kASjis, kASjis},
        Case{"SjisLowerB", "=?shift-jis?B?" + Base64(kASjis) + "?=", kASjis, kASjis},
        Case{"SjisLowerLowerB", "=?shift-jis?b?" + Base64(kASjis) + "?=", kASjis, kASjis},
        Case{"UpperNameLowerEncodingLeft", "=?ISO-2022-JP?b?" + Base64(kA) + "?=",
             "=?ISO-2022-JP?b?" + Base64(kA) + "?=", "=?ISO-2022-JP?b?" + Base64(kA) + "?="},
        Case{"MixedCaseNameLeft",
             "=?Iso-2022-Jp?B?QUJD?=", "=?Iso-2022-Jp?B?QUJD?=", "=?Iso-2022-Jp?B?QUJD?="},
        Case{"QEncodingLeft", "=?ISO-2022-JP?Q?abc?=", "=?ISO-2022-JP?Q?abc?=", "=?ISO-2022-JP?Q?abc?="},
        Case{"ShiftUnderscoreJisLeft",
             "=?Shift_JIS?B?gqA=?=", "=?Shift_JIS?B?gqA=?=", "=?Shift_JIS?B?gqA=?="},
        // RFC 2047 section 8: other charsets and the Q encoding are not decoded.
        Case{"Rfc2047KeithMoore", "=?US-ASCII?Q?Keith_Moore?= <moore@cs.utk.edu>",
             "=?US-ASCII?Q?Keith_Moore?= <moore@cs.utk.edu>",
             "=?US-ASCII?Q?Keith_Moore?= <moore@cs.utk.edu>"},
        Case{"Rfc2047Latin1B", "=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?=",
             "=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?=",
             "=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?="},
        Case{"Rfc2047AdjacentQ", "(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)",
             "(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)", "(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)"},
        // Adjacent words: folding whitespace goes, a blank on the same line stays.
        Case{"AdjacentOnOneLineKeepBlank", "(" + kWordA + " " + kWordI + ")", "(" + kA + " " + kI + ")",
             "(" + kASjis + " " + kISjis + ")"},
        Case{"AdjacentFoldedWithTab", kWordA + "\r\n\t" + kWordI, kA + kI, kASjis + kISjis},
        Case{"AdjacentFoldedWithBlanks", kWordA + "\r\n \t  " + kWordI, kA + kI, kASjis + kISjis},
        Case{"AdjacentWithoutSpace", kWordA + kWordI, kA + kI, kASjis + kISjis},
        Case{"SjisCharacterSplitAcrossWords",
             "=?SHIFT-JIS?B?" + Base64("\x82") + "?=\r\n =?SHIFT-JIS?B?" + Base64("\xa0") + "?=", kASjis,
             kASjis},
        Case{"TextAroundWords", "Re: " + kWordA + " [list]", "Re: " + kA + " [list]",
             "Re: " + kASjis + " [list]"},
        Case{"ValueEndsAtUnfoldedLineBreak", kWordA + "\r\nX-Next: " + kWordI, kA, kASjis},
        // Malformed words.
        Case{"MissingClose", "=?ISO-2022-JP?B?" + Base64(kA), "=?ISO-2022-JP?B?" + Base64(kA),
             "=?ISO-2022-JP?B?" + Base64(kA)},
        Case{"QuestionMarkWithoutEquals", "=?ISO-2022-JP?B?QUJD?x", "=?ISO-2022-JP?B?QUJD?x",
             "=?ISO-2022-JP?B?QUJD?x"},
        Case{"BadBase64DecodedByTheGroupRule", "=?shift-jis?B?QU!D?=", BYTES("A\x7f\xc3"),
             BYTES("A\x7f\xc3")},
        Case{"EmptyEncodedText",
             "a=?ISO-2022-JP?B?"
             "?=b",
             "ab", "ab"},
        Case{"ZeroByteEndsThatWordOnly", "=?shift-jis?B?" + Base64(BYTES("a\0b")) + "?=c", "ac", "ac"},
        Case{"BrokenJisGivesEmptyHeader", "=?ISO-2022-JP?B?" + Base64("\x1b$B$") + "?=", BYTES("\x1b$B$"),
             ""},
        // Carrier emoji (rows 0x75, 0x76) have no CP932 character: one "?" each.
        Case{"EmojiOneQuestionMarkEach", "=?ISO-2022-JP?B?" + Base64(BYTES("\x1b$B$\"uAv!$$\x1b(B")) + "?=",
             BYTES("\x1b$B$\"uAv!$$\x1b(B"), kASjis + "??" + kISjis}),
    [](const auto& info) { return std::string(info.param.name); });

// Unpadded words of every length decode completely, whatever the length modulo 12.
TEST(EncodedWords, UnpaddedWordsDecodeCompletely) {
    for (size_t n = 1; n <= 40; ++n) {
        std::string data;
        for (size_t i = 0; i < n; ++i) data += static_cast<char>('a' + i % 26);
        const std::string word = "=?shift-jis?B?" + Base64(data, false) + "?=";
        EXPECT_EQ(DecodeEncodedWords(word), data) << n << ' ' << word;
        EXPECT_EQ(DecodeEncodedWords("=?shift-jis?B?" + Base64(data) + "?="), data) << n;
    }
}

TEST(DecodeHeaderText, RawAndUnfold) {
    const struct {
        const char* name;
        std::string value;
        bool raw;
        bool unfold;
        std::string expected;
    } rows[] = {
        {"RawLeavesWords", kWordA, true, false, kWordA},
        {"RawConvertsPlainJis", "Re: " + kA, true, false, "Re: " + kASjis},
        {"UnfoldDropsOneBlank", "a\r\n  b", true, true, "a b"},
        {"UnfoldDropsLineBreakBeforeOther", "a\r\nb", true, true, "ab"},
        {"UnfoldWithoutEqualsUsesValue", "a\r\n\tb", false, true, "ab"},
        {"NoUnfoldKeepsLineBreak", "a\r\n b", true, false, "a\r\n b"},
        {"WordsThenUnfold", kWordA + "\r\n " + kWordI, false, true, kASjis + kISjis},
    };
    for (const auto& r : rows) {
        ExactBuffer value(r.value);
        EXPECT_EQ(DecodeHeaderText(value.view(), r.raw, r.unfold), r.expected) << r.name;
    }
}

TEST(EncodedWords, RandomGarbageStaysInside) {
    std::mt19937 rng(2047);
    const std::string pieces[] = {"=?ISO-2022-JP?B?",
                                  "=?shift-jis?b?",
                                  "?=",
                                  "GyRC",
                                  "JCI",
                                  "=",
                                  "?",
                                  "\r\n",
                                  " ",
                                  "\t",
                                  "\x1b$B",
                                  "x"};
    for (int round = 0; round < 3000; ++round) {
        std::string value;
        for (int n = static_cast<int>(rng() % 8); n > 0; --n) value += pieces[rng() % std::size(pieces)];
        ExactBuffer input(value);
        const auto words = DecodeEncodedWords(input.view());
        if (words) {
            EXPECT_LE(words->size(), value.size());
        }
        (void)DecodeHeaderText(input.view(), rng() % 2, rng() % 2);
    }
}

TEST(EncodedWords, EveryPrefixStaysInside) {
    const std::string value =
        "Re: " + kWordA + "\r\n\t" + kWordI + " =?shift-jis?b?" + Base64(kASjis) + "?= end";
    for (size_t n = 0; n <= value.size(); ++n) {
        ExactBuffer prefix(std::string_view(value).substr(0, n));
        (void)DecodeHeaderText(prefix.view(), false, true);
        const auto words = DecodeEncodedWords(prefix.view());
        if (n >= 5) {
            EXPECT_TRUE(words.has_value()) << n;
        }
    }
}

}  // namespace
}  // namespace mailcore
