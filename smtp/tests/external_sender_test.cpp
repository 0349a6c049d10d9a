#include "smtp/external_sender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace outlark {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::ElementsAreArray;

// Runs the external sender mode against the helper that records its arguments.
class ExternalSendTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/outlark-external-XXXXXX";
        dir_ = mkdtemp(pattern);
        record_ = (dir_ / "args").string();
        setenv("RECORD_ARGS_FILE", record_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("RECORD_ARGS_FILE");
        fs::remove_all(dir_);
    }

    // The arguments after the program name of every run, in order.
    std::vector<std::vector<std::string>> Recorded() {
        std::ifstream in(record_, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        std::string text = all.str();
        std::vector<std::vector<std::string>> runs(1);
        size_t pos = 0;
        while (pos < text.size()) {
            if (text.compare(pos, 3, "--\n") == 0) {
                runs.back().erase(runs.back().begin());
                runs.emplace_back();
                pos += 3;
                continue;
            }
            size_t colon = text.find(':', pos);
            size_t length = std::stoul(text.substr(pos, colon - pos));
            runs.back().push_back(text.substr(colon + 1, length));
            pos = colon + 1 + length + 1;
        }
        runs.pop_back();
        return runs;
    }

    fs::path dir_;
    std::string record_;
    std::string program_ = RECORD_ARGS_PROGRAM;
    ChildReaper reaper_;
};

ExternalMail Mail() {
    return {"smtp.example.com", "to@example.com", "from@example.com", "Hello", "Body", ""};
}

struct Case {
    const char* name;
    std::string log_filename;
    ExternalMail mail;
    std::vector<std::string> expected;
};

class ExternalSendArgumentsTest : public ExternalSendTest, public testing::WithParamInterface<Case> {};

TEST_P(ExternalSendArgumentsTest, ProgramReceivesExactArguments) {
    const Case& c = GetParam();
    std::string program = program_;
    EXPECT_EQ(ExternalSend(program, c.log_filename, c.mail, reaper_), 1);
    reaper_.WaitAll();
    auto runs = Recorded();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_THAT(runs[0], ElementsAreArray(c.expected));
}

ExternalMail With(void (*change)(ExternalMail&)) {
    ExternalMail mail = Mail();
    change(mail);
    return mail;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ExternalSendArgumentsTest,
    testing::Values(
        Case{"LogNoAttachmentEmptyBody",
             "/var/log/out.log",
             With([](ExternalMail& m) { m.body = ""; }),
             {"/var/log/out.log", "smtp.example.com", "to@example.com", "from@example.com", "Hello",
              "(No Body)"}},
        Case{"NoLogGivesDefaultName",
             "",
             Mail(),
             {"Outlark.log", "smtp.example.com", "to@example.com", "from@example.com", "Hello", "Body"}},
        Case{"EmptySubject",
             "a.log",
             With([](ExternalMail& m) { m.subject = ""; }),
             {"a.log", "smtp.example.com", "to@example.com", "from@example.com", "(No Subject)", "Body"}},
        Case{"AttachmentPathAsGiven",
             "my log.txt",
             With([](ExternalMail& m) { m.filename = "C:\\My Files\\a b.txt"; }),
             {"my log.txt", "smtp.example.com", "to@example.com", "from@example.com", "Hello", "Body",
              "C:\\My Files\\a b.txt"}},
        Case{"FilenameZeroIsNoAttachment",
             "a.log",
             With([](ExternalMail& m) { m.filename = "0"; }),
             {"a.log", "smtp.example.com", "to@example.com", "from@example.com", "Hello", "Body"}},
        Case{"LineBreaksAndTabsStayInside",
             "a.log",
             With([](ExternalMail& m) { m.body = "line 1\r\n\tline 2\n"; }),
             {"a.log", "smtp.example.com", "to@example.com", "from@example.com", "Hello",
              "line 1\r\n\tline 2\n"}},
        // Quotes are not escaped: each one toggles grouping and disappears.
        Case{"QuotesToggleGrouping",
             "a.log",
             With([](ExternalMail& m) { m.subject = "say \"hi there\" now"; }),
             {"a.log", "smtp.example.com", "to@example.com", "from@example.com", "say hi", "there now",
              "Body"}},
        Case{"ShiftJisArrivesAsUtf8",
             "a.log",
             With([](ExternalMail& m) { m.subject = "\x93\xfa\x96\x7b"; }),
             {"a.log", "smtp.example.com", "to@example.com", "from@example.com", "日本", "Body"}}),
    [](const auto& info) { return info.param.name; });

TEST_F(ExternalSendTest, TooLongCommandLineStartsNothing) {
    std::string program = program_;
    ExternalMail mail = Mail();
    mail.body = std::string(600, 'x');
    EXPECT_EQ(ExternalSend(program, "a.log", mail, reaper_), 0);
    reaper_.WaitAll();
    EXPECT_FALSE(fs::exists(record_));
}

TEST_F(ExternalSendTest, LongestFittingCommandLineStarts) {
    std::string program = program_;
    ExternalMail mail = Mail();
    size_t used = BuildExternalCommandLine(program, "a.log", mail).size();
    mail.body += std::string(kMaxExternalCommandLine - used, 'y');
    ASSERT_EQ(BuildExternalCommandLine(program, "a.log", mail).size(), kMaxExternalCommandLine);
    EXPECT_EQ(ExternalSend(program, "a.log", mail, reaper_), 1);
    reaper_.WaitAll();
    ASSERT_EQ(Recorded().size(), 1u);
    EXPECT_EQ(Recorded()[0][5], mail.body);
}

TEST_F(ExternalSendTest, EmptyProgramNameBecomesDefaultAndMissingProgramStillGivesOne) {
    std::string program;
    EXPECT_EQ(ExternalSend(program, "a.log", Mail(), reaper_), 1);
    EXPECT_EQ(program, "Outlark.exe");
}

TEST(SplitCommandLineTest, Rules) {
    EXPECT_THAT(SplitCommandLine("\"C:\\a b\\x.exe\" one  two"), ElementsAre("C:\\a b\\x.exe", "one", "two"));
    EXPECT_THAT(SplitCommandLine("a \"\" b"), ElementsAre("a", "", "b"));
    EXPECT_THAT(SplitCommandLine("a\\\" b"), ElementsAre("a\\ b"));
    EXPECT_THAT(SplitCommandLine("  "), ElementsAre());
}

}  // namespace
}  // namespace outlark
