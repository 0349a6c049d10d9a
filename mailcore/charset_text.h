#pragma once
// Text in any charset iconv knows, to UTF-8, by the names mail really carries.

#include <optional>
#include <string>
#include <string_view>

namespace mailcore {

// The name iconv is asked for: case-blind, RFC 2231 language ("utf-8*ja") dropped, the usual aliases
// widened to the superset mail programs actually write (Shift_JIS and its spellings to CP932, EUC-JP to
// EUC-JP-MS, GB2312 and GBK to GB18030, ISO-8859-1 and US-ASCII to Windows-1252, ...). Upper case.
std::string CanonicalCharset(std::string_view name);

// `bytes` in `charset` as UTF-8; undecodable bytes become U+FFFD. Nothing when iconv does not know the
// charset. ISO-2022-JP is read with the CP932 extensions (NEC and IBM rows) and half-width katakana.
std::optional<std::string> CharsetToUtf8(std::string_view bytes, std::string_view charset);

// Text whose charset is not declared (or not known): ISO-2022-JP when it holds a JIS escape, UTF-8 when it
// is valid UTF-8, else CP932, the charset Japanese mail without a label is most often in.
std::string GuessToUtf8(std::string_view bytes);

// Declared charset when iconv knows it, else the guess.
std::string TextToUtf8(std::string_view bytes, std::string_view charset);

}  // namespace mailcore
