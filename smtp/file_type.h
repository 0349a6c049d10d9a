#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace outlark {

// The part of a path after its last "/" or "\".
std::string_view FileNameOf(std::string_view path);
// The file name without the part from its last period, unless that period is its first character.
std::string_view FileStemOf(std::string_view file_name);

// A description of the file's type from its extension ("Text Document" for .txt; the extension itself when
// unknown), at most 79 bytes; nothing when the file does not exist. `path` is Shift_JIS, or UTF-8 when
// `utf8` is set.
std::optional<std::string> FileTypeDescription(std::string_view path, bool utf8 = false);

// A Shift_JIS (or, with `utf8`, already UTF-8) path as the file system spells it (UTF-8).
std::string NativePath(std::string_view path, bool utf8 = false);

}  // namespace outlark
