#pragma once
// UTF-8 pieces of a mail written in UTF-8: the host's UTF-16 texts converted without loss, bodies in
// CR LF lines and quoted-printable.

#include <string>
#include <string_view>

namespace outlark {

// Bytes of the UTF-8 character at `at`; 1 for a byte that starts no well-formed character.
size_t Utf8CharLength(std::string_view text, size_t at);

// Every character kept; a lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::u16string_view text);

struct Utf8Checked {
    std::string text;
    size_t replaced = 0;  // malformed bytes written as U+FFFD
};
// `text` with each byte that starts no well-formed UTF-8 character replaced by U+FFFD.
Utf8Checked WellFormedUtf8(std::string_view text);

// CR, LF and CR LF all become CR LF.
std::string CrLfLines(std::string_view text);

// RFC 2045 quoted-printable of CR LF text: line ends kept as they are, lines soft-broken to 76 columns
// (never inside an "=XX"), "=" and bytes outside printable ASCII escaped, as is a blank before a line end
// and a "." or "F" starting a line (so dot-stuffing and "From " quoting never touch it).
std::string QuotedPrintableLines(std::string_view crlf_text);

}  // namespace outlark
