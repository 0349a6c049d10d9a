#include "agent/engine/reply_text.h"

#include <gtest/gtest.h>

#include "agent/engine/command_mail.h"
#include "agent/engine/number_list.h"

namespace mirelo {
namespace {

QString Lines(int count, int width) {
    QString text;
    for (int i = 0; i < count; ++i) text += QString(width, QChar(u'a' + i % 26)) + QStringLiteral("\r\n");
    return text;
}

std::vector<qsizetype> Sizes(const QStringList& parts) {
    std::vector<qsizetype> sizes;
    for (const QString& p : parts) sizes.push_back(p.size());
    return sizes;
}

struct ShapeRow {
    const char* name;
    QString text;
    ShapingRules rules;
    QString expected;
};
void PrintTo(const ShapeRow& row, std::ostream* os) { *os << row.name; }

const QStringList kMarks = QuoteMarks(QStringLiteral(">>;>;|"));
const ShapingRules kPhone{kMarks, true, true};
const ShapingRules kOther{kMarks, false, false};

const ShapeRow kShapeRows[] = {
    {"MarkThenBlanksThenWord", QStringLiteral(">>   word\r\n"), kPhone, QStringLiteral(">>word\r\n")},
    {"OnlyFirstMarkTaken", QStringLiteral("> > word\r\n"), kPhone, QStringLiteral(">> word\r\n")},
    {"MarkAloneIsBlank", QStringLiteral("a\r\n>\r\n  \r\nb\r\n"), kPhone, QStringLiteral("a\r\nb\r\n")},
    {"LastLineWithoutBreakUntouched", QStringLiteral(" a \r\n  \r\n  b  "), kPhone,
     QStringLiteral("a\r\n  b  ")},
    {"TabsAndIdeographicSpacesStay", QStringLiteral("\ta\t\r\n　\r\n"), kPhone,
     QStringLiteral("\ta\t\r\n　\r\n")},
    {"OtherAddressUnchanged", QStringLiteral(">>  x\r\n\r\n  y  \r\n"), kOther,
     QStringLiteral(">>  x\r\n\r\n  y  \r\n")},
    {"NoMarksGiven", QStringLiteral(">  x\r\n"), ShapingRules{{}, true, true}, QStringLiteral(">  x\r\n")},
    {"BareLfIsNoLineBreak", QStringLiteral(" a\n\n b \r\n"), kPhone, QStringLiteral("a\n\n b\r\n")},
};

class Shaping : public testing::TestWithParam<ShapeRow> {};
TEST_P(Shaping, Lines) { EXPECT_EQ(ShapeReplyText(GetParam().text, GetParam().rules), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(Reply, Shaping, testing::ValuesIn(kShapeRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QuoteMarks, EmptyMarksDropped) {
    EXPECT_EQ(QuoteMarks(QStringLiteral(";>;;|;")), (QStringList{QStringLiteral(">"), QStringLiteral("|")}));
    EXPECT_TRUE(QuoteMarks(QString()).isEmpty());
}

struct SplitRow {
    const char* name;
    QString text;
    SplitLimits limits;
    std::vector<qsizetype> sizes;
};
void PrintTo(const SplitRow& row, std::ostream* os) { *os << row.name; }

const SplitRow kSplitRows[] = {
    {"FiftyShortLines", Lines(50, 10), {}, {240, 240, 120}},
    {"OneLongLine", QString(600, u'x'), {}, {250, 250, 100}},
    {"TwelvePartsKeepTen", QString(12 * 250, u'x'), {}, std::vector<qsizetype>(10, 250)},
    {"LongLineAfterShortFillsThePart", Lines(1, 8) + QString(300, u'y'), {}, {250, 60}},
    // A part may end one over the limit with its last CR LF.
    {"LineEndingOneOver", Lines(1, 249) + QStringLiteral("z"), {}, {251, 1}},
    {"LinesLimitPerPart", Lines(5, 1), {250, 2, 10, true}, {6, 6, 3}},
    {"BlankLinesDoNotCount", QStringLiteral("a\r\n\r\n\r\nb\r\nc\r\n"), {250, 2, 10, true}, {6, 3}},
    {"BlankLinesKept", QStringLiteral("a\r\n\r\n\r\nb\r\n"), {250, 2, 10, false}, {5, 5}},
    {"NoLinesAllowed", Lines(3, 5), {250, 0, 10, true}, {}},
};

class Splitting : public testing::TestWithParam<SplitRow> {};
TEST_P(Splitting, PartSizes) {
    EXPECT_EQ(Sizes(SplitReplyText(GetParam().text, GetParam().limits)), GetParam().sizes);
}
INSTANTIATE_TEST_SUITE_P(Reply, Splitting, testing::ValuesIn(kSplitRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Splitting, PartsJoinBackToTheText) {
    const QString text = Lines(7, 33) + QStringLiteral("日本語の最後の行");
    EXPECT_EQ(SplitReplyText(text, {100, 20, 10, true}).join(QString()), text);
}

TEST(PartSubject, NumberAlsoInsideTheSubject) {
    EXPECT_EQ(PartSubject(QStringLiteral("[%n]%s"), QStringLiteral("件名"), 2), QStringLiteral("[2]件名"));
    EXPECT_EQ(PartSubject(QStringLiteral("[%n]%s"), QStringLiteral("a%nb"), 3), QStringLiteral("[3]a3b"));
}

struct NumberRow {
    const char* name;
    QString numbers;
    std::int16_t last;
    std::vector<std::int16_t> chosen;
};
void PrintTo(const NumberRow& row, std::ostream* os) { *os << row.name; }

const NumberRow kNumberRows[] = {
    {"ListAndRange", QStringLiteral("2,4-5"), 10, {2, 4, 5}},
    {"AboveLast", QStringLiteral("12"), 10, {}},
    {"RangeCutAtLast", QStringLiteral("8-20"), 10, {8, 9, 10}},
    {"OpenOrJunkRanges", QStringLiteral("3-,-3,a-3,ALL,,"), 10, {}},
    {"SpacesAroundItemsAndBounds", QStringLiteral(" 1 , 2 - 3 ,"), 10, {1, 2, 3}},
    {"OrderAndRepeatKept", QStringLiteral("3,1,3"), 10, {3, 1, 3}},
    {"HalvesToEven", QStringLiteral("2.5,3.5,1.6,4.4,2.51"), 10, {2, 4, 2, 4, 3}},
    {"Beyond16BitChoosesNothing", QStringLiteral("32768,1-40000,99999999999"), 32767, {}},
    {"EndBelowStart", QStringLiteral("5-3"), 10, {}},
    {"ZeroIsNoMail", QStringLiteral("0,0-2"), 10, {1, 2}},
    {"FullWidthDigitsAreNoNumber", QStringLiteral("３"), 10, {}},
    {"LastNumberZero", QStringLiteral("1,1-3"), 0, {}},
};

class Numbers : public testing::TestWithParam<NumberRow> {};
TEST_P(Numbers, Chosen) { EXPECT_EQ(NumberList(GetParam().numbers, GetParam().last), GetParam().chosen); }
INSTANTIATE_TEST_SUITE_P(Reply, Numbers, testing::ValuesIn(kNumberRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Numbers, HugeRangeIsCutNotWalked) { EXPECT_EQ(NumberList(QStringLiteral("1-32767"), 3).size(), 3u); }

struct AddressRow {
    const char* address;
    bool valid;
};
TEST(IsValidAddress, Table) {
    const AddressRow rows[] = {{"a@b", true},    {"a@", true},       {"", false},  {"@b", false},
                               {"a@b@c", false}, {"a@b,c@d", false}, {"ab", false}};
    for (const auto& row : rows)
        EXPECT_EQ(IsValidAddress(QString::fromUtf8(row.address)), row.valid) << row.address;
}

struct CommandRow {
    const char* name;
    bool bySubject;
    QString subject;
    QString body;
    CommandText expected;
};
void PrintTo(const CommandRow& row, std::ostream* os) { *os << row.name; }

const CommandRow kCommandRows[] = {
    {"SubjectAlone",
     true,
     QStringLiteral("LIST"),
     QString(),
     {QStringLiteral("LIST"), QStringLiteral("\r\n")}},
    {"SubjectWithArguments",
     true,
     QStringLiteral("TRAN  3 "),
     QStringLiteral("pc@x\r\n"),
     {QStringLiteral("TRAN"), QStringLiteral("3\r\npc@x\r\n")}},
    {"BodyFirstLine",
     false,
     QString(),
     QStringLiteral("BODY 2,4-5\r\n"),
     {QStringLiteral("BODY"), QStringLiteral("2,4-5\r\n")}},
    {"BodyWordAloneThenAddress",
     false,
     QString(),
     QStringLiteral("LIST\r\npc@x\r\n"),
     {QStringLiteral("LIST"), QStringLiteral("\r\npc@x\r\n")}},
    // The first space is on the second line: the word runs over the line break.
    {"BodySpaceOnSecondLine",
     false,
     QString(),
     QStringLiteral("LIST\r\na b"),
     {QStringLiteral("LIST\r\na"), QStringLiteral("b")}},
    {"BodyWithoutBreak", false, QString(), QStringLiteral("DEL"), {QStringLiteral("DEL"), QString()}},
};

class Commands : public testing::TestWithParam<CommandRow> {};
TEST_P(Commands, WordAndArguments) {
    const CommandRow& row = GetParam();
    const CommandText got =
        row.bySubject ? CommandFromSubject(row.subject, row.body) : CommandFromBody(row.body);
    EXPECT_EQ(got.word, row.expected.word);
    EXPECT_EQ(got.arguments, row.expected.arguments);
}
INSTANTIATE_TEST_SUITE_P(Examine, Commands, testing::ValuesIn(kCommandRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Examine, ArgumentLines) {
    EXPECT_EQ(FirstLine(QStringLiteral("1-3\r\npc@x\r\n")), QStringLiteral("1-3"));
    EXPECT_EQ(AddressLine(QStringLiteral("1-3\r\n  pc@x  \r\nsig")), QStringLiteral("pc@x"));
    EXPECT_EQ(AddressLine(QStringLiteral("1-3")), std::nullopt);
    EXPECT_EQ(SizeFromListReply(QStringLiteral("+OK 3 1234\r\n")), QStringLiteral("1234"));
    EXPECT_EQ(SizeFromListReply(QStringLiteral("+OK")), QStringLiteral("???"));
}

TEST(Examine, ContentTypeMadePlainText) {
    const QString top =
        QStringLiteral("From: a@b\r\nContent-Type: Multipart/Mixed;\r\n\tboundary=x\r\n\r\nbody");
    const HeaderText header = ForceTextContentType(top);
    EXPECT_TRUE(header.nonText);
    EXPECT_EQ(header.text, QStringLiteral("From: a@b\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n"
                                          "\tboundary=x\r\n\r\nbody"));
    EXPECT_FALSE(ForceTextContentType(QStringLiteral("Content-Type: text/html\r\n")).nonText);
    EXPECT_EQ(ForceTextContentType(QStringLiteral("Subject: x\r\n")).text, QStringLiteral("Subject: x\r\n"));
}

TEST(Examine, ListLines) {
    EXPECT_EQ(ListLine(3, QStringLiteral("件名"), QStringLiteral("1234"), QStringLiteral("a@b"), false),
              QStringLiteral("3 件名[1234] a@b"));
    EXPECT_EQ(ListLine(4, QString(), QStringLiteral("???"), QStringLiteral("a@b"), true),
              QStringLiteral("@4 [???] a@b"));
}

}  // namespace
}  // namespace mirelo
