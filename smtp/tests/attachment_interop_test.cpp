// Attachments and bodies as independent readers see them: GMime 3, Python's email package and GNU uudecode.
#include <fcntl.h>
#include <gmime/gmime.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "mailcore/wide_text.h"
#include "smtp/attachment_headers.h"
#include "smtp/compose_message.h"
#include "smtp/file_type.h"

extern char** environ;

namespace outlark {
namespace {

namespace fs = std::filesystem;

std::string Sjis(const std::string& utf8) { return mailcore::Utf8ToCp932(utf8); }

struct GObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Runs a program with its standard output and error in `out`; its exit status.
int RunProgram(const std::vector<std::string>& args, const fs::path& out) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/outlark-attach-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return bytes;
}

// The message as a reader gets it: without the SMTP closing line.
std::string WithoutClosingLine(std::string text) {
    EXPECT_TRUE(text.ends_with("\r\n.\r\n"));
    text.resize(text.size() - 3);
    return text;
}

size_t LongestLine(const std::string& text) {
    size_t longest = 0, start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        longest = std::max(longest, end - start);
        start = end + 2;
    }
    return longest;
}

struct Case {
    const char* label;
    std::string file_name;  // UTF-8
    size_t size;
    std::string body;  // UTF-8
    std::int32_t header8bit;
    std::int32_t charset = kCharsetIso2022Jp;
};

// A UTF-8 text as the composer takes it in the case's charset.
std::string In(const std::string& utf8, const Case& c) {
    return c.charset == kCharsetUtf8 ? utf8 : Sjis(utf8);
}

void PrintTo(const Case& row, std::ostream* os) { *os << row.label; }

const std::string kLongLine = "long " + std::string(1500, 'x') + " 日本語 " + std::string(600, 'y');

const Case kCases[] = {
    {"Ascii", "note.txt", 12, "本文です。", 1},
    {"Japanese", "日本語の資料.txt", 300, "本文", 1},
    {"JapaneseEncodedWordMode", "見積書 2026年度 (最終版).pdf", 1000, "本文", 0},
    {"LongJapanese",
     "とても長い名前の添付ファイルです。とても長い名前の添付ファイルです。とても長い名前です.docx", 64,
     "本文", 0},
    {"Quote", "say \"hi\" now.txt", 5, "本文", 1},
    {"Mixed", "report_報告書-v2.tar.gz", 77, "mixed text 混在", 0},
    {"Empty", "空.dat", 0, "本文", 1},
    {"HalfWidthKatakana", "ﾃｽﾄ ｶﾀｶﾅ.txt", 10, "本文", 0},
    {"FiveMiB", "big.bin", 5 * 1024 * 1024, "本文", 0},
    {"LongBodyLine", "a.txt", 3, kLongLine + "\r\n二行目", 1},
    // UTF-8: names and bodies CP932 cannot hold, back exactly.
    {"Utf8Emoji", "party 🎉 photo.jpg", 500, "Hi 😀, see the photo 🎉", 0, kCharsetUtf8},
    {"Utf8Latin1", "Grüße aus Köln – résumé.pdf", 64, "Grüße, ça va? = ñ ß\r\n.dot\r\nFrom x ", 1,
     kCharsetUtf8},
    {"Utf8Japanese", "見積書 髙﨑 ①.xlsx", 100, "本文です。髙﨑さん ①\r\n二行目", 0, kCharsetUtf8},
    {"Utf8LongName", "とても長い名前の添付ファイル 😀 Ünïcödé とても長い名前の添付ファイルです 🎉 final.docx",
     10, "本文", 0, kCharsetUtf8},
    {"Utf8LongBodyLine", "a.txt", 3,
     "é" + std::string(1500, 'x') + "😀 " + std::string(100, '=') + "\r\n二行目", 0, kCharsetUtf8},
};

class AttachmentInteropTest : public testing::TestWithParam<Case> {
  protected:
    static void SetUpTestSuite() { g_mime_init(); }
    static void TearDownTestSuite() { g_mime_shutdown(); }

    // "stem (type name)" as the reader should show it, UTF-8.
    std::string Description(const fs::path& dir) const {
        std::string name = GetParam().file_name;
        size_t period = name.rfind('.');
        std::string stem = period == std::string::npos || period == 0 ? name : name.substr(0, period);
        const bool utf8 = GetParam().charset == kCharsetUtf8;
        std::string type_name = *FileTypeDescription(In((dir / name).string(), GetParam()), utf8);
        return stem + " (" + (utf8 ? type_name : mailcore::Cp932ToUtf8(type_name)) + ")";
    }

    // Composes the case's message in `dir`; fills `content` with the attachment's bytes.
    std::string Compose(const fs::path& dir, std::string& content, std::int32_t encode = kEncode7bit) {
        const Case& c = GetParam();
        content = Pattern(c.size);
        WriteFile(dir / c.file_name, content);
        ComposedMessage m;
        m.from = Recipient{"", "from@example.com"};
        m.to = {Recipient{"", "to@example.com"}};
        m.attachments = {In((dir / c.file_name).string(), c)};
        m.header8bit = c.header8bit;
        m.encode = encode;
        m.charset = c.charset;
        ComposeContext context{0x1234ABCD, 1796508309, std::chrono::milliseconds(0)};
        return WithoutClosingLine(ComposeMessage(m, In(c.body, c), context));
    }
};

