#include "pop3/pop3_replies.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

namespace inlark {
namespace {

TEST(Pop3Replies, CommandLines) {
    EXPECT_EQ(CommandLine(Pop3Word::kStat), "STAT\r\n");
    EXPECT_EQ(CommandLine(Pop3Word::kList, 12), "LIST 12\r\n");
    EXPECT_EQ(CommandLine(Pop3Word::kTop, 3, 0), "TOP 3 0\r\n");
    EXPECT_EQ(CommandLine(Pop3Word::kTop, 3, -1), "TOP 3 -1\r\n");
    EXPECT_EQ(CommandLine(Pop3Word::kUser, "taro"), "USER taro\r\n");
    EXPECT_EQ(CommandLine(Pop3Word::kRetr, INT32_MAX), "RETR 2147483647\r\n");
}

TEST(Pop3Replies, LeadingNumberReadsAsAtoiDoes) {
    struct Row {
        std::string_view text;
        std::int32_t value;
    };
    for (const Row& row :
         {Row{"42", 42}, Row{"  7 x", 7}, Row{"\t-3", -3}, Row{"+9", 9}, Row{"x1", 0}, Row{"", 0},
          Row{"99999999999", INT_MAX}, Row{"-99999999999", INT_MIN}, Row{"12abc", 12}}) {
        EXPECT_EQ(LeadingNumber(row.text), row.value) << row.text;
    }
}

struct TwoNumbersRow {
    const char* name;
    std::string reply;
    bool parses;
    std::int32_t first;
    std::int32_t second;
    friend void PrintTo(const TwoNumbersRow& row, std::ostream* os) { *os << row.name; }
};

class TwoNumbers : public ::testing::TestWithParam<TwoNumbersRow> {};

TEST_P(TwoNumbers, Parse) {
    const auto& row = GetParam();
    auto entry = ParseTwoNumbers(row.reply);
    ASSERT_EQ(entry.has_value(), row.parses);
    if (entry) {
        EXPECT_EQ(entry->number, row.first);
        EXPECT_EQ(entry->size, row.second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pop3Replies, TwoNumbers,
    ::testing::Values(TwoNumbersRow{"Stat", "+OK 3 4520\r\n", true, 3, 4520},
                      TwoNumbersRow{"TrailingText", "+OK 2 320 octets\r\n", true, 2, 320},
                      TwoNumbersRow{"SecondMissing", "+OK 3\r\n", false, 0, 0},
                      TwoNumbersRow{"BareOk", "+OK\r\n", false, 0, 0},
                      TwoNumbersRow{"NoLineEnd", "+OK 3", false, 0, 0},
                      TwoNumbersRow{"SecondNotANumber", "+OK 3 x\r\n", true, 3, 0},
                      TwoNumbersRow{"HugeMailbox", "+OK 1 3000000000\r\n", true, 1, INT_MAX}),
    [](const auto& info) { return info.param.name; });

TEST(Pop3Replies, NumberAndId) {
    auto entry = ParseNumberAndId("+OK 2 QhdPYR:00WBw1Ph7x7\r\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->number, 2);
    EXPECT_EQ(entry->id, "QhdPYR:00WBw1Ph7x7\r\n");
    EXPECT_FALSE(ParseNumberAndId("+OK 2\r\n"));
    auto longId = ParseNumberAndId("+OK 1 " + std::string(400, 'i') + "\r\n");
    ASSERT_TRUE(longId);
    EXPECT_EQ(longId->id, std::string(kMaxIdLength, 'i'));
}

TEST(Pop3Replies, ListingLines) {
    EXPECT_EQ(ParseSizeLine("7 1200\r\n").number, 7);
    EXPECT_EQ(ParseSizeLine("7 1200\r\n").size, 1200);
    EXPECT_EQ(ParseSizeLine("8\r\n").size, 0);
    EXPECT_EQ(ParseIdLine("3 abc\r\n").id, "abc\r\n");
    EXPECT_EQ(ParseIdLine("3\r\n").id, "");
    EXPECT_TRUE(IsEndLine(".\r\n"));
    EXPECT_TRUE(IsEndLine(".\n"));
    EXPECT_FALSE(IsEndLine("..\r\n"));
    EXPECT_FALSE(IsEndLine(". \r\n"));
}

TEST(Pop3Replies, PositiveMeansPlusOk) {
    EXPECT_TRUE(IsPositive("+OK\r\n"));
    EXPECT_TRUE(IsPositive("+OKAY"));
    EXPECT_FALSE(IsPositive("-ERR\r\n"));
    EXPECT_FALSE(IsPositive("+O"));
    EXPECT_FALSE(IsPositive(" +OK"));
}

TEST(Pop3Replies, ContinuationIsAPlusAloneOrBeforeASpace) {
    struct Row {
        const char* reply;
        bool continuation;
    };
    for (const Row& row : {Row{"+ \r\n", true}, Row{"+\r\n", true}, Row{"+\n", true},
                           Row{"+ UGxlYXNl\r\n", true}, Row{"+OK\r\n", false}, Row{"+", false},
                           Row{"-ERR\r\n", false}, Row{"", false}, Row{" +\r\n", false}}) {
        EXPECT_EQ(IsContinuation(row.reply), row.continuation) << row.reply;
    }
}

TEST(Pop3Replies, PlainResponseKeepsEveryByte) {
    EXPECT_EQ(PlainResponse("user", "pass"), "AHVzZXIAcGFzcw==");
    // RFC 4616's example.
    EXPECT_EQ(PlainResponse("tim", "tanstaaftanstaaf"), "AHRpbQB0YW5zdGFhZnRhbnN0YWFm");
    // Shift_JIS and 8-bit bytes go through unchanged.
    EXPECT_EQ(PlainResponse("\x82\xa0", "\xff"), "AIKgAP8=");
    EXPECT_EQ(PlainResponse("", ""), "AAA=");
}

}  // namespace
}  // namespace inlark
