#include "agent/config/scramble.h"

#include <gtest/gtest.h>

#include <string>

#include "agent/config/tests/test_random.h"

namespace mirelo {
namespace {

std::string Filler(std::size_t count, char c = 'A') { return std::string(count, c); }

struct ScrambleRow {
    const char* name;
    std::string plain;
    std::int16_t key;
    std::string expected;  // with filler from FixedRandom{0.0}: all "A"
};
void PrintTo(const ScrambleRow& row, std::ostream* os) { *os << row.name; }

// Digits of 4021 are 4, 0, 2, 1; of 1342 they are 1, 3, 4, 2.
const ScrambleRow kScrambleRows[] = {
    {"Empty", "", 4021, ""},
    {"OneChar", "a", 4021, "Be" + Filler(40)},
    {"DigitsCycle", "aaaaa", 4021, "Feacbe" + Filler(36)},
    {"UnlockKey", "pass", 1342, "Eqdwu" + Filler(37)},
    {"AccountSeparators", "\\\\", 4021, "C`\\" + Filler(39)},
    // "あ" is 0x82A0: its signed 16-bit code shifts like any other.
    {"DoubleByte", "\x82\xA0", 1342, "B\x82\xA1" + Filler(40)},
    {"MixedWidths",
     "a\x82\xA0"
     "b\x88\x9F",
     4021,
     "Ee\x82\xA0"
     "d\x88\xA0" +
         Filler(37)},
    // "ソ" is 0x835C: its trail byte is the backslash, and it stays one character.
    {"TrailByteBackslash",
     "\x83\x5C"
     "x",
     4021, "C\x83\x60x" + Filler(39)},
    {"FortyCharsOneFiller", std::string(40, 'a'), 1342,
     "i" +
         [] {
             std::string s;
             for (int i = 0; i < 10; ++i) s += "bdec";
             return s;
         }() +
         "A"},
    {"FortyOneCharsNoFiller", std::string(41, '0'), 4021,
     "j" +
         [] {
             std::string s;
             for (int i = 0; i < 10; ++i) s += "4021";
             return s + "4";
         }()},
};

class ScrambleTable : public testing::TestWithParam<ScrambleRow> {};

TEST_P(ScrambleTable, MatchesHandComputedBytes) {
    const ScrambleRow& row = GetParam();
    FixedRandom random;
    EXPECT_EQ(ScrambleText(row.plain, row.key, random), row.expected);
    EXPECT_EQ(UnscrambleText(row.expected, row.key), row.plain);
}

INSTANTIATE_TEST_SUITE_P(Scramble, ScrambleTable, testing::ValuesIn(kScrambleRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Scramble, FillerRunsFromAToBrace) {
    // Nearest integer of 65 + r * 60: 0 gives "A", 0.5 gives "_", just below 1 gives "}".
    FixedRandom random({0.0, 0.5, 0.9999});
    EXPECT_EQ(ScrambleText("a", 4021, random),
              "Be" + std::string("A_}") + "A_}A_}A_}A_}A_}A_}A_}A_}A_}A_}A_}A_}A");
}

TEST(Scramble, ClockFillerDiffersButUnscramblesAlike) {
    ClockSeededRandom random;
    const std::string first = ScrambleText("user@example.jp", 4021, random);
    const std::string second = ScrambleText("user@example.jp", 4021, random);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.size(), 42u);
    EXPECT_EQ(UnscrambleText(first, 4021), "user@example.jp");
    EXPECT_EQ(UnscrambleText(second, 4021), "user@example.jp");
    for (char c : first.substr(16)) {
        EXPECT_GE(c, 'A');
        EXPECT_LE(c, '}');
    }
}

TEST(Scramble, LongTextsKeepTheirLengthByte) {
    // 62 and more characters make a length byte of 0x7F and above; 64 makes 0x81, a lead byte, which
    // must still be read as the length alone.
    for (std::size_t n : {61u, 62u, 63u, 64u, 70u, 126u}) {
        const std::string plain(n, 'k');
        FixedRandom random;
        const std::string scrambled = ScrambleText(plain, 4021, random);
        EXPECT_EQ(static_cast<unsigned char>(scrambled[0]), 'A' + n);
        EXPECT_EQ(UnscrambleText(scrambled, 4021), plain) << n;
    }
}

struct UnscrambleRow {
    const char* name;
    std::string scrambled;
    std::int16_t key;
    std::string expected;
};
void PrintTo(const UnscrambleRow& row, std::ostream* os) { *os << row.name; }

const UnscrambleRow kUnscrambleRows[] = {
    {"FillerIgnored",
     "Dedf"
     "xyz",
     1342, "dab"},
    {"ShorterThanLength", "Fe", 4021, "a"},
    {"LengthBelowA", "0abc", 4021, ""},
    // 0x01 - 4 is no character: skipped, the rest goes on.
    {"CodeWithoutCharacter",
     "D\x01"
     "bd",
     4021, "bb"},
    {"LoneLeadByteAtEnd",
     "C"
     "e\x82",
     4021, "a\x82"},
};

class UnscrambleTable : public testing::TestWithParam<UnscrambleRow> {};

TEST_P(UnscrambleTable, NeverFails) {
    EXPECT_EQ(UnscrambleText(GetParam().scrambled, GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Scramble, UnscrambleTable, testing::ValuesIn(kUnscrambleRows),
                         [](const auto& info) { return std::string(info.param.name); });

struct StorableRow {
    const char* name;
    std::string plain;
    std::int16_t key;
    std::optional<std::size_t> firstBad;
};
void PrintTo(const StorableRow& row, std::ostream* os) { *os << row.name; }

// Digits of 4021 are 4, 0, 2, 1; of 1342 they are 1, 3, 4, 2.
const StorableRow kStorableRows[] = {
    {"PlainAscii", "user@example.jp", 4021, std::nullopt},
    {"Japanese", "\x8C\x67\x91\xD1", 1342, std::nullopt},
    // 0x7F and 0x80 are odd but plain bytes of the file.
    {"TildeToDelIsKept", "~", 1342, std::nullopt},
    {"BraceTo80IsKept", "a}", 1342, std::nullopt},
    {"TildeBecomesLeadByte", "~", 4021, 0},
    {"KatakanaBecomesLeadByte", "\xDF", 1342, 0},
    {"KatakanaEarly", "\xB1", 1342, std::nullopt},
    {"TabBecomesLineFeed", "\t", 1342, 0},
    {"TabBecomesCarriageReturn", "ab\t", 1342, 2},
    {"ControlBecomesFormFeed", "a\t", 1342, std::nullopt},
    // "蔭" 0x88FC: +1 gives trail 0xFD, still read as one pair; +4 carries into 0x8900, a NUL.
    {"TrailPastFCIsKept", "\x88\xFC", 1342, std::nullopt},
    {"CarryIntoNul", "\x88\xFC", 4021, 0},
    // 0x9FFC + 4 is 0xA000: 0xA0 is no lead byte.
    {"CarryOutOfLeadRange", "\x9F\xFC", 4021, 0},
    // A lead byte at the very end of a text without filler has nothing to swallow.
    {"LeadByteAtEndWithoutFiller", std::string(40, 'a') + "~", 4021, std::nullopt},
    {"LeadByteBeforeFiller", std::string(39, 'a') + "~~", 4021, std::nullopt},
    {"LeadByteSwallowsFiller", std::string(36, 'a') + "~", 4021, 36},
};

class StorableTable : public testing::TestWithParam<StorableRow> {};

TEST_P(StorableTable, FindsCharactersAnIniLineCannotKeep) {
    EXPECT_EQ(FirstUnstorableScrambledChar(GetParam().plain, GetParam().key), GetParam().firstBad);
}

INSTANTIATE_TEST_SUITE_P(Scramble, StorableTable, testing::ValuesIn(kStorableRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mirelo
