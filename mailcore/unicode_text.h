#pragma once
// UTF-8 and UTF-16 without loss, for the texts read by today's standards.

#include <string>
#include <string_view>

namespace mailcore {

// Malformed UTF-8 becomes U+FFFD, one per bad byte.
std::u16string Utf8ToUtf16(std::string_view text);
// A lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
bool IsValidUtf8(std::string_view text);

}  // namespace mailcore
