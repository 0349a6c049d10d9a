// Any text through the parser, every getter, and every attachment written out: nothing may crash, and
// nothing may appear outside the folder given to TransferToFile.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "pop3/message_store.h"

namespace {

namespace fs = std::filesystem;

struct Sandbox {
    fs::path root;
    fs::path out;
    Sandbox() {
        std::string t = (fs::temp_directory_path() / "inlark-fuzz-XXXXXX").string();
        root = ::mkdtemp(t.data());
        out = root / "out";
        fs::create_directory(out);
    }
};

std::size_t Entries(const fs::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

// One reading of the text; nonzero only to keep the work from being optimised away.
int Exercise(const std::string& text, bool decodeCharsets) {
    static const Sandbox sandbox;
    inlark::MessageStore store;
    if (!store.Make(text, decodeCharsets)) return 0;

    std::int32_t last_error = 0;
    std::size_t total = store.GetFromNickName().size() + store.GetFrom().size() + store.GetSubject().size() +
                        store.GetReplyTo().size() + store.GetBody().size();
    for (std::int32_t i = 0; i <= store.GetToCount() + 1; ++i) total += store.GetTo(i, &last_error).size();
    for (std::int32_t i = 0; i <= store.GetCcCount() + 1; ++i)
        total += store.GetCcNickName(i, &last_error).size();
    for (std::int32_t i = 0; i <= store.GetBcCount() + 1; ++i) total += store.GetBc(i, &last_error).size();
    for (std::int32_t i = 0; i <= store.GetExMessageCount(); ++i)
        total += store.GetExMessage(i, &last_error).size();
    (void)store.GetDate();

    const std::int32_t files = store.GetFileNameCount();
    for (std::int32_t i = 0; i <= files + 1; ++i) {
        total += store.GetFileName(i, &last_error).size();
        std::int32_t file_size = store.GetFileSize(i);
        std::int32_t result = store.TransferToFile(i, sandbox.out.string(), &last_error);
        if (result == 1 && file_size < 0) __builtin_trap();
    }
    if (Entries(sandbox.root) != 1 || Entries(sandbox.out) > static_cast<std::size_t>(files))
        __builtin_trap();
    for (const auto& e : fs::directory_iterator(sandbox.out)) {
        if (e.is_symlink() || !e.is_regular_file()) __builtin_trap();
        fs::remove(e.path());
    }
    return total == static_cast<std::size_t>(-1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    return Exercise(text, false) | Exercise(text, true);
}
