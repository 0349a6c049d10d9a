// SendMail through the real Postfix, fetched from the real Dovecot with our POP3 component and parsed
// (testing/servers/mail-servers; skipped when those servers are not running).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

#include "inlark/pop3.h"
#include "mailcore/wide_text.h"
#include "outlark/smtp.h"
#include "pop3/attachment_file.h"
#include "pop3/message_parser.h"
#include "testing/mail_servers_env/maildir.h"
#include "testing/mail_servers_env/real_servers_test.h"

namespace outlark {
namespace {

namespace fs = std::filesystem;
namespace ms = mirelo::mail_servers;

std::u16string Wide(const std::string& utf8) { return mailcore::Cp932ToWide(mailcore::Utf8ToCp932(utf8)); }
std::string Sjis(const std::string& utf8) { return mailcore::Utf8ToCp932(utf8); }

struct Settings {
    const char* name;
    std::int32_t header8bit;
    std::int32_t encode;
};

// Test names carry the row; no byte dump of the row itself.
void PrintTo(const Settings& row, std::ostream* os) { *os << row.name; }

class SmtpServers : public ms::RealServersTest, public testing::WithParamInterface<Settings> {};
class SmtpServersHeaders : public ms::RealServersTest {};

TEST_P(SmtpServers, RoundTripThroughPostfixAndDovecot) {
    char pattern[] = "/tmp/outlark-servers-XXXXXX";
    fs::path dir = mkdtemp(pattern);
    std::string bytes;
    for (int i = 0; i < 20000; ++i) bytes.push_back(static_cast<char>(i * 13 + (i >> 7)));
    fs::path file = dir / "photo.jpg";
    std::ofstream(file, std::ios::binary) << bytes;

    const std::string subject = "件名のテスト、日本語で少し長めの題名を付けて折り返しを確かめます";
    const std::string body = "本文です。\r\n.先頭に点\r\n.\r\n..二つ\r\n最後の行";
    Smtp smtp;
    smtp.SetLogFilename(u"");
    smtp.SetPort(env().smtpPort);
    smtp.SetSendTimeout(10);
    smtp.SetRecvTimeout(10);
    smtp.SetHeader8bit(GetParam().header8bit);
    smtp.SetEncode(GetParam().encode);
    std::int32_t status = 0;
    smtp.SendMail(Wide(env().host), Wide(mailbox().address), Wide("phone@" + env().domain), Wide(subject),
                  Wide(body), file.u16string(), &status);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(ms::WaitForMessages(mailbox().maildir, 1), "");

    inlark::Pop3 pop3;
    pop3.SetPort(env().pop3Port);
    pop3.SetSendTimeout(10);
    pop3.SetRecvTimeout(10);
    std::int32_t r = 0;
    pop3.ConnectByName(Wide(env().host), &r);
    ASSERT_EQ(r, 1);
    pop3.Authorize(Wide(mailbox().user), Wide(mailbox().password), &r);
    ASSERT_EQ(r, 1);
    pop3.RETR(1, &r);
    ASSERT_EQ(r, 1);
    std::u16string text;
    pop3.GetMessage(&text);
    pop3.QUIT(&r);

    std::optional<inlark::MessageRecord> record = inlark::ParseMessage(mailcore::WideToCp932(text));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->subject, Sjis(subject));
    EXPECT_EQ(record->body.substr(0, Sjis(body).size()), Sjis(body));
    ASSERT_EQ(record->attachments.size(), 1u);
    EXPECT_EQ(record->attachments[0].file_name, "photo.jpg");
    std::optional<mailcore::Bytes> data = inlark::DecodeAttachment(*record, record->attachments[0]);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(data->begin(), data->end()), bytes);
    fs::remove_all(dir);
}

