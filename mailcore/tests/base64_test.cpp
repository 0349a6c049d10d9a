#include "mailcore/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mailcore/tests/exact_buffer.h"

namespace mailcore {
namespace {

using testing::ExactBuffer;

// Callers pass a length that is a multiple of 3 and covers every group they want decoded.
size_t Cover(size_t n) { return ((n + 3) / 4 * 4 + 2) / 3 * 3; }

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A plain RFC 4648 encoder, independent of the decoder under test.
std::string Encode(const std::string& data) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(data[i]) << 16 |
                           static_cast<unsigned char>(data[i + 1]) << 8 |
                           static_cast<unsigned char>(data[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (data.size() - i == 1) {
        const unsigned v = static_cast<unsigned char>(data[i]) << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (data.size() - i == 2) {
        const unsigned v = static_cast<unsigned char>(data[i]) << 16 | static_cast<unsigned char>(data[i + 1])
                                                                           << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

struct Case {
    const char* name;
    std::string text;
    size_t length;
    std::optional<std::string> bytes;  // nothing: Base64DecodeBytes gives nothing
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Base64Cases : public ::testing::TestWithParam<Case> {};

TEST_P(Base64Cases, BytesForm) {
    ExactBuffer text(GetParam().text);
    const auto decoded = Base64DecodeBytes(text.view(), GetParam().length);
    ASSERT_EQ(decoded.has_value(), GetParam().bytes.has_value());
    if (decoded) {
        EXPECT_EQ(AsString(*decoded), *GetParam().bytes);
    }
}

TEST_P(Base64Cases, TextFormEndsAtZero) {
    ExactBuffer text(GetParam().text);
    const std::string expected = GetParam().bytes.value_or("");
    EXPECT_EQ(Base64DecodeText(text.view(), GetParam().length), expected.substr(0, expected.find('\0')));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Base64Cases,
    ::testing::Values(
        // RFC 4648 section 10.
        Case{"Rfc4648Empty", "", 0, ""}, Case{"Rfc4648F", "Zg==", 6, "f"}, Case{"Rfc4648Fo", "Zm8=", 6, "fo"},
        Case{"Rfc4648Foo", "Zm9v", 6, "foo"}, Case{"Rfc4648Foob", "Zm9vYg==", 9, "foob"},
        Case{"Rfc4648Fooba", "Zm9vYmE=", 9, "fooba"}, Case{"Rfc4648Foobar", "Zm9vYmFy", 9, "foobar"},
        // The third and fourth characters decide how many bytes a group gives.
        Case{"ThirdInvalidFourthValid", "TW=u", 6, std::string("M\x7f\xee")},
        Case{"BothInvalidFirstByteOnly", "TW!!", 6, "M"},
        Case{"NothingValid", "!!!!", 6, std::string("\xff")},
        Case{"PaddingDoesNotStopDecoding", "TQ==TWFu", 9, "MMan"}, Case{"UnpaddedTail", "TWFuTW", 9, "ManM"},
        Case{"LengthCutsGroups", "TWFuTWFu", 6, "Man"}, Case{"LengthNotMultipleOf3", "TWFu", 4, std::nullopt},
        Case{"LengthTwoNotMultipleOf3", "TWFu", 8, std::nullopt},
        Case{"LengthPastTextOnlyDecodesTheText", "TWFu", 3000, "Man"},
        Case{"LengthHuge", "TWFu", size_t{3} << 60, "Man"},
        Case{"ZeroByte", "YQBi", 6, std::string("a\0b", 3)},
        Case{"LeadingZeroByte", "AGE=", 6, std::string("\0a", 2)},
        Case{"LineBreakIsOutsideAlphabet", "TW\r\n", 6, "M"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Base64, RandomRoundTrips) {
    std::mt19937 rng(4648);
    for (int round = 0; round < 500; ++round) {
        std::string data(rng() % 300, '\0');
        for (char& c : data) c = static_cast<char>(rng());
        const std::string encoded = Encode(data);
        ExactBuffer text(encoded);
        const auto decoded = Base64DecodeBytes(text.view(), Cover(encoded.size()));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(AsString(*decoded), data);
    }
}

// Groups decoded in pieces (as a reader that splits lines or network reads would) give the same bytes,
// and a cut anywhere but one character into a group gives a prefix of the data.
TEST(Base64, ChunksAndTruncation) {
    std::mt19937 rng(2045);
    std::string data(3000, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    const std::string encoded = Encode(data);
    for (size_t chunk : {4u, 16u, 76u, 4096u}) {
        std::string joined;
        for (size_t at = 0; at < encoded.size(); at += chunk) {
            ExactBuffer piece(std::string_view(encoded).substr(at, chunk));
            joined += AsString(*Base64DecodeBytes(piece.view(), Cover(piece.view().size())));
        }
        EXPECT_EQ(joined, data) << chunk;
    }
    for (size_t n = 0; n < 200; ++n) {
        ExactBuffer prefix(std::string_view(encoded).substr(0, n));
        const auto decoded = Base64DecodeBytes(prefix.view(), Cover(n));
        ASSERT_TRUE(decoded);
        if (n % 4 != 1) {
            EXPECT_EQ(AsString(*decoded), data.substr(0, n * 3 / 4)) << n;
        }
    }
}

TEST(Base64, RandomGarbageStaysInside) {
    std::mt19937 rng(64);
    constexpr std::string_view kPieces = "AZaz09+/=\r\n";
    for (int round = 0; round < 3000; ++round) {
        std::string text(rng() % 40, '\0');
        for (char& c : text) c = rng() % 2 ? kPieces[rng() % kPieces.size()] : static_cast<char>(rng());
        ExactBuffer input(text);
        const size_t length = rng() % 64;
        const auto bytes = Base64DecodeBytes(input.view(), length);
        EXPECT_EQ(bytes.has_value(), length % 3 == 0);
        if (bytes) {
            EXPECT_LE(bytes->size(), (text.size() + 3) / 4 * 3);
        }
        EXPECT_LE(Base64DecodeText(input.view(), length).size(), (text.size() + 3) / 4 * 3);
    }
}

}  // namespace
}  // namespace mailcore
