#pragma once
// Header values by today's standards: RFC 5322 unfolding and RFC 2047 encoded words in any charset, as UTF-8.

#include <string>
#include <string_view>

namespace mailcore {

// Each line break (CR LF or LF) that a blank follows is removed; the blank stays. A line break followed by
// anything else ends the value.
std::string UnfoldHeader(std::string_view value);

// The unfolded value with its encoded words decoded (B and Q, any charset iconv knows, names case-blind,
// also inside quotes and next to other text, as mail programs write them). White space between two encoded
// words goes; adjacent words of one charset are joined before conversion, so a character split between
// them survives. Raw 8-bit text is read as UTF-8 when it is valid UTF-8, else guessed (Japanese first).
std::string DecodeHeaderUtf8(std::string_view value);

}  // namespace mailcore
