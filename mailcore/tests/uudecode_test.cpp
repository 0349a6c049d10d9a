#include "mailcore/uudecode.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mailcore/tests/exact_buffer.h"

namespace mailcore {
namespace {

using testing::ExactBuffer;

std::optional<std::string> Decode(std::string_view text, size_t length) {
    ExactBuffer buffer(text);
    const auto bytes = UuDecode(buffer.view(), length);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

struct Case {
    const char* name;
    std::string text;
    std::optional<std::string> expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class UuDecodeCases : public ::testing::TestWithParam<Case> {};

TEST_P(UuDecodeCases, Decode) {
    EXPECT_EQ(Decode(GetParam().text, GetParam().text.size()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UuDecodeCases,
    ::testing::Values(
        Case{"OneLine", "#0V%T\r\n", "Cat"}, Case{"LastLineWithoutCrLf", "#0V%T", "Cat"},
        Case{"TwoLines", "#0V%T\r\n#0V%T\r\n", "CatCat"}, Case{"CountBelowGroupSize", "!0V%T\r\n", "C"},
        Case{"BacktickAndSpaceAreZero", "&````    \r\n", std::string(6, '\0')},
        // Characters cut off a line are zero bits; the count still decides.
        Case{"ShortLineFilledWithZeroBits", "#0V\r\n#0V%T", std::string("C`\0Cat", 6)},
        Case{"GroupsMissingWholly", "&0V%T\r\n", std::string("Cat\0\0\0", 6)},
        Case{"CountAloneGivesZeros", "#\r\n#0V%T", std::string("\0\0\0Cat", 6)},
        Case{"CountAtEndOfData", "#0V%T\r\n\"", std::string("Cat\0\0", 5)},
        Case{"CrAtEndOfData", "#0V%T\r", "Cat"}, Case{"BareLineFeeds", "#0V%T\n#0V%T\n", "CatCat"},
        Case{"EmptyLineGivesNothingForIt", "#0V%T\r\n\r\n#0V%T", "CatCat"},
        Case{"EmptyBareLineGivesNothingForIt", "#0V%T\n\n#0V%T", "CatCat"},
        Case{"CountZeroBacktick", "`\r\n", std::nullopt}, Case{"CountZeroSpace", " \r\n", std::nullopt},
        Case{"CountZeroAfterData", "#0V%T\r\n`\r\n", std::nullopt},
        Case{"CharactersBeyondCountIgnored", "!0V%T0V%T\r\n", "C"}, Case{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UuDecode, LengthLimitsTheInput) {
    EXPECT_EQ(Decode("#0V%T\r\n#0V%T\r\n", 7), "Cat");
    EXPECT_EQ(Decode("#0V%T\r\n#0V%T\r\n", 3), std::string("C`\0", 3));  // the cut line as its count says
    EXPECT_EQ(Decode("#0V%T\r\n", 10000), "Cat");
    EXPECT_EQ(Decode("#0V%T\r\n", 0), "");
}

TEST(UuDecode, RandomGarbageStaysInside) {
    std::mt19937 rng(644);
    constexpr std::string_view kPieces = "M#!`  0V%T\r\n";
    for (int round = 0; round < 3000; ++round) {
        std::string text(rng() % 60, '\0');
        for (char& c : text) c = rng() % 2 ? kPieces[rng() % kPieces.size()] : static_cast<char>(rng());
        ExactBuffer input(text);
        const size_t length = rng() % 80;
        const auto bytes = UuDecode(input.view(), length);
        // A line gives at most 63 bytes, whatever it holds.
        if (bytes) {
            EXPECT_LE(bytes->size(), 63 * std::min(length, text.size()));
        }
    }
}

// Against the uuencode program of sharutils on random files, with the lines ended by CR LF as mail
// carries them, decoded whole and cut at every line and inside lines.
class SharutilsUuencode : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/mailcore_uu_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    // The data lines of `uuencode` for `data`, without "begin", the "`" line and "end".
    std::vector<std::string> Uuencode(const std::string& data) {
        const std::string path = dir_ + "/input.bin";
        std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
        FILE* pipe = popen(("uuencode " + path + " input.bin").c_str(), "r");
        EXPECT_NE(pipe, nullptr);
        std::string output;
        char buffer[4096];
        for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
        EXPECT_EQ(pipe ? pclose(pipe) : -1, 0) << "uuencode (package sharutils) must be installed";
        std::vector<std::string> lines;
        std::istringstream in(output);
        std::string line;
        std::getline(in, line);
        EXPECT_TRUE(line.starts_with("begin ")) << line;
        while (std::getline(in, line) && line != "`" && line != "end") lines.push_back(line);
        return lines;
    }

    std::string dir_;
};

std::string Join(const std::vector<std::string>& lines, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += lines[i] + "\r\n";
    return out;
}

TEST_F(SharutilsUuencode, RandomFiles) {
    std::mt19937 rng(1993);
    for (size_t size : {0u, 1u, 2u, 3u, 44u, 45u, 46u, 90u, 1000u, 4096u, 65537u}) {
        std::string data(size, '\0');
        for (char& c : data) c = static_cast<char>(rng());
        const auto lines = Uuencode(data);
        const std::string text = Join(lines, lines.size());
        EXPECT_EQ(Decode(text, text.size()), data) << size;
        // Cut after each of the first lines: the bytes of the complete lines.
        for (size_t count = 0; count <= std::min<size_t>(lines.size(), 5); ++count) {
            const std::string part = Join(lines, count);
            EXPECT_EQ(Decode(part, part.size()), data.substr(0, count * 45)) << size << ' ' << count;
        }
        // Cut anywhere: the lines before the cut whole, the cut line as long as its count says, never a
        // read past the end.
        for (size_t n = 0; n < std::min<size_t>(text.size(), 200); ++n) {
            const auto out = Decode(std::string_view(text).substr(0, n), n);
            ASSERT_TRUE(out.has_value()) << n;
            const size_t whole_lines = n / 63;  // 61 characters and CR LF
            const size_t begun = std::min(lines.size(), (n + 62) / 63);
            EXPECT_EQ(out->size(), std::min(data.size(), begun * 45)) << size << ' ' << n;
            EXPECT_EQ(out->substr(0, whole_lines * 45), data.substr(0, whole_lines * 45)) << size << ' ' << n;
        }
    }
}

// Old mail transports strip the blanks at the ends of lines. Encoders that write zero bits as blanks (as
// sharutils writes them as "`") then leave lines shorter than their count; the file must still decode to
// its bytes, in full.
TEST_F(SharutilsUuencode, TrailingBlanksStripped) {
    std::mt19937 rng(251141);
    for (size_t size : {45u, 46u, 47u, 100u, 4500u, 65536u + 7u}) {
        std::string data(size, '\0');
        for (char& c : data) c = static_cast<char>(rng());
        // Zero bytes at the end of each line's worth of data, 1 to 9 of them, and at the end of the file.
        for (size_t line_end = 45; line_end <= size; line_end += 45) {
            const size_t zeros = 1 + rng() % 9;
            std::fill(data.begin() + static_cast<std::ptrdiff_t>(line_end - zeros),
                      data.begin() + static_cast<std::ptrdiff_t>(line_end), '\0');
        }
        std::fill(data.end() - std::min<std::ptrdiff_t>(4, static_cast<std::ptrdiff_t>(size)), data.end(),
                  '\0');

        std::vector<std::string> lines = Uuencode(data);
        size_t stripped = 0;
        for (std::string& line : lines) {
            std::replace(line.begin() + 1, line.end(), '`', ' ');
            const size_t before = line.size();
            line.erase(line.find_last_not_of(' ') + 1);
            stripped += before - line.size();
        }
        ASSERT_GE(stripped, lines.size()) << size;  // lines did lose characters
        const std::string text = Join(lines, lines.size());
        EXPECT_EQ(Decode(text, text.size()), data) << size;
    }
}

}  // namespace
}  // namespace mailcore
