#include <gtest/gtest.h>

#include <string>

#include "mailcore/base64.h"
#include "mailcore/base64_encode.h"
#include "mailcore/uudecode.h"
#include "mailcore/uuencode.h"

namespace mailcore {
namespace {

struct Case {
    const char* name;
    std::string input;
    std::string expected;
};

class Base64EncodeTest : public testing::TestWithParam<Case> {};

TEST_P(Base64EncodeTest, MatchesReference) { EXPECT_EQ(Base64Encode(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Rfc4648, Base64EncodeTest,
                         testing::Values(Case{"Empty", "", ""}, Case{"OneByte", "f", "Zg=="},
                                         Case{"TwoBytes", "fo", "Zm8="}, Case{"ThreeBytes", "foo", "Zm9v"},
                                         Case{"FourBytes", "foob", "Zm9vYg=="},
                                         Case{"SixBytes", "foobar", "Zm9vYmFy"},
                                         Case{"HighBytes", std::string("\xff\xfe\x00\x80", 4), "//4AgA=="},
                                         Case{"JisEscape", "\x1b$B", "GyRC"}),
                         [](const auto& info) { return info.param.name; });

class UuEncodeTest : public testing::TestWithParam<Case> {};

TEST_P(UuEncodeTest, MatchesReference) { EXPECT_EQ(UuEncode(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Lines, UuEncodeTest,
                         testing::Values(Case{"Empty", "", ""}, Case{"Cat", "Cat", "#0V%T\r\n"},
                                         Case{"ZeroValuesAsBackquote", std::string(3, '\0'), "#````\r\n"},
                                         Case{"PaddedLastGroup", "A", "!00``\r\n"},
                                         Case{"FullLineThenRest", std::string(46, '\0'),
                                              "M" + std::string(60, '`') + "\r\n!````\r\n"}),
                         [](const auto& info) { return info.param.name; });

// Every length around the group and line sizes survives the trip through our own decoders.
TEST(EncodersRoundTrip, ThroughTheDecoders) {
    for (size_t length = 1; length <= 140; ++length) {
        std::string bytes;
        for (size_t i = 0; i < length; ++i) bytes.push_back(static_cast<char>((i * 37 + length) & 0xFF));
        Bytes expected(bytes.begin(), bytes.end());

        std::string base64 = Base64Encode(bytes);
        // The decoder's callers pad and round the length up to a multiple of 3.
        std::optional<Bytes> decoded =
            Base64DecodeBytes(base64 + "===", base64.size() - base64.size() % 3 + 3);
        ASSERT_TRUE(decoded) << length;
        decoded->resize(std::min(decoded->size(), length));
        EXPECT_EQ(*decoded, expected) << "base64, length " << length;

        std::string uu = UuEncode(bytes);
        std::optional<Bytes> undone = UuDecode(uu, uu.size());
        ASSERT_TRUE(undone) << length;
        undone->resize(std::min(undone->size(), length));
        EXPECT_EQ(*undone, expected) << "uuencode, length " << length;
    }
}

}  // namespace
}  // namespace mailcore
