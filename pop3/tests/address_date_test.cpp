#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pop3/address_split.h"
#include "pop3/mail_date.h"
#include "pop3/message_parser.h"
#include "pop3/tests/mail_builder.h"

namespace inlark {
namespace {

struct ListCase {
    const char* name;
    std::string header;                                         // one or more header lines
    std::vector<std::pair<std::string, std::string>> expected;  // (nick name, address)
};

class AddressListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(AddressListTest, ToEntries) {
    auto r =
        ParseMessage(testing::Message({"MIME-Version: 1.0", GetParam().header, "Subject: after", "", ""}));
    ASSERT_TRUE(r);
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& e : r->to) got.emplace_back(e.nick_name, e.address);
    EXPECT_EQ(got, GetParam().expected);
    EXPECT_EQ(r->subject, "after");
}

INSTANTIATE_TEST_SUITE_P(
    Lists, AddressListTest,
    ::testing::Values(
        ListCase{"Bare", "To: a@x.jp", {{"", "a@x.jp"}}},
        ListCase{"ThreeWithCommaSpace",
                 "To: \"A\" <a@x.jp>, B <b@x.jp>, c@x.jp",
                 {{"A", "a@x.jp"}, {"B", "b@x.jp"}, {"", "c@x.jp"}}},
        ListCase{"CommentForm", "To: c@x.jp (C), d@x.jp", {{"C", "c@x.jp"}, {"", "d@x.jp"}}},
        // The rules look at the rest of the line: a comment further on decides the form of the address.
        ListCase{"CommentLaterOnTheLine", "To: B <b@x.jp>, c@x.jp (C)", {{"C", "B <b@x.jp>, c@x.jp"}}},
        ListCase{"CommasAloneGiveOneEntry", "To: a@x.jp,b@x.jp,c@x.jp", {{"", "a@x.jp,b@x.jp,c@x.jp"}}},
        ListCase{"QuotedNameWithComma",
                 "To: \"Doe, John\" <j@x.jp>, k@x.jp",
                 {{"Doe, John", "j@x.jp"}, {"", "k@x.jp"}}},
        ListCase{"AngleOnly", "To: <a@x.jp>", {{"", "a@x.jp"}}},
        ListCase{"NoAtSign", "To: postmaster", {{"", "postmaster"}}},
        ListCase{"TrailingCommaDropped", "To: a@x.jp, ", {{"", "a@x.jp"}}},
        ListCase{"ValueOnContinuationLine", "To:\r\n  a@x.jp, b@x.jp", {{"", "a@x.jp"}, {"", "b@x.jp"}}},
        ListCase{"ListFoldedAfterComma", "To: a@x.jp,\r\n\tB <b@x.jp>", {{"", "a@x.jp"}, {"B", "b@x.jp"}}},
        ListCase{"EmptyValue", "To:", {}},
        ListCase{"EncodedNickName", "To: =?ISO-2022-JP?B?GyRCJCIbKEI=?= <a@x.jp>", {{"\x82\xa0", "a@x.jp"}}},
        ListCase{"UnclosedAngle", "To: Name <a@x.jp", {{"Name", "a@x.jp"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AddressListTest, CcAndBccKeepTheirOwnLists) {
    auto r = ParseMessage(testing::Message({"Cc: a@x.jp, b@x.jp", "bcc: \"Z\" <z@x.jp>", "", ""}));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->cc.size(), 2u);
    ASSERT_EQ(r->bcc.size(), 1u);
    EXPECT_EQ(r->bcc[0].nick_name, "Z");
    EXPECT_TRUE(r->to.empty());
}

struct DateCase {
    const char* name;
    std::string text;
    MailDate date;
};

class DateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateTest, Fields) {
    MailDate d = ReadMailDate(GetParam().text);
    const MailDate& e = GetParam().date;
    EXPECT_EQ(d.year, e.year);
    EXPECT_EQ(d.month, e.month);
    EXPECT_EQ(d.day, e.day);
    EXPECT_EQ(d.hour, e.hour);
    EXPECT_EQ(d.minute, e.minute);
    EXPECT_EQ(d.second, e.second);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DateTest,
    ::testing::Values(DateCase{"WeekdayFirst", "Mon, 7 Dec 2026 11:54:18 +0900", {2026, 12, 7, 11, 54, 18}},
                      DateCase{"DigitFirst", "07 Dec 2026 01:02:03 -0500", {2026, 12, 7, 1, 2, 3}},
                      DateCase{"TwoDigitYear98", "Tue, 1 Dec 98 23:59:59 GMT", {1998, 12, 1, 23, 59, 59}},
                      DateCase{"TwoDigitYear01", "Sat, 1 Dec 01 00:00:00 GMT", {2001, 12, 1, 0, 0, 0}},
                      DateCase{"TwoDigitYear49", "1 Jan 49 12:00:00 +0000", {2049, 1, 1, 12, 0, 0}},
                      DateCase{"TwoDigitYear50", "1 Jan 50 12:00:00 +0000", {1950, 1, 1, 12, 0, 0}},
                      DateCase{"ThreeDigitYear", "1 Jan 103 12:00:00 +0000", {2003, 1, 1, 12, 0, 0}},
                      DateCase{"MonthCaseFolded", "1 JAN 2000 1:2:3", {2000, 1, 1, 1, 2, 3}},
                      DateCase{"UnknownMonth", "1 Foo 2000 1:2:3", {2000, 0, 1, 1, 2, 3}},
                      DateCase{"NoTime", "1 Feb 2000", {2000, 2, 1, 0, 0, 0}},
                      DateCase{"Empty", "", {0, 0, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

struct AutomationCase {
    const char* name;
    MailDate date;
    double value;
};

class AutomationDateTest : public ::testing::TestWithParam<AutomationCase> {};

TEST_P(AutomationDateTest, Value) { EXPECT_DOUBLE_EQ(AutomationDate(GetParam().date), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Values, AutomationDateTest,
                         ::testing::Values(AutomationCase{"Epoch", {1899, 12, 30, 0, 0, 0}, 0.0},
                                           AutomationCase{"DayOne", {1899, 12, 31, 12, 0, 0}, 1.5},
                                           AutomationCase{
                                               "BeforeEpochTimeCountsAway", {1899, 12, 29, 6, 0, 0}, -1.25},
                                           AutomationCase{"Y2K", {2000, 1, 1, 0, 0, 0}, 36526.0},
                                           AutomationCase{"LeapDay", {2024, 2, 29, 18, 0, 0}, 45351.75},
                                           AutomationCase{"NoLeapDay", {2023, 2, 29, 0, 0, 0}, 0.0},
                                           AutomationCase{"NoMonth", {2000, 0, 1, 0, 0, 0}, 0.0},
                                           AutomationCase{"BadHour", {2000, 1, 1, 24, 0, 0}, 0.0},
                                           AutomationCase{"BadSecond", {2000, 1, 1, 0, 0, 60}, 0.0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace inlark
