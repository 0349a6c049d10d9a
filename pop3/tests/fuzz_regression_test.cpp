// Inputs kept from fuzzing (tests/data/fuzz): each must go through the parser (in both readings), every
// getter and TransferToFile without a fault, and write nothing outside the folder it is given.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "pop3/message_store.h"

namespace inlark {
namespace {

namespace fs = std::filesystem;

TEST(FuzzRegressionTest, KeptInputsRunCleanly) {
    std::string t = (fs::temp_directory_path() / "inlark-regress-XXXXXX").string();
    const fs::path root = ::mkdtemp(t.data());
    const fs::path out = root / "out";
    std::size_t inputs = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(TEST_DATA_DIR) / "fuzz")) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        for (const bool standard_reading : {false, true}) {
            fs::create_directory(out);
            MessageStore store;
            if (store.Make(text.str(), standard_reading)) {
                std::int32_t last_error = 0;
                for (std::int32_t i = 0; i <= store.GetToCount() + 1; ++i) (void)store.GetTo(i, &last_error);
                (void)store.GetSubject();
                (void)store.GetBodyW();
                for (std::int32_t i = 0; i <= store.GetExMessageCount() + 1; ++i)
                    (void)store.GetExMessage(i, &last_error);
                (void)store.GetDate();
                for (std::int32_t i = 0; i <= store.GetFileNameCount() + 1; ++i) {
                    (void)store.GetFileSize(i);
                    (void)store.TransferToFile(i, out.string(), &last_error);
                }
            }
            std::size_t entries = 0;
            for ([[maybe_unused]] const auto& e : fs::directory_iterator(root)) ++entries;
            EXPECT_EQ(entries, 1u);
            fs::remove_all(out);
        }
        ++inputs;
    }
    fs::remove_all(root);
    EXPECT_GT(inputs, 0u);
}

}  // namespace
}  // namespace inlark
