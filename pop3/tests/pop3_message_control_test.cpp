// The message methods of the Pop3 control: what MakeData finds to parse, how long the record lives, and
// the LastError and pVal results at the boundary.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "inlark/pop3.h"
#include "pop3/pop3_internals.h"
#include "testing/scripted_server/scripted_server.h"

namespace inlark {
namespace {

namespace fs = std::filesystem;
using scripted::Script;
using scripted::ScriptedServer;

const std::string kMail =
    "From: \"=?ISO-2022-JP?B?GyRCJCIbKEI=?=\" <a@x.jp>\r\n"
    "To: b@x.jp, C <c@x.jp>\r\n"
    "Subject: =?ISO-2022-JP?B?GyRCJCIkJBsoQg==?=\r\n"
    "Date: Sat, 5 Dec 98 23:00:00 +0900\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
    "\r\n"
    "--b\r\n"
    "\r\n"
    "body\r\n"
    "--b\r\n"
    "Content-Disposition: attachment; filename=\"a.bin\"\r\n"
    "\r\n"
    "QUJD\r\n"
    "--b--\r\n"
    ".\r\n";

std::int32_t Connect(Pop3& pop3, const ScriptedServer& server) {
    Pop3Internals::SetTimeoutsMs(pop3, 5000, 5000);
    pop3.SetPort(server.Port());
    std::int32_t result = -99;
    pop3.ConnectByName(u"127.0.0.1", &result);
    return result;
}

std::u16string Subject(Pop3& pop3) {
    std::u16string s = u"stale";
    pop3.GetSubject(&s);
    return s;
}

TEST(Pop3Message, RetrThenMakeData) {
    ScriptedServer server(
        Script().Reply("+OK ready\r\n").Expect("RETR 1\r\n").Reply("+OK\r\n" + kMail).Silence());
    Pop3 pop3;
    ASSERT_EQ(Connect(pop3, server), 1);
    std::int32_t result = -99;
    pop3.MakeData(&result);
    EXPECT_EQ(result, 0);  // nothing retrieved yet
    pop3.RETR(1, &result);
    ASSERT_EQ(result, 1);
    pop3.MakeData(&result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(Subject(pop3), u"\u3042\u3044");
    std::u16string text;
    pop3.GetFromNickName(&text);
    EXPECT_EQ(text, u"\u3042");
    pop3.GetFrom(&text);
    EXPECT_EQ(text, u"a@x.jp");
    pop3.GetToCount(&result);
    EXPECT_EQ(result, 2);
    pop3.GetToNickName(2, &text);
    EXPECT_EQ(text, u"C");
    pop3.GetBody(&text);
    EXPECT_EQ(text, u"body\r\n");
    double date = 0;
    pop3.GetDate(&date);
    EXPECT_DOUBLE_EQ(date, 36134.0 + 23.0 / 24);
    pop3.GetFileNameCount(&result);
    EXPECT_EQ(result, 1);
    pop3.GetFileSize(1, &result);
    EXPECT_EQ(result, 3);

    EXPECT_EQ(pop3.LastError(), 0);
    pop3.GetTo(3, &text);
    EXPECT_EQ(text, u"");
    EXPECT_EQ(pop3.LastError(), -5);

    result = 42;
    pop3.ReleaseData(&result);
    EXPECT_EQ(result, 42);  // no result
    EXPECT_EQ(Subject(pop3), u"");
    pop3.MakeDataEx(u"0", &result);
    EXPECT_EQ(result, 0);  // the retrieved text went with the record
}

TEST(Pop3Message, WithoutEngine) {
    Pop3 pop3;
    std::int32_t result = -99;
    pop3.MakeData(&result);
    EXPECT_EQ(result, 0);
    pop3.MakeDataEx(u"", &result);
    EXPECT_EQ(result, 0);
    pop3.MakeDataEx(u"Subject: s\r\n\r\nb\r\n.\r\n", &result);
    EXPECT_EQ(result, 1);
    pop3.ReleaseData(&result);  // does nothing without an engine
    EXPECT_EQ(Subject(pop3), u"s");
    pop3.MakeDataEx(u"Subject: broken", &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Subject(pop3), u"");
}

TEST(Pop3Message, ConnectReleasesTheRecord) {
    ScriptedServer server(Script().Reply("+OK ready\r\n").Silence());
    Pop3 pop3;
    std::int32_t result = -99;
    pop3.MakeDataEx(u"Subject: s\r\n\r\n.\r\n", &result);
    ASSERT_EQ(result, 1);
    ASSERT_EQ(Connect(pop3, server), 1);
    EXPECT_EQ(Subject(pop3), u"");
}

TEST(Pop3Message, TransferToFileResults) {
    std::string t = (fs::temp_directory_path() / "inlark-pop3-XXXXXX").string();
    const fs::path dir = ::mkdtemp(t.data());
    Pop3 pop3;
    std::int32_t result = -99;
    pop3.TransferToFile(1, dir.u16string(), &result);
    EXPECT_EQ(result, 0);  // no record
    std::u16string mail(kMail.begin(), kMail.end());
    pop3.MakeDataEx(mail, &result);
    ASSERT_EQ(result, 1);
    pop3.TransferToFile(2, dir.u16string(), &result);
    EXPECT_EQ(result, -2);
    EXPECT_EQ(pop3.LastError(), 0);
    pop3.TransferToFile(0, dir.u16string(), &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(pop3.LastError(), -5);
    pop3.TransferToFile(1, dir.u16string(), &result);
    EXPECT_EQ(result, 1);
    std::ifstream in(dir / "a.bin");
    std::string bytes;
    in >> bytes;
    EXPECT_EQ(bytes, "ABC");
    pop3.TransferToFile(1, (dir / "a.bin" / "sub").u16string(), &result);
    EXPECT_EQ(result, 0);  // not a directory: nothing written, failure reported
    fs::remove_all(dir);
}

}  // namespace
}  // namespace inlark
