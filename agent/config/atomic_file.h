#pragma once
// Whole-file replacement that never leaves a half-written file behind: the new content goes to a
// temporary file in the same folder, is flushed to disk and then renamed over the old file.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace mirelo {

struct FileResult {
    bool ok = true;
    std::string error;  // the failing step, the path and the system's reason; empty when ok
};

// Reads a whole file. A missing file is not an error: the result holds no content.
struct FileContent {
    std::optional<std::string> bytes;
    std::string error;  // set when the file exists but cannot be read
};
[[nodiscard]] FileContent ReadWholeFile(const std::string& path);

// On failure the old file is untouched and no temporary file is left behind. The temporary files that
// earlier calls for `path` left when killed halfway ("<path>.XXXXXX", still without permission bits, over
// a minute old) are removed first.
[[nodiscard]] FileResult ReplaceFileAtomically(const std::string& path, std::string_view bytes, mode_t mode);

}  // namespace mirelo
