// Header fields our composer writes, read back by two independent readers: Python's email package
// (policy.default) and GMime 3. Each must give back exactly the text that went in.
#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "mailcore/wide_text.h"
#include "smtp/compose_message.h"

namespace outlark {
namespace {

namespace fs = std::filesystem;

std::string Sjis(const std::string& utf8) { return mailcore::Utf8ToCp932(utf8); }

std::string Repeat(const std::string& piece, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += piece;
    return out;
}

// A UTF-8 text as the composer takes it in the given charset.
std::string In(const std::string& utf8, std::int32_t charset) {
    return charset == kCharsetUtf8 ? utf8 : Sjis(utf8);
}

// The message as a reader gets it from a mailbox: without the SMTP closing line.
std::string Compose(const ComposedMessage& m) {
    ComposeContext context;
    context.now = 1796508309;
    context.attachment_pause = std::chrono::milliseconds(0);
    std::string text = ComposeMessage(m, In("本文\r\n", m.charset), context);
    text.resize(text.size() - 3);
    return text;
}

// Python's view of the header fields, as JSON.
nlohmann::json ReadWithPython(const std::string& message) {
    char pattern[] = "/tmp/outlark-headers-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    std::ofstream(dir / "message.eml", std::ios::binary) << message;
    const std::string command =
        std::string("python3 ") + READ_HEADERS_SCRIPT + " " + (dir / "message.eml").string();
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
    }
    fs::remove_all(dir);
    return nlohmann::json::parse(output, nullptr, false);
}

struct GObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};

struct GMimeView {
    std::string subject;
    std::string from_name;
    std::string from_addr;
    std::string reply_to_name;
};

GMimeView ReadWithGMime(std::string message) {
    std::unique_ptr<GMimeStream, GObjectUnref> stream(
        g_mime_stream_mem_new_with_buffer(message.data(), message.size()));
    std::unique_ptr<GMimeParser, GObjectUnref> parser(g_mime_parser_new_with_stream(stream.get()));
    std::unique_ptr<GMimeMessage, GObjectUnref> parsed(
        g_mime_parser_construct_message(parser.get(), nullptr));
    GMimeView view;
    if (!parsed) return view;
    if (const char* subject = g_mime_message_get_subject(parsed.get())) view.subject = subject;
    InternetAddressList* from = g_mime_message_get_from(parsed.get());
    if (internet_address_list_length(from) == 1) {
        InternetAddress* sender = internet_address_list_get_address(from, 0);
        if (const char* name = internet_address_get_name(sender)) view.from_name = name;
        if (INTERNET_ADDRESS_IS_MAILBOX(sender)) {
            view.from_addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(sender));
        }
    }
    InternetAddressList* reply_to = g_mime_message_get_reply_to(parsed.get());
    if (internet_address_list_length(reply_to) == 1) {
        if (const char* name = internet_address_get_name(internet_address_list_get_address(reply_to, 0))) {
            view.reply_to_name = name;
        }
    }
    return view;
}

struct Case {
    const char* name;
    std::string subject;  // UTF-8
    std::string from_name = "";
    std::string reply_to_name = "";
    std::int32_t header8bit = 0;
    std::int32_t width = 76;
    std::int32_t charset = kCharsetIso2022Jp;
};

void PrintTo(const Case& row, std::ostream* os) { *os << row.name; }

class HeaderReadersTest : public testing::TestWithParam<Case> {
  protected:
    static void SetUpTestSuite() { g_mime_init(); }
    static void TearDownTestSuite() { g_mime_shutdown(); }
};

