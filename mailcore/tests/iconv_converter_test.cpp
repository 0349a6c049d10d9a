#include "mailcore/iconv_converter.h"

#include <gtest/gtest.h>

namespace mailcore {
namespace {

struct Row {
    const char* name;
    const char* to;
    std::string input;  // UTF-8
    std::string expected;
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const Row kRows[] = {
    // "日本" is 0x467C 0x4B5C in JIS X 0208.
    {"JapaneseEndsInAscii", "ISO-2022-JP", "日本", "\x1b$BF|K\\\x1b(B"},
    {"MixedEndsInAscii", "ISO-2022-JP", "a日", "a\x1b$BF|\x1b(B"},
    {"AsciiNeedsNoEscape", "ISO-2022-JP", "abc", "abc"},
    {"Empty", "ISO-2022-JP", "", ""},
    {"StatelessTarget", "CP932", "日本", "\x93\xfa\x96\x7b"},
};

class IconvConverterRows : public testing::TestWithParam<Row> {};

TEST_P(IconvConverterRows, WholeOutput) {
    const IconvConverter converter(GetParam().to, "UTF-8");
    EXPECT_EQ(converter.Convert(GetParam().input, "?", 1), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Iconv, IconvConverterRows, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IconvConverter, SecondConversionStartsAfresh) {
    const IconvConverter converter("ISO-2022-JP", "UTF-8");
    ASSERT_EQ(converter.Convert("日", "?", 1), "\x1b$BF|\x1b(B");
    EXPECT_EQ(converter.Convert("x", "?", 1), "x");
}

}  // namespace
}  // namespace mailcore
