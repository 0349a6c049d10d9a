#include "agent/config/ini_document.h"

#include <gtest/gtest.h>

namespace mirelo {
namespace {

TEST(IniDocument, ReadsHandEditedFile) {
    // Lower-case names, blanks around names and values, LF and CR LF mixed, a comment, a foreign section.
    const IniDocument ini = IniDocument::Parse(
        "; written by hand\n"
        "[other]\r\n"
        "pop3server=wrong.example\n"
        "  [ mail server settings ]  \r\n"
        "pop3server = pop.example.jp \n"
        "Pop3Port\t=\t1110\r\n"
        "Empty=\n"
        "NoEquals\n"
        "POP3Server=second.example\n");
    EXPECT_EQ(ini.Value("Mail Server Settings", "POP3Server"), "pop.example.jp");
    EXPECT_EQ(ini.Value("MAIL SERVER SETTINGS", "pop3port"), "1110");
    EXPECT_EQ(ini.Value("Mail Server Settings", "Empty"), "");
    EXPECT_EQ(ini.Value("Mail Server Settings", "Missing"), std::nullopt);
    EXPECT_EQ(ini.Value("Missing Section", "POP3Server"), std::nullopt);
    EXPECT_EQ(ini.Value("other", "POP3SERVER"), "wrong.example");
}

TEST(IniDocument, ValueKeepsEqualsSignsAfterTheFirst) {
    const IniDocument ini = IniDocument::Parse("[s]\nk=a=b==\n");
    EXPECT_EQ(ini.Value("s", "k"), "a=b==");
}

TEST(IniDocument, CaseFoldingLeavesDoubleByteCharactersAlone) {
    // "ア" is 0x83 0x41 and "ヂ" 0x83 0x61: folding the trail byte would make them one name.
    // "ゾ" is 0x83 0x5D: its trail byte is "]" and must not close the section name.
    const IniDocument ini = IniDocument::Parse("[\x83\x41]\nk=katakana a\n[\x83\x5D]\n\x83\x41=zo\n");
    EXPECT_EQ(ini.Value("\x83\x41", "k"), "katakana a");
    EXPECT_EQ(ini.Value("\x83\x61", "k"), std::nullopt);
    EXPECT_EQ(ini.Value("\x83\x5D", "\x83\x41"), "zo");
    EXPECT_EQ(ini.Value("\x83\x5D", "\x83\x61"), std::nullopt);
}

TEST(IniDocument, SetValueKeepsEverythingElse) {
    IniDocument ini = IniDocument::Parse(
        "; comment\n"
        "[Keep Me]\n"
        "Foreign=1\n"
        "\n"
        "[mirelo settings]\n"
        "getlistcommand=LIST\n"
        "Unknown=x\n"
        "; trailing comment\n"
        "\n");
    ini.SetValue("Mirelo Settings", "GetListCommand", "LST");
    ini.SetValue("Mirelo Settings", "DelMailCommand", "DEL");
    ini.SetValue("Mirelo Mail Settings", "SeparateMax", "10");
    EXPECT_EQ(ini.Serialize(),
              "; comment\r\n"
              "[Keep Me]\r\n"
              "Foreign=1\r\n"
              "\r\n"
              "[mirelo settings]\r\n"
              "GetListCommand=LST\r\n"
              "Unknown=x\r\n"
              "DelMailCommand=DEL\r\n"
              "; trailing comment\r\n"
              "\r\n"
              "[Mirelo Mail Settings]\r\n"
              "SeparateMax=10\r\n");
}

TEST(IniDocument, SetValueCannotBreakTheLine) {
    IniDocument ini;
    ini.SetValue("s", "k", "one\r\n[evil]\nk=2");
    ini.SetValue("s", "z", std::string_view("a\0b", 3));
    EXPECT_EQ(ini.Serialize(), "[s]\r\nk=one\r\nz=a\r\n");
}

TEST(IniDocument, DoubledCrEndsTheLineOnce) {
    IniDocument ini = IniDocument::Parse("[s]\r\r\nk=v\r\r\nlone=a\rb\r\n\r\r\r\n");
    EXPECT_EQ(ini.Value("s", "k"), "v");
    EXPECT_EQ(ini.Value("s", "lone"), "a\rb");
    ini.SetValue("s", "k", "w");
    // The third CR of the last line is not a line end: it stays, like the lone one.
    EXPECT_EQ(ini.Serialize(), "[s]\r\nk=w\r\nlone=a\rb\r\n\r\r\n");
}

TEST(IniDocument, EmptyAndUnterminated) {
    EXPECT_EQ(IniDocument::Parse("").Serialize(), "");
    EXPECT_EQ(IniDocument::Parse("[s]\nk=v").Value("s", "k"), "v");
}

struct WidthRow {
    const char* name;
    std::string stored;
    std::size_t width;
    std::string expected;
};
void PrintTo(const WidthRow& row, std::ostream* os) { *os << row.name; }

const WidthRow kWidthRows[] = {
    {"Short", "abc", 79, "abc"},
    {"Exact", std::string(79, 'x'), 79, std::string(79, 'x')},
    {"Cut", std::string(100, 'x'), 79, std::string(79, 'x')},
    {"WideKey", std::string(120, 'x'), 127, std::string(120, 'x')},
    // 78 bytes and a double-byte character: the character would be split, so it goes whole.
    {"NoHalfCharacter", std::string(78, 'x') + "\x82\xA0", 79, std::string(78, 'x')},
    {"WholeCharacterFits",
     std::string(77, 'x') + "\x82\xA0"
                            "y",
     79, std::string(77, 'x') + "\x82\xA0"},
};

class WidthTable : public testing::TestWithParam<WidthRow> {};

TEST_P(WidthTable, ReadCutsAtBufferWidth) {
    const IniDocument ini = IniDocument::Parse("[s]\nk=" + GetParam().stored + "\n");
    EXPECT_EQ(ReadProfileString(ini, "s", "k", "default", GetParam().width), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(IniDocument, WidthTable, testing::ValuesIn(kWidthRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IniDocument, DefaultOnlyWhenKeyMissing) {
    const IniDocument ini = IniDocument::Parse("[s]\nempty=\n");
    EXPECT_EQ(ReadProfileString(ini, "s", "empty", "dflt", 79), "");
    EXPECT_EQ(ReadProfileString(ini, "s", "missing", "dflt", 79), "dflt");
    EXPECT_EQ(ReadProfileString(ini, "t", "missing", "dflt", 79), "dflt");
}

}  // namespace
}  // namespace mirelo
