// Server text made safe for a terminal, sizes read whole, and the causes told for failed commands.

#include "tools/inlark/server_text.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/inlark/failure_cause.h"

namespace {

using inlark_tool::CommandKind;
using inlark_tool::DescribeFailure;
using inlark_tool::SecondNumber;
using inlark_tool::TerminalSafe;

TEST(TerminalSafe, ReplacesEveryControlCharacterAndKeepsText) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"plain text", "plain text"},
        {"tab\tkept", "tab\tkept"},
        {"\x1b]0;title\x07", "?]0;title?"},
        {"\x1b[2J\x1b[H", "?[2J?[H"},
        {std::string("nul\0byte", 8), "nul?byte"},
        {"cr\rlf\n", "cr?lf?"},
        {"del\x7f", "del?"},
        {"\xc2\x9b"
         "31m csi",
         "?31m csi"},                                // C1 CSI as UTF-8
        {"\xc2\x80\xc2\x9f\xc2\xa0", "??\xc2\xa0"},  // C1 ends at U+009F; NBSP stays
        {"\x9b"
         "31m raw",
         "?31m raw"},                                              // a lone byte that is not UTF-8
        {"\xc0\x9b", "??"},                                        // overlong
        {"\xe6\x97\xa5\xe6\x9c\xac", "\xe6\x97\xa5\xe6\x9c\xac"},  // Japanese stays
        {"\xe6\x97", "??"},                                        // cut sequence
        {"\xf0\x9f\x93\xa7 mail", "\xf0\x9f\x93\xa7 mail"},
    };
    for (const Case& c : cases) EXPECT_EQ(TerminalSafe(c.in), c.out) << c.in;
}

TEST(TerminalSafe, LinesKeepTheirBreaksOnly) {
    EXPECT_EQ(inlark_tool::LinesForTerminal("Subject: a\x1b[31m\r\n\r\nbody\x07\r\n"),
              "Subject: a?[31m\n\nbody?\n");
    EXPECT_EQ(inlark_tool::LinesForTerminal("no end"), "no end\n");
    EXPECT_EQ(inlark_tool::LinesForTerminal(""), "");
}

TEST(SecondNumber, ReadsSizesBeyondThirtyTwoBits) {
    EXPECT_EQ(SecondNumber("+OK 1 3000000000\r\n"), 3000000000u);
    EXPECT_EQ(SecondNumber("+OK 2 18446744073709551615"), 18446744073709551615u);
    EXPECT_EQ(SecondNumber("+OK 3 4520 octets\r\n"), 4520u);
    EXPECT_FALSE(SecondNumber("+OK 2 18446744073709551616"));
    EXPECT_FALSE(SecondNumber("+OK 3\r\n"));
    EXPECT_FALSE(SecondNumber("-ERR 3 4520\r\n"));
    EXPECT_FALSE(SecondNumber("+OK x 4520\r\n"));
}

TEST(DescribeFailure, ShowsTheServersTextAndTheCause) {
    using K = mailcore::FailureKind;
    struct Case {
        const char* command;
        CommandKind kind;
        mailcore::Failure failure;
        std::string text;
    };
    const Case cases[] = {
        {"RETR 3",
         CommandKind::kRetrieval,
         {K::NegativeReply, 0, "-ERR locked", "RETR 3"},
         "RETR 3 failed: the server refused it: -ERR locked"},
        {"DELE 1",
         CommandKind::kStatus,
         {K::NegativeReply, 0, "-ERR \x1b[31mred\x07", "DELE 1"},
         "DELE 1 failed: the server refused it: -ERR ?[31mred?"},
        {"RETR 3",
         CommandKind::kRetrieval,
         {K::TimedOut, 0, "", "RETR 3"},
         "RETR 3 failed: no reply within 5 seconds"},
        {"RETR 3",
         CommandKind::kRetrieval,
         {K::TimedOut, 0, "+OK 120 octets", "RETR 3"},
         "RETR 3 failed: the message broke off after \"+OK 120 octets\": no rest of it within 5 seconds"},
        {"RETR 3",
         CommandKind::kRetrieval,
         {K::ReplyTooLong, 0, "+OK", "RETR 3"},
         "RETR 3 failed: the message broke off after \"+OK\": longer than 10 MiB"},
        {"STAT",
         CommandKind::kStatus,
         {K::Closed, 0, "", "STAT"},
         "STAT failed: the connection closed before the reply came"},
        {"STAT",
         CommandKind::kStatus,
         {K::MalformedReply, 0, "+OK 3", "STAT"},
         "STAT failed: the reply does not read as expected: +OK 3"},
        {"QUIT",
         CommandKind::kStatus,
         {K::MalformedReply, 0, "garbage\x1b", "QUIT"},
         "QUIT failed: unexpected reply: garbage?"},
        {"LIST",
         CommandKind::kListing,
         {K::ReplyTooLong, 0, "+OK", "LIST"},
         "LIST failed: the listing broke off after \"+OK\": longer than 10 MiB"},
        {"UIDL",
         CommandKind::kListing,
         {K::Closed, 0, "+OK here", "UIDL"},
         "UIDL failed: the listing broke off after \"+OK here\": the connection closed, or it was longer "
         "than 10 MiB"},
        {"connecting to h:1",
         CommandKind::kConnect,
         {K::Closed, 0, "", "connect to h:1"},
         "connecting to h:1 failed: no connection (name unknown, without a reverse entry, or connection "
         "refused) or it closed before the greeting"},
        {"connecting to h:1",
         CommandKind::kConnect,
         {K::TimedOut, 0, "", "connect to h:1"},
         "connecting to h:1 failed: no connection or greeting within 5 seconds"},
        {"connecting to h:1",
         CommandKind::kConnect,
         {K::ConnectRefused, 111, "", "connect to h:1"},
         "connecting to h:1 failed: connection refused"},
        {"connecting to nowhere:1",
         CommandKind::kConnect,
         {K::Resolve, 0, "", "connect to nowhere:1"},
         "connecting to nowhere:1 failed: unknown host"},
        {"connecting to h:1",
         CommandKind::kConnect,
         {K::NegativeReply, 0, "-ERR full", "connect to h:1"},
         "connecting to h:1 failed: the server refused it: -ERR full"},
        {"RETR 1", CommandKind::kRetrieval, {K::Cancelled, 0, "", "RETR 1"}, "RETR 1 failed: cancelled"},
        {"STAT",
         CommandKind::kStatus,
         {K::Io, 32, "", "STAT"},
         "STAT failed: input/output error: Broken pipe"},
        {"DELE 0",
         CommandKind::kStatus,
         {K::BadArgument, 0, "", "DELE 0: message numbers start at 1"},
         "DELE 0 failed: bad argument (message numbers start at 1)"},
        {"logging in as x",
         CommandKind::kStatus,
         {K::BadArgument, 0, "", "USER x: user name longer than 32 bytes"},
         "logging in as x failed: bad argument (user name longer than 32 bytes)"},
        {"STAT", CommandKind::kStatus, {K::NotConnected, 0, "", "STAT"}, "STAT failed: not connected"},
    };
    for (const Case& c : cases) EXPECT_EQ(DescribeFailure(c.command, c.kind, c.failure, 5), c.text);
}

}  // namespace
