#pragma once
// Small helpers over CR LF text used by the parser.

#include <cstddef>
#include <string_view>

namespace inlark {

constexpr std::size_t kNoPos = std::string_view::npos;

// Index of the CR LF that ends the line at `pos`, or kNoPos.
inline std::size_t FindCrLf(std::string_view text, std::size_t pos) { return text.find("\r\n", pos); }

// Start of the line after the one at `pos` (the text's size when there is none).
inline std::size_t NextLine(std::string_view text, std::size_t pos) {
    std::size_t e = FindCrLf(text, pos);
    return e == kNoPos ? text.size() : e + 2;
}

inline bool StartsWith(std::string_view text, std::size_t pos, std::string_view prefix) {
    return text.size() - pos >= prefix.size() && text.compare(pos, prefix.size(), prefix) == 0;
}

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive (ASCII) prefix test; `prefix` is lower case.
inline bool StartsWithLower(std::string_view text, std::size_t pos, std::string_view prefix) {
    if (text.size() - pos < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(text[pos + i]) != prefix[i]) return false;
    }
    return true;
}

// Where the end line "." starts; the whole text when the end line is missing.
inline std::size_t BodyLimit(std::string_view t, std::size_t body_start) {
    if (t.size() >= body_start + 3 && t.ends_with(".\r\n") &&
        (t.size() - 3 == body_start || (t.size() >= 5 && t.substr(t.size() - 5, 2) == "\r\n"))) {
        return t.size() - 3;
    }
    return t.size();
}

}  // namespace inlark