TEST_P(HeaderReadersTest, BothReadersGetTheInputBack) {
    const Case& c = GetParam();
    ComposedMessage m;
    m.charset = c.charset;
    m.subject = In(c.subject, c.charset);
    m.from = Recipient{In(c.from_name, c.charset), "sender@example.jp"};
    // Plain mode writes Japanese as raw ISO-2022-JP, which readers flag; its rows keep to ASCII names.
    // UTF-8 encodes every name whatever the mode.
    const std::string to_name = c.charset == kCharsetUtf8 ? "Zoë 🎉 宛先"
                                : c.header8bit == 0       ? "宛先 一"
                                                          : "To One";
    m.to = {{In(to_name, c.charset), "one@example.jp"}, {"", "two@example.jp"}};
    if (!c.reply_to_name.empty()) m.reply_to = In(c.reply_to_name, c.charset) + " <reply@example.jp>";
    m.header8bit = c.header8bit;
    m.width = c.width;
    const std::string text = Compose(m);

    EXPECT_EQ(text.find('\0'), std::string::npos);
    // UTF-8 goes out in 7-bit lines folded to the width (76 here) wherever blanks or word ends allow.
    const size_t longest = c.charset == kCharsetUtf8 && c.width == 76 ? 76 : 998;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_LE(end - start, longest) << "line at offset " << start;
        if (c.charset == kCharsetUtf8) {
            EXPECT_TRUE(std::all_of(text.begin() + start, text.begin() + end,
                                    [](char ch) { return static_cast<unsigned char>(ch) < 0x80; }))
                << "8-bit byte in line at offset " << start;
        }
    }

    const nlohmann::json python = ReadWithPython(text);
    ASSERT_TRUE(python.is_object()) << "python3 could not read the message";
    EXPECT_EQ(python["Subject"], c.subject);
    EXPECT_EQ(python["From"][0]["name"], c.from_name);
    EXPECT_EQ(python["From"][0]["addr"], "sender@example.jp");
    ASSERT_EQ(python["To"].size(), 2u);
    EXPECT_EQ(python["To"][1]["addr"], "two@example.jp");
    EXPECT_EQ(python["To"][0]["name"], to_name);
    if (!c.reply_to_name.empty()) {
        EXPECT_EQ(python["Reply-To"][0]["name"], c.reply_to_name);
        EXPECT_EQ(python["Reply-To"][0]["addr"], "reply@example.jp");
    }
    EXPECT_TRUE(python["defects"].empty()) << python["defects"];

    const GMimeView gmime = ReadWithGMime(text);
    EXPECT_EQ(gmime.subject, c.subject);
    EXPECT_EQ(gmime.from_name, c.from_name);
    EXPECT_EQ(gmime.from_addr, "sender@example.jp");
    EXPECT_EQ(gmime.reply_to_name, c.reply_to_name);
}

// IBM extension codes go out in the NEC-selected rows (0x79..0x7C), which CP932-aware readers show and strict
// ISO-2022-JP readers (Python, GMime) cannot; what matters here is that nothing is cut: no NUL byte, and
// the text after them arrives whole in both readers.
TEST_F(HeaderReadersTest, IbmExtensionCodesCutNothing) {
    for (std::int32_t header8bit : {0, 1}) {
        ComposedMessage m;
        m.subject = "\xfb\xfc\xfa\x5c" + Sjis(" test 様");  // 髙﨑 in CP932's IBM rows
        m.from = Recipient{"", "sender@example.jp"};
        m.header8bit = header8bit;
        ComposeContext context;
        context.attachment_pause = std::chrono::milliseconds(0);
        std::string text = ComposeMessage(m, "\xfb\xfc\xf0\x40" + Sjis("本文"), context);
        EXPECT_EQ(text.find('\0'), std::string::npos) << header8bit;
        EXPECT_NE(text.find("?\x1b$BK\\J8\x1b(B"), std::string::npos) << "user-defined code as ?";
        text.resize(text.size() - 3);
        const nlohmann::json python = ReadWithPython(text);
        ASSERT_TRUE(python.is_object());
        if (header8bit == 0) {
            EXPECT_TRUE(python["Subject"].get<std::string>().ends_with(" test 様")) << python["Subject"];
            EXPECT_TRUE(ReadWithGMime(text).subject.ends_with(" test 様")) << ReadWithGMime(text).subject;
        } else {
            EXPECT_NE(text.find(" test \x1b$BMM\x1b(B\r\n"), std::string::npos);
        }
    }
}

