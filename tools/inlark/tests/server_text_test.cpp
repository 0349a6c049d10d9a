// Server text made safe for a terminal, sizes read whole, and the causes told for failed commands.

#include "tools/inlark/server_text.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/inlark/failure_cause.h"

namespace {

using inlark_tool::CommandFailure;
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

TEST(DescribeFailure, TellsTheCauseFromReplyAndTiming) {
    using std::chrono::milliseconds;
    struct Case {
        CommandFailure failure;
        std::string text;
    };
    const Case cases[] = {
        {{"RETR 3", CommandKind::kRetrieval, 0, "", milliseconds(20), 5},
         "RETR 3 failed: the server refused it, closed the connection, or sent more than 10 MiB (the "
         "component keeps no reply text for a failed retrieval)"},
        {{"RETR 3", CommandKind::kRetrieval, 0, "", milliseconds(5000), 5},
         "RETR 3 failed: no reply within 5 seconds (or the connection closed)"},
        {{"LIST 3", CommandKind::kStatus, 0, "-ERR no such message", milliseconds(1), 5},
         "LIST 3 failed: the server refused it: -ERR no such message"},
        {{"DELE 1", CommandKind::kStatus, 0, "-ERR \x1b[31mred\x07", milliseconds(1), 5},
         "DELE 1 failed: the server refused it: -ERR ?[31mred?"},
        {{"STAT", CommandKind::kStatus, 0, "", milliseconds(3), 5},
         "STAT failed: the connection closed before the reply came"},
        {{"STAT", CommandKind::kStatus, 0, "", milliseconds(1000), 1},
         "STAT failed: no reply within 1 seconds (or the connection closed)"},
        {{"STAT", CommandKind::kStatus, 0, "+OK 3", milliseconds(1), 5},
         "STAT failed: the reply does not read as expected: +OK 3"},
        {{"LIST", CommandKind::kListing, 0, "+OK", milliseconds(10), 5},
         "LIST failed: the listing broke off after \"+OK\": longer than 10 MiB, or the connection closed "
         "before the rest of it came"},
        {{"UIDL", CommandKind::kListing, 0, "+OK here", milliseconds(6000), 5},
         "UIDL failed: the listing broke off after \"+OK here\": longer than 10 MiB, or no rest of it "
         "within 5 seconds (or the connection closed)"},
        {{"UIDL", CommandKind::kListing, 0, "", milliseconds(1), 5},
         "UIDL failed: the connection closed before the reply came"},
        {{"QUIT", CommandKind::kStatus, 0, "garbage", milliseconds(1), 5},
         "QUIT failed: unexpected reply: garbage"},
        {{"connecting to h:1", CommandKind::kConnect, 0, "", milliseconds(2), 5},
         "connecting to h:1 failed: no connection (name unknown, without a reverse entry, or connection "
         "refused) or it closed before the greeting"},
        {{"connecting to h:1", CommandKind::kConnect, 0, "", milliseconds(5001), 5},
         "connecting to h:1 failed: no connection or greeting within 5 seconds"},
        {{"connecting to h:1", CommandKind::kConnect, 0, "-ERR full", milliseconds(2), 5},
         "connecting to h:1 failed: the server refused it: -ERR full"},
        {{"DELE 0", CommandKind::kStatus, -2, "", milliseconds(0), 5},
         "DELE 0 failed: bad argument (nothing was sent)"},
        {{"logging in as x", CommandKind::kStatus, -3, "", milliseconds(0), 5},
         "logging in as x failed: user name longer than 32 bytes"},
    };
    for (const Case& c : cases) EXPECT_EQ(DescribeFailure(c.failure), c.text);
}

}  // namespace