TEST_P(AttachmentInteropTest, GMimeReadsNameBytesAndBody) {
    TempDir dir;
    std::string content;
    std::string text = Compose(dir.path(), content);
    // Quoted-printable keeps a UTF-8 body's lines short whatever the text.
    EXPECT_LE(LongestLine(text), GetParam().charset == kCharsetUtf8 ? 76u : 998u);
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    ASSERT_TRUE(message);
    GMimeObject* top = g_mime_message_get_mime_part(message.get());
    ASSERT_TRUE(GMIME_IS_MULTIPART(top));
    GMimeMultipart* multipart = GMIME_MULTIPART(top);
    ASSERT_EQ(g_mime_multipart_get_count(multipart), 2);

    GMimeObject* body = g_mime_multipart_get_part(multipart, 0);
    ASSERT_TRUE(GMIME_IS_TEXT_PART(body));
    char* body_text = g_mime_text_part_get_text(GMIME_TEXT_PART(body));
    std::string got = body_text ? body_text : "";
    g_free(body_text);
    while (got.ends_with("\r\n")) got.resize(got.size() - 2);
    EXPECT_EQ(got, GetParam().body);

    GMimeObject* attached = g_mime_multipart_get_part(multipart, 1);
    ASSERT_TRUE(GMIME_IS_PART(attached));
    const char* description = g_mime_object_get_header(attached, "Content-Description");
    EXPECT_EQ(description ? std::string(description) : "(none)", Description(dir.path()));
    const char* name = g_mime_part_get_filename(GMIME_PART(attached));
    EXPECT_EQ(name ? std::string(name) : "(none)", GetParam().file_name);
    GMimeDataWrapper* data = g_mime_part_get_content(GMIME_PART(attached));
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(data, out.get());
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(array->data), array->len) == content)
        << "attachment bytes differ";
}

TEST_P(AttachmentInteropTest, PythonEmailReadsNameBytesAndBodyWithoutDefects) {
    for (std::int32_t encode : {kEncode7bit, kEncodeBase64}) {
        TempDir dir;
        std::string content;
        WriteFile(dir.path() / "message.eml", Compose(dir.path(), content, encode));
        WriteFile(dir.path() / "body.txt", GetParam().body);
        int status = RunProgram({"python3", READ_BACK_SCRIPT, (dir.path() / "message.eml").string(),
                                 (dir.path() / "body.txt").string(), GetParam().file_name,
                                 (dir.path() / GetParam().file_name).string(), Description(dir.path())},
                                dir.path() / "out.txt");
        EXPECT_EQ(status, 0) << "encode " << encode << ": " << ReadFile(dir.path() / "out.txt");
    }
}

INSTANTIATE_TEST_SUITE_P(Names, AttachmentInteropTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(QuotedParameterValueTest, EscapesQuoteAndBackslash) {
    EXPECT_EQ(QuotedParameterValue("plain.txt"), "\"plain.txt\"");
    EXPECT_EQ(QuotedParameterValue("q\"uote.txt"), "\"q\\\"uote.txt\"");
    EXPECT_EQ(QuotedParameterValue("back\\slash"), "\"back\\\\slash\"");
}

TEST(AttachmentPartHeadersTest, LinesStayWithinSeventySixColumns) {
    for (const Case& row : kCases) {
        std::string headers =
            AttachmentPartHeaders(In(row.file_name, row), "Text Document", row.charset == kCharsetUtf8);
        EXPECT_LE(LongestLine(headers), 76u) << row.label;
        EXPECT_TRUE(headers.ends_with("\r\n")) << row.label;
    }
}

// Each size is one uuencoded message; GNU uudecode must take it without complaint and give the same bytes.
class UudecodeTest : public testing::TestWithParam<size_t> {};

TEST_P(UudecodeTest, GnuUudecodeGivesTheExactBytes) {
    TempDir dir;
    std::string content = Pattern(GetParam());
    WriteFile(dir.path() / "file.bin", content);
    ComposedMessage m;
    m.from = Recipient{"", "from@example.com"};
    m.to = {Recipient{"", "to@example.com"}};
    m.type = kTypePlain;
    m.attachments = {(dir.path() / "file.bin").string()};
    ComposeContext context{0x1234ABCD, 1796508309, std::chrono::milliseconds(0)};
    WriteFile(dir.path() / "message.txt", WithoutClosingLine(ComposeMessage(m, "abc", context)));
    int status = RunProgram(
        {"uudecode", "-o", (dir.path() / "decoded.bin").string(), (dir.path() / "message.txt").string()},
        dir.path() / "out.txt");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadFile(dir.path() / "out.txt"), "");
    EXPECT_TRUE(ReadFile(dir.path() / "decoded.bin") == content) << "decoded bytes differ";
}

INSTANTIATE_TEST_SUITE_P(Sizes, UudecodeTest, testing::Values(0, 1, 2, 3, 44, 45, 46, 90, 1000, 65536));

}  // namespace
}  // namespace outlark
