// The public parser, through the shared library and its public headers alone (this test sees no other
// header, so it also shows that they stand on their own).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "inlark/message.h"
#include "inlark/pop3.h"
#include "inlark/pop3_session.h"

namespace {

// LF lines, as a mail file; ISO-2022-JP encoded words, a base64 attachment with a path in its name.
const std::string kMail =
    "From: =?ISO-2022-JP?B?GyRCJCIbKEI=?= <a@example.jp>\n"
    "To: B <b@example.jp>, c@example.jp\n"
    "Subject: =?ISO-2022-JP?B?GyRCJCIkJBsoQg==?=\n"
    "Date: Tue, 1 Dec 98 10:20:30 +0900\n"
    "X-Mailer: m\n"
    "MIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=\"b\"\n"
    "\n"
    "--b\n"
    "\n"
    "hello\n"
    "--b\n"
    "Content-Disposition: attachment; filename=\"../a.txt\"\n"
    "Content-Transfer-Encoding: base64\n"
    "\n"
    "QUJD\n"
    "--b--\n";

TEST(ParseMessage, GivesUtf8FieldsAndDecodedAttachments) {
    const auto parsed = inlark::ParseMessage(kMail);
    ASSERT_TRUE(parsed) << mailcore::FailureText(parsed.error());
    const inlark::Message& m = *parsed;
    EXPECT_EQ(m.fromNickname, "\xe3\x81\x82");  // "あ"
    EXPECT_EQ(m.from, "a@example.jp");
    ASSERT_EQ(m.to.size(), 2u);
    EXPECT_EQ(m.to[0].nickname, "B");
    EXPECT_EQ(m.to[1].address, "c@example.jp");
    EXPECT_EQ(m.subject, "\xe3\x81\x82\xe3\x81\x84");  // "あい"
    EXPECT_EQ(m.dateIso, "1998-12-01T10:20:30+09:00");
    EXPECT_NEAR(m.date, 36130.43090, 1e-4);
    EXPECT_EQ(m.body, "hello\r\n");
    EXPECT_EQ(m.exMessages, (std::vector<std::string>{"Date: Tue, 1 Dec 98 10:20:30 +0900", "X-Mailer: m"}));
    ASSERT_EQ(m.attachments.size(), 1u);
    EXPECT_EQ(m.attachments[0].name, "../a.txt");
    EXPECT_EQ(m.attachments[0].fileName, "a.txt");
    EXPECT_EQ(m.attachments[0].bytes, "ABC");
    EXPECT_TRUE(m.warnings.empty());
}

TEST(ParseMessage, ProblemsThatLeaveAMessageAreWarnings) {
    const auto parsed =
        inlark::ParseMessage("Subject: s\r\nDate: someday\r\n\r\nbody\r\nbegin 644 cut.bin\r\nM86)C\r\n");
    ASSERT_TRUE(parsed) << mailcore::FailureText(parsed.error());
    EXPECT_EQ(parsed->date, 0);
    EXPECT_EQ(parsed->dateIso, "");
    ASSERT_EQ(parsed->attachments.size(), 1u);
    EXPECT_FALSE(parsed->attachments[0].complete);
    EXPECT_EQ(parsed->warnings.size(), 2u);
}

TEST(ParseMessage, KeepsALastLineOfOneDotAndRefusesAHeaderWithoutEnd) {
    // A message line "." is the message's own, not the end of a retrieval.
    const auto dotted = inlark::ParseMessage("Subject: s\r\n\r\nline\r\n.\r\n");
    ASSERT_TRUE(dotted);
    EXPECT_EQ(dotted->body, "line\r\n.\r\n");

    const auto broken = inlark::ParseMessage("Subject: no end of the header");
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().kind, mailcore::FailureKind::BadArgument);
}

TEST(ParseMessage, DecodeCharsetsReadsAnyDeclaredCharset) {
    const std::string mail =
        "Subject: =?ISO-8859-1?Q?caf=E9?=\nContent-Type: text/plain; charset=utf-8\n\n\xc3\xbc\n";
    inlark::ParseOptions options;
    options.decodeCharsets = true;
    const auto parsed = inlark::ParseMessage(mail, options);
    ASSERT_TRUE(parsed) << mailcore::FailureText(parsed.error());
    EXPECT_EQ(parsed->subject, "caf\xc3\xa9");
    EXPECT_EQ(parsed->body.substr(0, 2), "\xc3\xbc");
}

TEST(SaveAttachment, NeverLeavesTheDirectoryNorOverwrites) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("public-message-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    inlark::MailAttachment attachment{"x", "../../escape.txt", "data", true};
    auto first = inlark::SaveAttachment(attachment, dir.string());
    auto second = inlark::SaveAttachment(attachment, dir.string());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, (dir / "escape.txt").string());
    EXPECT_EQ(*second, (dir / "escape-2.txt").string());
    std::ifstream in(*second, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "data");
    std::filesystem::remove_all(dir);
}

}  // namespace
