// A message our composer builds, read back by an independent MIME parser (GMime 3).
#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "mailcore/wide_text.h"
#include "smtp/compose_message.h"

namespace outlark {
namespace {

namespace fs = std::filesystem;

std::string Sjis(const char* utf8) { return mailcore::Utf8ToCp932(utf8); }

struct GObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

std::string Take(char* text) {
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

// The message text as GMime sees it: without the SMTP closing line.
GPtr<GMimeMessage> Parse(std::string text) {
    text.resize(text.size() - 3);
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    return GPtr<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

std::string PartBytes(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, out.get());
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

struct Case {
    const char* name;
    std::int32_t encode;
    std::int32_t charset;
    const char* subject;  // UTF-8, as the reader must give it back
    const char* from_name;
    const char* body;
};

// Test names carry the row; no byte dump of the row itself.
void PrintTo(const Case& row, std::ostream* os) { *os << row.name; }

// A UTF-8 text as the composer takes it in the case's charset.
std::string In(const char* utf8, std::int32_t charset) {
    return charset == kCharsetUtf8 ? std::string(utf8) : Sjis(utf8);
}

class GMimeInteropTest : public testing::TestWithParam<Case> {
  protected:
    static void SetUpTestSuite() { g_mime_init(); }
    static void TearDownTestSuite() { g_mime_shutdown(); }
};

TEST_P(GMimeInteropTest, SameFields) {
    char pattern[] = "/tmp/outlark-gmime-XXXXXX";
    fs::path dir = mkdtemp(pattern);
    std::string binary;
    for (int i = 0; i < 3000; ++i) binary.push_back(static_cast<char>(i * 7 & 0xFF));
    std::ofstream(dir / "data.bin", std::ios::binary) << binary;
    std::ofstream(dir / "note.txt", std::ios::binary) << "plain text\n";

    const Case& c = GetParam();
    ComposedMessage m;
    m.extra_headers = {"X-Mailer: Outlark Version 1.6.2.1", "X-Priority: 3"};
    m.from = Recipient{In(c.from_name, c.charset), "taro@example.com"};
    m.to = {{"", "a@example.com"}, {"B", "b@example.com"}};
    m.subject = In(c.subject, c.charset);
    m.attachments = {(dir / "data.bin").string(), (dir / "note.txt").string()};
    m.header8bit = 0;
    m.encode = c.encode;
    m.charset = c.charset;
    std::string body = In(c.body, c.charset);

    GPtr<GMimeMessage> message = Parse(ComposeMessage(m, body));
    ASSERT_TRUE(message);
    EXPECT_STREQ(g_mime_message_get_subject(message.get()), c.subject);

    InternetAddressList* to = g_mime_message_get_to(message.get());
    ASSERT_EQ(internet_address_list_length(to), 2);
    EXPECT_STREQ(
        internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(internet_address_list_get_address(to, 0))),
        "a@example.com");
    InternetAddressList* from = g_mime_message_get_from(message.get());
    ASSERT_EQ(internet_address_list_length(from), 1);
    InternetAddress* sender = internet_address_list_get_address(from, 0);
    EXPECT_STREQ(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(sender)), "taro@example.com");
    EXPECT_STREQ(internet_address_get_name(sender), c.from_name);

    GMimeObject* top = g_mime_message_get_mime_part(message.get());
    ASSERT_TRUE(GMIME_IS_MULTIPART(top));
    GMimeMultipart* multipart = GMIME_MULTIPART(top);
    ASSERT_EQ(g_mime_multipart_get_count(multipart), 3);

    GMimeObject* text = g_mime_multipart_get_part(multipart, 0);
    ASSERT_TRUE(GMIME_IS_TEXT_PART(text));
    EXPECT_EQ(Take(g_mime_text_part_get_text(GMIME_TEXT_PART(text))), c.body);

    GMimeObject* first = g_mime_multipart_get_part(multipart, 1);
    ASSERT_TRUE(GMIME_IS_PART(first));
    EXPECT_STREQ(g_mime_part_get_filename(GMIME_PART(first)), "data.bin");
    EXPECT_EQ(PartBytes(GMIME_PART(first)), binary);
    GMimeObject* second = g_mime_multipart_get_part(multipart, 2);
    ASSERT_TRUE(GMIME_IS_PART(second));
    EXPECT_STREQ(g_mime_part_get_filename(GMIME_PART(second)), "note.txt");
    EXPECT_EQ(PartBytes(GMIME_PART(second)), "plain text\n");
    fs::remove_all(dir);
}

constexpr const char* kJapaneseSubject =
    "テスト件名、とても長い日本語の件名が折り返されても一つに戻ることを確かめる";
constexpr const char* kJapaneseBody = "本文です。\r\n.先頭の点\r\n二行目";
// Characters ISO-2022-JP cannot carry: emoji (one joined by ZWJ), Latin-1, IBM-row kanji, circled digits.
constexpr const char* kUtf8Subject =
    "Grüße 😀 件名 髙﨑 ① 👨‍👩‍👧 ça va, "
    "とても長い件名が折り返されても一つに戻ることを確かめる";
constexpr const char* kUtf8Body = "Zoë 😀 = ok\r\n.先頭の点 髙﨑\r\nFrom here \r\nñ";

INSTANTIATE_TEST_SUITE_P(
    Table, GMimeInteropTest,
    testing::Values(
        Case{"SevenBit", kEncode7bit, kCharsetIso2022Jp, kJapaneseSubject, "山田太郎", kJapaneseBody},
        Case{"Base64", kEncodeBase64, kCharsetIso2022Jp, kJapaneseSubject, "山田太郎", kJapaneseBody},
        Case{"Utf8QuotedPrintable", kEncode7bit, kCharsetUtf8, kUtf8Subject, "Zoë 山田 🎉", kUtf8Body},
        Case{"Utf8Base64", kEncodeBase64, kCharsetUtf8, kUtf8Subject, "Zoë 山田 🎉", kUtf8Body}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace outlark