const std::string kLongAscii = Repeat("abcdefghi ", 119) + "end";      // 1,193 characters
const std::string kLongJapanese = Repeat("日本語の件名 ", 60) + "終";  // 421 characters

INSTANTIATE_TEST_SUITE_P(
    Table, HeaderReadersTest,
    testing::Values(
        Case{"PlainJapanese", "日本語のテスト", "山田太郎"},
        Case{"BlanksBetweenJapaneseRuns", "日本 語の テスト です", "山田 太郎"},
        Case{"JapaneseGluedToAscii", "本文base64", "名前abc"},
        Case{"TabsAndDoubleBlanks", "日本\t語 a\tb  テスト  c", "a 名"},
        Case{"BlanksAtTheEnds", " 日本 ", ""}, Case{"MixedText", "Re: [ML 12] 会議の件 (再送)", "Taro 山田"},
        Case{"QuoteAndBackslashInName", "x", "Jo\"hn \\Q"},
        Case{"QuoteInNamePlainMode", "x", "Jo\"hn Q", "", 1},
        Case{"JapaneseNameSixtyCharacters", "x", Repeat("長い名前", 15)},
        Case{"LookalikeEncodedWord", "=?UTF-8?B?SGFja2Vk?=", "=?UTF-8?B?SGFja2Vk?="},
        Case{"LookalikeEncodedWordPlainMode", "see =?UTF-8?B?SGFja2Vk?= here", "", "", 1},
        Case{"ReplyToJapanese", "x", "", "返信 先"}, Case{"LongAsciiWidth76", kLongAscii},
        Case{"LongAsciiWidth40", kLongAscii, "", "", 0, 40},
        Case{"LongAsciiWidth0", kLongAscii, "", "", 0, 0}, Case{"LongAsciiPlainMode", kLongAscii, "", "", 1},
        Case{"LongAsciiWithoutBlanks", Repeat("x", 1200)},
        Case{"LongAsciiWithoutBlanksPlainMode", Repeat("x", 1200), "", "", 1},
        Case{"LongJapaneseWidth76", kLongJapanese}, Case{"LongJapaneseWidth40", kLongJapanese, "", "", 0, 40},
        Case{"LongJapaneseWidth0", kLongJapanese, "", "", 0, 0},
        Case{"LongJapaneseNoBlanks", Repeat("日本語", 200)},
        // UTF-8: every character back, in plain mode too; words never split inside a character.
        Case{"Utf8Emoji", "Party 🎉🎊 tonight 😀", "Ann 👩‍💻", "", 0, 76, kCharsetUtf8},
        Case{"Utf8Latin1", "Grüße aus Köln, ça va? ñ ß é", "Zoë Ångström", "Søren Ø", 0, 76, kCharsetUtf8},
        Case{"Utf8Japanese", "日本語のテスト 髙﨑 ①②", "山田 太郎", "返信 先", 0, 76, kCharsetUtf8},
        Case{"Utf8PlainModeStillEncoded", "Grüße 😀 件名", "Zoë", "", 1, 76, kCharsetUtf8},
        Case{"Utf8LongSubjectFolds",
             "Grüße 😀 件名 " + Repeat("とても長い件名が折り返されることを確かめる ", 6) +
                 "emoji 👨‍👩‍👧 end",
             "Zoë 😀", "", 0, 76, kCharsetUtf8},
        Case{"Utf8LongNoBlanks", Repeat("é日😀a", 80), "", "", 0, 76, kCharsetUtf8},
        Case{"Utf8Width40", Repeat("Ünïcödé 文字 🎉 ", 12), "", "", 0, 40, kCharsetUtf8},
        Case{"Utf8LookalikeEncodedWord", "=?UTF-8?B?SGFja2Vk?= ü", "=?UTF-8?Q?x?=", "", 0, 76, kCharsetUtf8},
        Case{"Utf8LongAscii", kLongAscii, "", "", 0, 76, kCharsetUtf8}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace outlark
