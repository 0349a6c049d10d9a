// Every POP3 command against the scripted server: the exact bytes on the wire and every read-out.

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "inlark/pop3.h"
#include "pop3/pop3_internals.h"
#include "testing/scripted_server/scripted_server.h"

namespace inlark {
namespace {

using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;

constexpr const char* kGreeting = "+OK POP3 ready\r\n";

// Connects `pop3` to `server` with time-outs that only a fault reaches.
void Connect(Pop3& pop3, const ScriptedServer& server, std::int32_t recvMs = 5000) {
    Pop3Internals::SetTimeoutsMs(pop3, 5000, recvMs);
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    ASSERT_EQ(result, 1);
}

struct Exchange {
    std::string expect;  // exact bytes of the command line
    std::string reply;
};

struct CommandRow {
    const char* name;
    std::function<void(Pop3&, std::int32_t*)> call;
    std::vector<Exchange> exchanges;
    std::int32_t result;
    std::int32_t count;
    std::vector<std::int32_t> numbers;  // GetNo(1), GetNo(2), ...
    std::vector<std::u16string> data;   // GetData(1), GetData(2), ...
    std::u16string message;
    friend void PrintTo(const CommandRow& row, std::ostream* os) { *os << row.name; }
};

class Commands : public ::testing::TestWithParam<CommandRow> {};

TEST_P(Commands, SendExactBytesAndReadOut) {
    const CommandRow& row = GetParam();
    Script script;
    script.Reply(kGreeting);
    std::string wire;
    for (const Exchange& exchange : row.exchanges) {
        script.Expect(exchange.expect).Reply(exchange.reply);
        wire += exchange.expect;
    }
    ScriptedServer server(script);
    Pop3 pop3;
    Connect(pop3, server, 300);

    std::int32_t result = -99;
    row.call(pop3, &result);
    EXPECT_EQ(result, row.result);
    std::int32_t count = -99;
    pop3.GetCount(&count);
    EXPECT_EQ(count, row.count);
    for (std::size_t i = 0; i < row.numbers.size(); ++i) {
        std::int32_t number = -99;
        pop3.GetNo(static_cast<std::int32_t>(i + 1), &number);
        EXPECT_EQ(number, row.numbers[i]) << "GetNo(" << i + 1 << ")";
    }
    for (std::size_t i = 0; i < row.data.size(); ++i) {
        std::u16string data = u"stale";
        pop3.GetData(static_cast<std::int32_t>(i + 1), &data);
        EXPECT_EQ(data, row.data[i]) << "GetData(" << i + 1 << ")";
    }
    EXPECT_EQ(pop3.LastError(), 0);
    std::u16string message = u"stale";
    pop3.GetMessage(&message);
    EXPECT_EQ(message, row.message);

    std::int32_t destroyed = -99;
    pop3.Destroy(&destroyed);
    EXPECT_EQ(destroyed, 1);
    server.Stop();
    EXPECT_EQ(server.Received(), wire);
    EXPECT_TRUE(server.Failures().empty()) << server.Failures().front();
}

const std::string kStuffedMessage = "From: a@example.jp\r\nSubject: x\r\n\r\n..dot\r\nline\r\n.\r\n";
const std::u16string kUnstuffedMessage = u"From: a@example.jp\r\nSubject: x\r\n\r\n.dot\r\nline\r\n.\r\n";

INSTANTIATE_TEST_SUITE_P(
    Pop3, Commands,
    ::testing::Values(CommandRow{"Authorize",
                                 [](Pop3& p, std::int32_t* r) { p.Authorize(u"taro", u"secret", r); },
                                 {{"USER taro\r\n", "+OK\r\n"}, {"PASS secret\r\n", "+OK logged in\r\n"}},
                                 1,
                                 0,
                                 {},
                                 {},
                                 u"+OK logged in\r\n"},
                      CommandRow{"AuthorizeStopsAtNegativeUser",
                                 [](Pop3& p, std::int32_t* r) { p.Authorize(u"taro", u"s", r); },
                                 {{"USER taro\r\n", "-ERR who\r\n"}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u"-ERR who\r\n"},
                      CommandRow{"AuthorizeWrongPassword",
                                 [](Pop3& p, std::int32_t* r) { p.Authorize(u"taro", u"bad", r); },
                                 {{"USER taro\r\n", "+OK\r\n"}, {"PASS bad\r\n", "-ERR [AUTH] failed\r\n"}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u"-ERR [AUTH] failed\r\n"},
                      CommandRow{"AuthorizeAt32Bytes",
                                 [](Pop3& p, std::int32_t* r) {
                                     p.Authorize(std::u16string(32, u'u'), std::u16string(32, u'p'), r);
                                 },
                                 {{"USER " + std::string(32, 'u') + "\r\n", "+OK\r\n"},
                                  {"PASS " + std::string(32, 'p') + "\r\n", "+OK\r\n"}},
                                 1,
                                 0,
                                 {},
                                 {},
                                 u"+OK\r\n"},
                      CommandRow{"AuthorizeShiftJisName",
                                 [](Pop3& p, std::int32_t* r) { p.Authorize(u"\u592a\u90ce", u"pw", r); },
                                 {{"USER \x91\xbe\x98\x59\r\n", "+OK\r\n"}, {"PASS pw\r\n", "+OK\r\n"}},
                                 1,
                                 0,
                                 {},
                                 {},
                                 u"+OK\r\n"},
                      CommandRow{"User",
                                 [](Pop3& p, std::int32_t* r) { p.USER(u"hanako", r); },
                                 {{"USER hanako\r\n", "+OK\r\n"}},
                                 1,
                                 0,
                                 {},
                                 {},
                                 u"+OK\r\n"},
                      CommandRow{"Pass",
                                 [](Pop3& p, std::int32_t* r) { p.PASS(u"pw", r); },
                                 {{"PASS pw\r\n", "+OK\r\n"}},
                                 1,
                                 0,
                                 {},
                                 {},
                                 u"+OK\r\n"},
                      CommandRow{"Stat",
                                 [](Pop3& p, std::int32_t* r) { p.STAT(r); },
                                 {{"STAT\r\n", "+OK 3 4520\r\n"}},
                                 1,
                                 1,
                                 {3},
                                 {u"4520"},
                                 u"+OK 3 4520\r\n"},
                      CommandRow{"StatWithoutSecondNumber",
                                 [](Pop3& p, std::int32_t* r) { p.STAT(r); },
                                 {{"STAT\r\n", "+OK 3\r\n"}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u"+OK 3\r\n"},
                      CommandRow{"StatNegative",
                                 [](Pop3& p, std::int32_t* r) { p.STAT(r); },
                                 {{"STAT\r\n", "-ERR locked\r\n"}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u"-ERR locked\r\n"},
                      CommandRow{"ListOne",
                                 [](Pop3& p, std::int32_t* r) { p.LIST(2, r); },
                                 {{"LIST 2\r\n", "+OK 2 320\r\n"}},
                                 1,
                                 1,
                                 {2, -2},
                                 {u"320"},
                                 u"+OK 2 320\r\n"},
                      CommandRow{"ListAll",
                                 [](Pop3& p, std::int32_t* r) { p.LIST(0, r); },
                                 {{"LIST\r\n", "+OK 2 messages\r\n1 120\r\n7 2000\r\n.\r\n"}},
                                 1,
                                 2,
                                 {1, 7, -2},
                                 {u"120", u"2000"},
                                 u"+OK 2 messages\r\n"},
                      CommandRow{"ListAllEmpty",
                                 [](Pop3& p, std::int32_t* r) { p.LIST(0, r); },
                                 {{"LIST\r\n", "+OK\r\n.\r\n"}},
                                 1,
                                 0,
                                 {-2},
                                 {},
                                 u"+OK\r\n"},
                      CommandRow{"ListAllLineWithoutSize",
                                 [](Pop3& p, std::int32_t* r) { p.LIST(0, r); },
                                 {{"LIST\r\n", "+OK\r\n9\r\n.\r\n"}},
                                 1,
                                 1,
                                 {9},
                                 {u"0"},
                                 u"+OK\r\n"},
                      CommandRow{"ListAllNegative",
                                 [](Pop3& p, std::int32_t* r) { p.LIST(0, r); },
                                 {{"LIST\r\n", "-ERR no\r\n"}},
                                 0,
                                 0,
                                 {-2},
                                 {},
                                 u"-ERR no\r\n"},
                      CommandRow{"Last",
                                 [](Pop3& p, std::int32_t* r) { p.LAST(r); },
                                 {{"LAST\r\n", "+OK 5\r\n"}},
                                 1,
                                 5,
                                 {-1, -1},
                                 {u"", u""},
                                 u"+OK 5\r\n"},
                      CommandRow{"UidlOne",
                                 [](Pop3& p, std::int32_t* r) { p.UIDL(1, r); },
                                 {{"UIDL 1\r\n", "+OK 1 whqtswO00WBw418f9t5JxYwZ\r\n"}},
                                 1,
                                 1,
                                 {1},
                                 {u"whqtswO00WBw418f9t5JxYwZ"},
                                 u"+OK 1 whqtswO00WBw418f9t5JxYwZ\r\n"},
                      CommandRow{"UidlAll",
                                 [](Pop3& p, std::int32_t* r) { p.UIDL(0, r); },
                                 {{"UIDL\r\n", "+OK\r\n1 aaa\r\n2 bbb\r\n3\r\n.\r\n"}},
                                 1,
                                 3,
                                 {1, 2, 3},
                                 {u"aaa", u"bbb", u""},
                                 u"+OK\r\n"},
                      CommandRow{"TopWithLines",
                                 [](Pop3& p, std::int32_t* r) { p.TOP_(1, 2, r); },
                                 {{"TOP 1 2\r\n", "+OK\r\n" + kStuffedMessage}},
                                 1,
                                 static_cast<std::int32_t>(kUnstuffedMessage.size()),
                                 {-1},
                                 {u""},
                                 kUnstuffedMessage},
                      CommandRow{"TopWithoutLineCount",
                                 [](Pop3& p, std::int32_t* r) { p.TOP_(1, 0, r); },
                                 {{"TOP 1\r\n", "+OK\r\nA: b\r\n\r\n.\r\n"}},
                                 1,
                                 11,
                                 {},
                                 {},
                                 u"A: b\r\n\r\n.\r\n"},
                      CommandRow{"TopNegativeLineCount",
                                 [](Pop3& p, std::int32_t* r) { p.TOP_(4, -1, r); },
                                 {{"TOP 4 -1\r\n", "-ERR bad\r\n"}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u""},
                      CommandRow{"Retr",
                                 [](Pop3& p, std::int32_t* r) { p.RETR(1, r); },
                                 {{"RETR 1\r\n", "+OK 60 octets\r\n" + kStuffedMessage}},
                                 1,
                                 static_cast<std::int32_t>(kUnstuffedMessage.size()),
                                 {},
                                 {},
                                 kUnstuffedMessage},
                      CommandRow{"RetrEmptyMessage",
                                 [](Pop3& p, std::int32_t* r) { p.RETR(1, r); },
                                 {{"RETR 1\r\n", "+OK 0 octets\r\n.\r\n"}},
                                 1,
                                 3,
                                 {},
                                 {},
                                 u".\r\n"},
                      CommandRow{"RetrNegative",
                                 [](Pop3& p, std::int32_t* r) { p.RETR(9, r); },
                                 {{"RETR 9\r\n", "-ERR no such message\r\n"}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u""},
                      CommandRow{"Dele",
                                 [](Pop3& p, std::int32_t* r) { p.DELE(3, r); },
                                 {{"DELE 3\r\n", "+OK deleted\r\n"}},
                                 1,
                                 0,
                                 {},
                                 {},
                                 u"+OK deleted\r\n"},
                      CommandRow{"DeleNegative",
                                 [](Pop3& p, std::int32_t* r) { p.DELE(3, r); },
                                 {{"DELE 3\r\n", "-ERR already\r\n"}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u"-ERR already\r\n"},
                      CommandRow{"Noop",
                                 [](Pop3& p, std::int32_t* r) { p.NOOP(r); },
                                 {{"NOOP\r\n", "+OK\r\n"}},
                                 1,
                                 0,
                                 {},
                                 {},
                                 u"+OK\r\n"},
                      CommandRow{"Rset",
                                 [](Pop3& p, std::int32_t* r) { p.RSET(r); },
                                 {{"RSET\r\n", "+OK 2 kept\r\n"}},
                                 1,
                                 0,
                                 {},
                                 {},
                                 u"+OK 2 kept\r\n"},
                      CommandRow{"Quit",
                                 [](Pop3& p, std::int32_t* r) { p.QUIT(r); },
                                 {{"QUIT\r\n", "+OK bye\r\n"}},
                                 1,
                                 0,
                                 {},
                                 {},
                                 u"+OK bye\r\n"},
                      CommandRow{"SilenceTimesOut",
                                 [](Pop3& p, std::int32_t* r) { p.NOOP(r); },
                                 {{"NOOP\r\n", ""}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u""},
                      CommandRow{"PartialLineThenSilence",
                                 [](Pop3& p, std::int32_t* r) { p.NOOP(r); },
                                 {{"NOOP\r\n", "+OK ha"}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u"+OK ha"},
                      CommandRow{"MessageCutOff",
                                 [](Pop3& p, std::int32_t* r) { p.RETR(1, r); },
                                 {{"RETR 1\r\n", "+OK\r\nA: b\r\n\r\nbody"}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u""},
                      CommandRow{"StatusLineTooLong",
                                 [](Pop3& p, std::int32_t* r) { p.STAT(r); },
                                 {{"STAT\r\n", "+OK 1 2 " + std::string(300, 'x') + "\r\n"}},
                                 0,
                                 0,
                                 {},
                                 {},
                                 u"+OK 1 2 " + std::u16string(247, u'x')}),
    [](const auto& info) { return info.param.name; });

struct RefusedRow {
    const char* name;
    std::function<void(Pop3&, std::int32_t*)> call;
    std::int32_t result;
    friend void PrintTo(const RefusedRow& row, std::ostream* os) { *os << row.name; }
};

class Refused : public ::testing::TestWithParam<RefusedRow> {};

// Bad arguments are answered at once and nothing reaches the server.
TEST_P(Refused, WithoutTraffic) {
    ScriptedServer server(Script().Reply(kGreeting).Silence());
    Pop3 pop3;
    Connect(pop3, server);
    std::int32_t result = -99;
    GetParam().call(pop3, &result);
    EXPECT_EQ(result, GetParam().result);
    pop3.Destroy(&result);
    server.Stop();
    EXPECT_EQ(server.Received(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Pop3, Refused,
    ::testing::Values(
        RefusedRow{"DeleZero", [](Pop3& p, std::int32_t* r) { p.DELE(0, r); }, -2},
        RefusedRow{"DeleNegative", [](Pop3& p, std::int32_t* r) { p.DELE(-4, r); }, -2},
        RefusedRow{"RetrZero", [](Pop3& p, std::int32_t* r) { p.RETR(0, r); }, -2},
        RefusedRow{"TopZero", [](Pop3& p, std::int32_t* r) { p.TOP_(0, 5, r); }, -2},
        RefusedRow{"ListNegative", [](Pop3& p, std::int32_t* r) { p.LIST(-1, r); }, -2},
        RefusedRow{"UidlNegative", [](Pop3& p, std::int32_t* r) { p.UIDL(-1, r); }, -2},
        RefusedRow{"EmptyUser", [](Pop3& p, std::int32_t* r) { p.Authorize(u"", u"pw", r); }, -2},
        RefusedRow{"UserWithCrLf", [](Pop3& p, std::int32_t* r) { p.Authorize(u"taro\r\nDELE 1", u"pw", r); },
                   -2},
        RefusedRow{"UserWithLf", [](Pop3& p, std::int32_t* r) { p.Authorize(u"taro\nQUIT", u"pw", r); }, -2},
        RefusedRow{"UserWithNul",
                   [](Pop3& p, std::int32_t* r) { p.Authorize(std::u16string(u"ta\0ro", 5), u"pw", r); }, -2},
        RefusedRow{"PasswordWithCr", [](Pop3& p, std::int32_t* r) { p.Authorize(u"taro", u"pw\rDELE 1", r); },
                   -2},
        RefusedRow{"UserTooLong",
                   [](Pop3& p, std::int32_t* r) { p.Authorize(std::u16string(33, u'u'), u"pw", r); }, -3},
        RefusedRow{"UserTooLongInShiftJis",
                   [](Pop3& p, std::int32_t* r) { p.Authorize(std::u16string(17, u'\u592a'), u"pw", r); },
                   -3},
        RefusedRow{"PasswordTooLong",
                   [](Pop3& p, std::int32_t* r) { p.Authorize(u"taro", std::u16string(33, u'p'), r); }, -4},
        RefusedRow{"UserMethodWithLf", [](Pop3& p, std::int32_t* r) { p.USER(u"a\nb", r); }, -2},
        RefusedRow{"UserMethodTooLong", [](Pop3& p, std::int32_t* r) { p.USER(std::u16string(40, u'a'), r); },
                   -3},
        RefusedRow{"PassMethodWithCr", [](Pop3& p, std::int32_t* r) { p.PASS(u"a\rb", r); }, -2},
        RefusedRow{"PassMethodTooLong", [](Pop3& p, std::int32_t* r) { p.PASS(std::u16string(40, u'a'), r); },
                   -4}),
    [](const auto& info) { return info.param.name; });

// Each reply cut into two segments at every byte position gives the same results.
TEST(Pop3, RepliesSplitAtEveryBytePosition) {
    struct Row {
        const char* name;
        std::function<void(Pop3&, std::int32_t*)> call;
        std::string command;
        std::string reply;
        std::int32_t count;
    };
    const std::vector<Row> rows = {
        {"STAT", [](Pop3& p, std::int32_t* r) { p.STAT(r); }, "STAT\r\n", "+OK 3 4520\r\n", 1},
        {"LIST", [](Pop3& p, std::int32_t* r) { p.LIST(0, r); }, "LIST\r\n", "+OK\r\n1 120\r\n2 99\r\n.\r\n",
         2},
        {"RETR", [](Pop3& p, std::int32_t* r) { p.RETR(1, r); }, "RETR 1\r\n", "+OK\r\n" + kStuffedMessage,
         static_cast<std::int32_t>(kUnstuffedMessage.size())},
    };
    for (const Row& row : rows) {
        for (std::size_t cut = 1; cut < row.reply.size(); ++cut) {
            SCOPED_TRACE(std::string(row.name) + " cut at " + std::to_string(cut));
            ScriptedServer server(Script()
                                      .Reply(kGreeting, {cut % 16 + 1})
                                      .Expect(row.command)
                                      .Reply(row.reply, {cut}, Milliseconds(1)));
            Pop3 pop3;
            Connect(pop3, server);
            std::int32_t result = -99;
            row.call(pop3, &result);
            ASSERT_EQ(result, 1);
            pop3.GetCount(&result);
            EXPECT_EQ(result, row.count);
        }
    }
}

}  // namespace
}  // namespace inlark
