#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace outlark {

// 0 (and 1): plain ISO-2022-JP; 2: double-byte runs as RFC 2047 B words folded to the width.
enum HeaderMode : std::int32_t { kHeaderPlain = 0, kHeaderPlainAlias = 1, kHeaderEncodedWords = 2 };

// `line` is one Shift_JIS header line with its CR LF.
std::string EncodeHeaderLine(std::string_view line, std::int32_t mode, std::int32_t width);

// A caller's header value with every CR, LF or NUL folded away, so it can never start a header line.
std::string SingleLineValue(std::string_view value);

}  // namespace outlark
