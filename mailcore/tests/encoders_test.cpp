#include <gtest/gtest.h>

#include <string>

#include "mailcore/base64_encode.h"
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

}  // namespace
}  // namespace mailcore
