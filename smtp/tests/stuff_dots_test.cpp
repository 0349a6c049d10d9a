#include "smtp/stuff_dots.h"

#include <gtest/gtest.h>

#include <string>

namespace outlark {
namespace {

struct Case {
    const char* name;
    std::string text;
    std::string expected;
};

class StuffDotsTest : public testing::TestWithParam<Case> {};

TEST_P(StuffDotsTest, Stuffs) { EXPECT_EQ(StuffDots(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Table, StuffDotsTest,
    testing::Values(Case{"NothingToDo", "a\r\nb\r\n.\r\n", "a\r\nb\r\n.\r\n"},
                    Case{"LoneDotLineDoubled", "a\r\n.\r\nb\r\n.\r\n", "a\r\n..\r\nb\r\n.\r\n"},
                    Case{"LeadingDotDoubled", "a\r\n.hidden\r\n.\r\n", "a\r\n..hidden\r\n.\r\n"},
                    Case{"TwoDotsBecomeThree", "a\r\n..\r\n.\r\n", "a\r\n...\r\n.\r\n"},
                    Case{"DotInsideLineKept", "a.b\r\n.\r\n", "a.b\r\n.\r\n"},
                    Case{"FirstLineDot", ".a\r\n.\r\n", "..a\r\n.\r\n"},
                    Case{"ClosingOnly", ".\r\n", ".\r\n"},
                    // A bare LF before "." could end the data early at a lenient server.
                    Case{"BareLfBeforeDot", "a\n.\r\nMAIL FROM:<x>\r\n.\r\n",
                         "a\r\n..\r\nMAIL FROM:<x>\r\n.\r\n"},
                    Case{"BareCrBeforeDot", "a\r.\r\n.\r\n", "a\r\n..\r\n.\r\n"},
                    Case{"BlankLineBeforeClosing", "a\r\n\r\n.\r\n", "a\r\n\r\n.\r\n"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace outlark
