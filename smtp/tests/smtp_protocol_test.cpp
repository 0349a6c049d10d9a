#include "smtp/smtp_protocol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace outlark {
namespace {

using testing::ElementsAre;

struct LineCase {
    const char* name;
    SmtpCommand command;
    LineForm form;
    std::string argument;
    std::string expected;
    CommandLineError error;
};

class BuildCommandLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(BuildCommandLineTest, Builds) {
    const LineCase& c = GetParam();
    BuiltCommand built = BuildCommandLine(c.command, c.form, c.argument);
    EXPECT_EQ(built.line, c.expected);
    EXPECT_EQ(built.error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BuildCommandLineTest,
    testing::Values(
        LineCase{"Helo", kHelo, LineForm::kWithArgument, "Outlark", "HELO Outlark\r\n",
                 CommandLineError::kNone},
        LineCase{"EmptyArgumentKeepsSpace", kHelp, LineForm::kWithArgument, "", "HELP \r\n",
                 CommandLineError::kNone},
        LineCase{"Mail", kMail, LineForm::kAddress, "a@b", "MAIL FROM:<a@b>\r\n", CommandLineError::kNone},
        LineCase{"Rcpt", kRcpt, LineForm::kAddress, "c@d", "RCPT TO:<c@d>\r\n", CommandLineError::kNone},
        LineCase{"Bare", kQuit, LineForm::kBare, "", "QUIT\r\n", CommandLineError::kNone},
        LineCase{"CrLfSmuggling", kRcpt, LineForm::kAddress, "a@b>\r\nRCPT TO:<evil@x", "",
                 CommandLineError::kLineBreak},
        LineCase{"BareLf", kVrfy, LineForm::kWithArgument, "a\nb", "", CommandLineError::kLineBreak},
        LineCase{"Nul", kVrfy, LineForm::kWithArgument, std::string("a\0b", 3), "",
                 CommandLineError::kLineBreak},
        LineCase{"ExactlyFits", kVrfy, LineForm::kWithArgument, std::string(248, 'x'),
                 "VRFY " + std::string(248, 'x') + "\r\n", CommandLineError::kNone},
        LineCase{"OneByteTooLong", kVrfy, LineForm::kWithArgument, std::string(249, 'x'), "",
                 CommandLineError::kTooLong}),
    [](const auto& info) { return info.param.name; });

TEST(ReplyHasCodeTest, ComparesFirstThreeCharacters) {
    EXPECT_TRUE(ReplyHasCode("250 ok\r\n", kReply250));
    EXPECT_TRUE(ReplyHasCode("250-continued\r\n", kReply250));
    EXPECT_FALSE(ReplyHasCode("252 maybe\r\n", kReply250));
    EXPECT_FALSE(ReplyHasCode("25", kReply250));
    EXPECT_TRUE(ReplyHasCode("354 go\r\n", kReply354));
}

TEST(ParseReplyLinesTest, EhloList) {
    EXPECT_THAT(ParseReplyLines("250-mail.example.com\r\n250-SIZE 1000\r\n250 HELP\r\n"),
                ElementsAre("mail.example.com", "SIZE 1000", "HELP"));
}

TEST(ParseReplyLinesTest, IndentedShortAndEmptyLines) {
    EXPECT_THAT(ParseReplyLines("214-Commands:\r\n \t HELO EHLO\r\n25\r\n250 \r\n"),
                ElementsAre("Commands:", "HELO EHLO", "", ""));
    EXPECT_THAT(ParseReplyLines(""), ElementsAre());
    EXPECT_THAT(ParseReplyLines("250 no line end"), ElementsAre());
}

}  // namespace
}  // namespace outlark