// The delivered file in the Maildir, as Postfix and Dovecot stored it.
std::string DeliveredMessage(const std::string& maildir) {
    for (const char* sub : {"new", "cur"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(maildir) / sub)) {
            std::ifstream in(entry.path(), std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return {};
}

// A Japanese attachment name after delivery, read by Python's email; a bad attachment never reaches Postfix.
TEST_P(SmtpServers, JapaneseAttachmentNameSurvivesDelivery) {
    char pattern[] = "/tmp/outlark-servers-XXXXXX";
    fs::path dir = mkdtemp(pattern);
    const std::string name = "見積書 \"最終\" ﾃｽﾄ.pdf";
    std::string bytes;
    for (int i = 0; i < 5000; ++i) bytes.push_back(static_cast<char>(i * 7));
    std::ofstream(dir / name, std::ios::binary) << bytes;
    fs::create_directory(dir / "folder");

    Smtp smtp;
    smtp.SetLogFilename(u"");
    smtp.SetPort(env().smtpPort);
    smtp.SetHeader8bit(GetParam().header8bit);
    smtp.SetEncode(GetParam().encode);
    std::int32_t status = 0;
    smtp.SendMail(Wide(env().host), Wide(mailbox().address), Wide("phone@" + env().domain), Wide("件名"),
                  Wide("本文"), Wide((dir / "folder").string()), &status);
    EXPECT_EQ(status, -6);
    smtp.SendMail(Wide(env().host), Wide(mailbox().address), Wide("phone@" + env().domain), Wide("件名"),
                  Wide("本文"), Wide((dir / name).string()), &status);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(ms::WaitForMessages(mailbox().maildir, 1), "");
    EXPECT_EQ(ms::CountMessages(mailbox().maildir), 1u) << "only the good send arrived";

    std::ofstream(dir / "message.eml", std::ios::binary) << DeliveredMessage(mailbox().maildir);
    std::ofstream(dir / "body.txt", std::ios::binary) << "本文";
    std::string command = std::string("python3 ") + READ_BACK_SCRIPT + " " + (dir / "message.eml").string() +
                          " " + (dir / "body.txt").string() + " '" + name + "' '" + (dir / name).string() +
                          "' '見積書 \"最終\" ﾃｽﾄ (PDF Document)'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    fs::remove_all(dir);
}

// Header text after delivery through Postfix, as Python's email reads the stored file.
TEST_F(SmtpServersHeaders, SubjectArrivesExactlyThroughPostfix) {
    std::string subject = "日本 語の\tテスト です 本文base64 =?UTF-8?B?SGFja2Vk?= 終";
    for (int i = 0; i < 120; ++i) subject += " word" + std::to_string(i);
    Smtp smtp;
    smtp.SetLogFilename(u"");
    smtp.SetPort(env().smtpPort);
    smtp.SetSendTimeout(10);
    smtp.SetRecvTimeout(10);
    smtp.SetHeader8bit(0);
    std::int32_t status = 0;
    smtp.SendMail(Wide(env().host), Wide(mailbox().address), Wide("phone@" + env().domain), Wide(subject),
                  Wide("body"), u"", &status);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(ms::WaitForMessages(mailbox().maildir, 1), "");
    fs::path stored;
    for (const auto& entry : fs::directory_iterator(fs::path(mailbox().maildir) / "new"))
        stored = entry.path();
    ASSERT_FALSE(stored.empty());
    const std::string command =
        "python3 -c \"import sys,email,email.policy;"
        "m=email.message_from_binary_file(open(sys.argv[1],'rb'),policy=email.policy.default);"
        "sys.stdout.buffer.write(str(m['Subject']).encode())\" " +
        stored.string();
    std::string read;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) read.append(buffer, n);
        pclose(pipe);
    }
    EXPECT_EQ(read, subject);
}

// A UTF-8 mail after delivery, read by the POP3 component's lossless getters: nothing CP932 cannot hold
// is lost on the way.
TEST_P(SmtpServers, Utf8MailArrivesWholeThroughPostfix) {
    char pattern[] = "/tmp/outlark-servers-XXXXXX";
    fs::path dir = mkdtemp(pattern);
    const std::u16string name = u"r\u00e9sum\u00e9 \U0001F389 \u9ad9.txt";
    std::ofstream(dir / fs::path(name), std::ios::binary) << "data";
    const std::u16string subject = u"Gr\u00fc\u00dfe \U0001F600 \u9ad9\u5d0e\u3055\u3093 \u2460 " +
                                   std::u16string(40, u'\u3042') + u" end";
    const std::u16string body = u"Zo\u00eb \U0001F600\r\n.dot\r\n\u9ad9 = \u2603 ";
    Smtp smtp;
    smtp.SetLogFilename(u"");
    smtp.SetPort(env().smtpPort);
    smtp.SetSendTimeout(10);
    smtp.SetRecvTimeout(10);
    smtp.SetHeader8bit(GetParam().header8bit);
    smtp.SetEncode(GetParam().encode);
    smtp.SetCharset(1);
    std::int32_t status = 0;
    smtp.SendMail(Wide(env().host), Wide(mailbox().address), Wide("phone@" + env().domain), subject, body,
                  (dir / fs::path(name)).u16string(), &status);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(ms::WaitForMessages(mailbox().maildir, 1), "");

    inlark::Pop3 pop3;
    pop3.SetPort(env().pop3Port);
    pop3.SetSendTimeout(10);
    pop3.SetRecvTimeout(10);
    pop3.SetDecodeCharsets(1);
    std::int32_t r = 0;
    pop3.ConnectByName(Wide(env().host), &r);
    ASSERT_EQ(r, 1);
    pop3.Authorize(Wide(mailbox().user), Wide(mailbox().password), &r);
    ASSERT_EQ(r, 1);
    pop3.RETR(1, &r);
    ASSERT_EQ(r, 1);
    pop3.MakeData(&r);
    ASSERT_EQ(r, 1);
    std::u16string got;
    pop3.GetSubjectW(&got);
    EXPECT_EQ(got, subject);
    pop3.GetBodyW(&got);
    while (got.ends_with(u"\r\n")) got.resize(got.size() - 2);
    EXPECT_EQ(got, body);
    pop3.GetFileNameW(1, &got);
    EXPECT_EQ(got, name);
    pop3.QUIT(&r);
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Settings, SmtpServers,
                         testing::Values(Settings{"PlainHeaders7bit", 1, 0},
                                         Settings{"EncodedWordsBase64", 0, 1}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace outlark
