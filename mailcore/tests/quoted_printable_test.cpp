#include "mailcore/quoted_printable.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mailcore/hex_digit.h"
#include "mailcore/tests/exact_buffer.h"

namespace mailcore {
namespace {

using testing::ExactBuffer;

std::string S(const char* bytes, size_t n) { return std::string(bytes, n); }
#define BYTES(literal) S(literal, sizeof(literal) - 1)

// A plain RFC 2045 encoder, independent of the decoder: printable ASCII but "=" stays, everything else
// becomes =XY, lines are cut with soft breaks before 76 characters.
std::string Encode(const std::string& data) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    size_t line = 0;
    for (unsigned char c : data) {
        std::string piece;
        if (c >= 33 && c <= 126 && c != '=') {
            piece = static_cast<char>(c);
        } else {
            piece = {'=', kHex[c >> 4], kHex[c & 15]};
        }
        if (line + piece.size() > 75) {
            out += "=\r\n";
            line = 0;
        }
        out += piece;
        line += piece.size();
    }
    return out;
}

struct Case {
    const char* name;
    std::string text;
    std::string expected;  // QpDecodeText
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class QpCases : public ::testing::TestWithParam<Case> {};

TEST_P(QpCases, Text) {
    ExactBuffer text(GetParam().text);
    EXPECT_EQ(QpDecodeText(text.view(), text.view().size()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QpCases,
    ::testing::Values(
        // RFC 2045 section 6.7.
        Case{"Rfc2045SoftLineBreaks",
             "Now's the time =\r\nfor all folk to come=\r\n to the aid of their country.",
             "Now's the time for all folk to come to the aid of their country."},
        Case{"Rfc2045EqualsSign", "a=3Db", "a=b"}, Case{"Space", "a=20b", "a b"},
        Case{"TwoOctetsInARow", "=82=A0", BYTES("\x82\xa0")},
        Case{"LowerCaseHex", "=82=a0", BYTES("\x82\xa0")}, Case{"EncodedCrLf", "a=0D=0Ab", "a\r\nb"},
        Case{"PlainLineBreakKept", "a\r\nb", "a\r\nb"},
        Case{"NonHexDigitsUseTheirCodes", "=G1", std::string(1, static_cast<char>(('G' * 16 + 1) & 0xFF))},
        Case{"KanjiRun", "=1B$B0!$\"=1B(B!", BYTES("\x88\x9f\x82\xa0!")},
        Case{"KanjiRunUnclosed", "=1B$B0!$\"", BYTES("\x88\x9f\x82\xa0")},
        Case{"KanjiRunUnclosedOddByte", "=1B$B0!$", BYTES("\x88\x9f")},
        Case{"KanjiRunEmpty", "a=1B$B=1B(Bb", "ab"},
        Case{"KanjiRunMasksHighBit", "=1B$B\xb0\xa1=1B(B", BYTES("\x88\x9f")},
        Case{"KanjiRunEmojiOneQuestionMarkEach", "=1B$B0!uAv!=1B(B", BYTES("\x88\x9f??")},
        Case{"EqualsAtEndIsSoftBreak", "abc=", "abc"},
        Case{"EqualsAndOneCharacterAtEndKept", "abc=4", "abc=4"}, Case{"ZeroEndsText", "a=00b", "a"},
        Case{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QpDecode, LengthLimitsTheInput) {
    ExactBuffer text("=82=A0=82=A2");
    EXPECT_EQ(QpDecodeText(text.view(), 6), "\x82\xa0");
    EXPECT_EQ(QpDecodeText(text.view(), 5), "\x82=A");
    EXPECT_EQ(QpDecodeText(text.view(), 4), "\x82");
    EXPECT_EQ(QpDecodeText(text.view(), 1000), "\x82\xa0\x82\xa2");
    EXPECT_EQ(QpDecodeText(text.view(), 0), "");
}

TEST(QpDecode, BytesEndAtFirstZero) {
    ExactBuffer text("ab=00cd");
    EXPECT_EQ(QpDecodeBytes(text.view(), 7), (Bytes{'a', 'b'}));
    ExactBuffer clean("ab=FFcd");
    EXPECT_EQ(QpDecodeBytes(clean.view(), 7), (Bytes{'a', 'b', 0xFF, 'c', 'd'}));
}

TEST(QpDecode, RandomRoundTrips) {
    std::mt19937 rng(2045);
    for (int round = 0; round < 500; ++round) {
        std::string data(rng() % 400, '\0');
        for (char& c : data) c = static_cast<char>(1 + rng() % 255);  // no zero: text ends there
        const std::string encoded = Encode(data);
        ExactBuffer text(encoded);
        EXPECT_EQ(QpDecodeText(text.view(), encoded.size()), data);
    }
}

// Cuts at every place: never a read past the end, and a cut that leaves no "=" sequence open gives a
// prefix of the data.
TEST(QpDecode, EveryPrefix) {
    const std::string encoded = "Caf=C3=A9 =1B$B0!$\"=1B(B tail=\r\nnext";
    const std::string full = QpDecodeText(encoded, encoded.size());
    for (size_t n = 0; n <= encoded.size(); ++n) {
        ExactBuffer prefix(std::string_view(encoded).substr(0, n));
        const std::string out = QpDecodeText(prefix.view(), n);
        bool open = false;  // the cut falls inside an "=XY" or an encoded escape
        for (size_t e = encoded.find('='); e != std::string::npos; e = encoded.find('=', e + 1)) {
            const size_t span = encoded.compare(e, 3, "=1B") == 0 ? 5 : 3;
            open = open || (n > e && n < e + span);
        }
        if (!open) {
            EXPECT_TRUE(full.starts_with(out)) << n << ": " << out;
        }
    }
}

TEST(QpDecode, RandomGarbageStaysInside) {
    std::mt19937 rng(76);
    constexpr std::string_view kPieces = "=1B$(B0!3DA\r\n";
    for (int round = 0; round < 3000; ++round) {
        std::string text(rng() % 40, '\0');
        for (char& c : text) c = rng() % 2 ? kPieces[rng() % kPieces.size()] : static_cast<char>(rng());
        ExactBuffer input(text);
        const size_t length = rng() % 64;
        EXPECT_LE(QpDecodeText(input.view(), length).size(), std::min(length, text.size()));
        EXPECT_LE(QpDecodeBytes(input.view(), length).size(), std::min(length, text.size()));
    }
}

TEST(HexDigitValue, Table) {
    const struct {
        char c;
        int value;
    } rows[] = {{'0', 0},   {'9', 9},   {'A', 10},  {'F', 15}, {'a', 10},     {'f', 15},
                {'G', 'G'}, {'g', 'g'}, {' ', ' '}, {'\0', 0}, {'\xff', 0xFF}};
    for (const auto& r : rows) EXPECT_EQ(HexDigitValue(r.c), r.value) << r.c;
}

}  // namespace
}  // namespace mailcore
