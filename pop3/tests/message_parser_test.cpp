#include "pop3/message_parser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "pop3/attachment_file.h"
#include "pop3/tests/mail_builder.h"

namespace inlark {
namespace {

using testing::Base64;
using testing::Message;
using testing::UuLines;

// "あい" in ISO-2022-JP and in Shift_JIS.
const std::string kJis = "\x1b$B$\"$$\x1b(B";
const std::string kSjis = "\x82\xa0\x82\xa2";
const std::string kWord = "=?ISO-2022-JP?B?GyRCJCIkJBsoQg==?=";  // the same text as an encoded word

std::string Decoded(const MessageRecord& r, std::size_t i) {
    auto bytes = DecodeAttachment(r, r.attachments.at(i));
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<none>");
}

struct BodyCase {
    const char* name;
    std::string text;
    std::string subject;
    std::string body;
};

class SinglePartTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(SinglePartTest, SubjectAndBody) {
    auto r = ParseMessage(GetParam().text);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->subject, GetParam().subject);
    EXPECT_EQ(r->body, GetParam().body);
    EXPECT_TRUE(r->attachments.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, SinglePartTest,
    ::testing::Values(
        BodyCase{"Iso2022Jp", Message({"MIME-Version: 1.0", "Subject: " + kWord, "", kJis, "abc"}), kSjis,
                 kSjis + "\r\nabc\r\n"},
        BodyCase{"Base64",
                 Message({"MIME-Version: 1.0", "Content-Transfer-Encoding: base64", "", "GyRCJCIkJBsoQg=="}),
                 "", kSjis},
        BodyCase{"Base64LinesOf76",
                 Message({"Mime-Version: 1.0", "Content-Transfer-Encoding: BASE64", "",
                          Base64(std::string(300, 'x'))}),
                 "", std::string(300, 'x')},
        BodyCase{"QuotedPrintableOctetsAndKanjiRun",
                 Message({"MIME-Version: 1.0", "Content-Transfer-Encoding: quoted-printable", "",
                          "=82=A0a=3Db", "=1B$B$\"$$=1B(B"}),
                 "",
                 "\x82\xa0"
                 "a=b\r\n" +
                     kSjis + "\r\n"},
        BodyCase{"LastEncodingLineWins",
                 Message({"MIME-Version: 1.0", "Content-Transfer-Encoding: base64",
                          "Content-Transfer-Encoding: 7bit", "", "R3"}),
                 "", "R3\r\n"},
        BodyCase{"NoMimeLeavesEncodedWord", Message({"Subject: " + kWord, "", "x"}), kWord, "x\r\n"},
        BodyCase{"NoMimeStillConvertsJis", Message({"Subject: " + kJis, "", kJis}), kSjis, kSjis + "\r\n"},
        BodyCase{"FoldedSubjectJoinsWithoutSpace",
                 Message({"MIME-Version: 1.0", "Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=",
                          "\t=?ISO-2022-JP?B?GyRCJCIbKEI=?=", "", ""}),
                 "\x82\xa0\x82\xa0", "\r\n"},
        BodyCase{"SubjectStartingOnContinuationLine",
                 Message({"MIME-Version: 1.0", "Subject:", " plain", "", "b"}), "plain", "b\r\n"},
        BodyCase{"MultipartAlternativeIsOnePart",
                 Message({"MIME-Version: 1.0", "Content-Type: multipart/alternative; boundary=\"x\"", "",
                          "--x", "Content-Type: text/plain", "", "t", "--x--"}),
                 "", "--x\r\nContent-Type: text/plain\r\n\r\nt\r\n--x--\r\n"},
        BodyCase{"MissingEndLineBodyRunsToEnd", "Subject: s\r\n\r\nbody\r\n", "s", "body\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct HeaderCase {
    const char* name;
    std::string text;
    bool parses;
};

class ParseFailureTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ParseFailureTest, Parses) { EXPECT_EQ(ParseMessage(GetParam().text).has_value(), GetParam().parses); }

INSTANTIATE_TEST_SUITE_P(
    Failures, ParseFailureTest,
    ::testing::Values(
        HeaderCase{"NoEmptyLine", "Subject: a\r\nFrom: b", false},
        HeaderCase{"NoLineEndAtAll", "Subject: a", false}, HeaderCase{"Empty", "", false},
        HeaderCase{"OnlyEmptyLine", "\r\n", true}, HeaderCase{"HeadersAbsent", "\r\nbody\r\n.\r\n", true},
        HeaderCase{
            "MissingFirstBoundary",
            Message({"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"b\"", "", "text"}),
            false},
        HeaderCase{"MissingClosingBoundaryAfterBody",
                   Message({"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"b\"", "", "--b",
                            "", "text"}),
                   false},
        HeaderCase{
            "MissingClosingBoundaryAfterAttachment",
            Message({"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"b\"", "", "--b", "",
                     "text", "--b", "Content-Type: application/octet-stream; name=\"a\"", "", "QUJD"}),
            false},
        HeaderCase{"BoundaryOnlyInsideEndLine",
                   "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n.\r\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HeaderSectionTest, FurtherLinesKeepDateAndMailerButNotMessageId) {
    auto r = ParseMessage(
        Message({"Date: Tue, 1 Dec 1998 10:20:30 +0900", "Message-ID: <id@x>", "X-Mailer: M", " continued",
                 "Content-Transfer-Encoding: 8bit", "Content-Type: text/plain", "", "b"}));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->ex_messages.size(), 3u);
    EXPECT_EQ(r->ex_messages[0], "Date: Tue, 1 Dec 1998 10:20:30 +0900");
    EXPECT_EQ(r->ex_messages[1], "X-Mailer: Mcontinued");  // unfolded on decoding
    EXPECT_EQ(r->ex_messages[2], "Content-Transfer-Encoding: 8bit");
    EXPECT_EQ(r->date.year, 1998);
    EXPECT_EQ(r->date.hour, 10);
}

TEST(HeaderSectionTest, FromWithEncodedQuotedNickName) {
    auto r = ParseMessage(Message({"MIME-Version: 1.0", "From: \"" + kWord + "\" <a@example.jp>", "", ""}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->from_nick_name, kSjis);
    EXPECT_EQ(r->from, "a@example.jp");
}

TEST(HeaderSectionTest, EmptyFromDoesNotSwallowTheNextLine) {
    auto r = ParseMessage(Message({"From:", "Subject: s", "", ""}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->from, "");
    EXPECT_EQ(r->subject, "s");
}

struct ReplyToCase {
    const char* name;
    std::string line;
    std::string reply_to;
};

class ReplyToTest : public ::testing::TestWithParam<ReplyToCase> {};

TEST_P(ReplyToTest, Address) {
    auto r = ParseMessage(Message({GetParam().line, "", ""}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->reply_to, GetParam().reply_to);
}

INSTANTIATE_TEST_SUITE_P(ReplyTo, ReplyToTest,
                         ::testing::Values(ReplyToCase{"Angle", "Reply-To: <r@x.jp> (me)", "r@x.jp"},
                                           ReplyToCase{"Bare", "Reply-To:  r@x.jp (me)", "r@x.jp"},
                                           ReplyToCase{"BareAlone", "reply-to: r@x.jp", "r@x.jp"},
                                           ReplyToCase{"NameFirstTakesFirstWord", "Reply-To: Bob <r@x.jp>",
                                                       "Bob"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- multipart --------------------------------------------------------------------------------------

const std::string kPayload = std::string("Hello attachment\0\x01\xff", 19);
const std::string kPayload64 = "SGVsbG8gYXR0YWNobWVudAAB/w==";

std::string Mixed(const std::string& part_header_lines,
                  const std::string& type_line = "Content-Type: multipart/mixed; boundary=\"=_b1\"") {
    return "MIME-Version: 1.0\r\n" + type_line +
           "\r\nSubject: s\r\n\r\npreamble\r\n--=_b1\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n"
           "Content-Transfer-Encoding: 7bit\r\n\r\n" +
           kJis + "\r\n--=_b1\r\n" + part_header_lines + "\r\n" + kPayload64 +
           "\r\n--=_b1--\r\nepilogue\r\n.\r\n";
}

struct NameCase {
    const char* name;
    std::string message;
    std::string file_name;
};

class AttachmentNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(AttachmentNameTest, NameBodyAndBytes) {
    auto r = ParseMessage(GetParam().message);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, kSjis + "\r\n");
    ASSERT_EQ(r->attachments.size(), 1u);
    EXPECT_EQ(r->attachments[0].file_name, GetParam().file_name);
    EXPECT_EQ(Decoded(*r, 0), kPayload);
}

INSTANTIATE_TEST_SUITE_P(
    Names, AttachmentNameTest,
    ::testing::Values(
        NameCase{"DispositionOneLine",
                 Mixed("Content-Type: image/png\r\nContent-Disposition: attachment; filename=\"a.png\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n"),
                 "a.png"},
        NameCase{"OctetStreamName",
                 Mixed("Content-Type: application/octet-stream; name=\"b.bin\"\r\nContent-Transfer-Encoding: "
                       "base64\r\n"),
                 "b.bin"},
        NameCase{
            "ContinuationFilenameTab",
            Mixed("Content-Type: text/plain\r\nContent-Disposition: attachment;\r\n\tfilename=\"c.txt\"\r\n"),
            "c.txt"},
        NameCase{"ContinuationFilenameSpace",
                 Mixed("Content-Disposition: inline;\r\n filename=\"d.txt\"\r\n"), "d.txt"},
        NameCase{"FirstNameWins",
                 Mixed("Content-Type: application/octet-stream; name=\"first\"\r\n"
                       "Content-Disposition: attachment; filename=\"second\"\r\n"),
                 "first"},
        NameCase{"EncodedWordName",
                 Mixed("Content-Disposition: attachment; filename=\"" + kWord + ".txt\"\r\n"),
                 kSjis + ".txt"},
        NameCase{"NoTransferEncodingMeansBase64", Mixed("Content-Type: image/gif\r\n"), ""},
        NameCase{"UnquotedBoundaryToSemicolon",
                 Mixed("Content-Type: application/octet-stream; name=\"e\"\r\n",
                       "Content-Type: multipart/mixed; boundary==_b1; charset=x"),
                 "e"},
        NameCase{"UnquotedBoundaryOnContinuationLine",
                 Mixed("Content-Type: application/octet-stream; name=\"f\"\r\n",
                       "Content-Type: multipart/mixed;\r\n\tboundary==_b1"),
                 "f"},
        NameCase{"MultipartReport",
                 Mixed("Content-Type: application/octet-stream; name=\"g\"\r\n",
                       "Content-Type: multipart/report; report-type=x;\r\n boundary=\"=_b1\""),
                 "g"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MultipartTest, FirstPartThatIsAFileBecomesTheBody) {
    auto r = ParseMessage(
        Message({"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"q\"", "", "--q",
                 "Content-Type: application/octet-stream; name=\"first.txt\"",
                 "Content-Transfer-Encoding: base64", "", "GyRCJCIkJBsoQg==", "--q",
                 "Content-Disposition: attachment; filename=\"second.txt\"", "", "QUJD", "--q--"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, kSjis);
    ASSERT_EQ(r->attachments.size(), 1u);
    EXPECT_EQ(r->attachments[0].file_name, "second.txt");
    EXPECT_EQ(Decoded(*r, 0), "ABC");
}

TEST(MultipartTest, PartsInOrderWithEveryEncoding) {
    auto r = ParseMessage(Message({"MIME-Version: 1.0",
                                   "Content-Type: multipart/mixed; boundary=\"q\"",
                                   "",
                                   "--q",
                                   "",
                                   "body",
                                   "--q",
                                   "Content-Disposition: attachment; filename=\"plain.txt\"",
                                   "Content-Transfer-Encoding: 7bit",
                                   "",
                                   "line",
                                   "--q",
                                   "Content-Disposition: attachment; filename=\"qp.bin\"",
                                   "Content-Transfer-Encoding: quoted-printable",
                                   "",
                                   "=82=A0x=",
                                   "y",
                                   "--q",
                                   "",
                                   "QUJD",
                                   "--q",
                                   "Content-Disposition: attachment; filename=\"uu.bin\"",
                                   "",
                                   "begin 644 uu.bin",
                                   UuLines("uuencoded inside MIME") + "end",
                                   "--q--"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "body\r\n");
    ASSERT_EQ(r->attachments.size(), 4u);
    EXPECT_EQ(Decoded(*r, 0), "line\r\n");  // 7bit data is kept with its line ends
    EXPECT_EQ(Decoded(*r, 1), "\x82\xa0xy\r\n");
    EXPECT_EQ(r->attachments[2].file_name, "");  // a part with no header lines
    EXPECT_EQ(r->attachments[3].file_name, "uu.bin");
    EXPECT_EQ(Decoded(*r, 3), "uuencoded inside MIME");
}

TEST(MultipartTest, QuotedBoundaryWithoutBoundaryKeywordTakesNextQuotes) {
    auto r = ParseMessage(Message(
        {"MIME-Version: 1.0", "Content-Type: multipart/mixed;", " \"zz\"", "", "--zz", "", "b", "--zz--"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->boundary, "zz");
    EXPECT_EQ(r->body, "b\r\n");
}

// ---- uuencode without MIME ------------------------------------------------------------------------

TEST(UuencodeTest, FilesAfterTheBody) {
    const std::string data1(100, '\x07');
    auto r = ParseMessage(
        Message({"Subject: files", "", "see attached", "begin 644 one.bin", UuLines(data1) + "end", "between",
                 "begin 600 " + kJis + ".txt", UuLines("second") + "end"}));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->uuencoded);
    EXPECT_EQ(r->body, "see attached\r\n");
    ASSERT_EQ(r->attachments.size(), 2u);
    EXPECT_EQ(r->attachments[0].file_name, "one.bin");
    EXPECT_EQ(r->attachments[1].file_name, kSjis + ".txt");
    EXPECT_EQ(Decoded(*r, 0), data1);
    EXPECT_EQ(Decoded(*r, 1), "second");
}

TEST(UuencodeTest, MissingEndLineDoesNotDecode) {
    auto r = ParseMessage("Subject: x\r\n\r\nbegin 644 a\r\n#86)C\r\n.\r\n");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->attachments.size(), 1u);
    EXPECT_FALSE(DecodeAttachment(*r, r->attachments[0]));
}

TEST(UuencodeTest, MimeMessageDoesNotLookForBeginLines) {
    auto r = ParseMessage(Message({"MIME-Version: 1.0", "", "begin 644 a", "#86)C", "`", "end"}));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->attachments.empty());
    EXPECT_EQ(r->body, "begin 644 a\r\n#86)C\r\n`\r\nend\r\n");
}

}  // namespace
}  // namespace inlark
