#pragma once
// Header values: unfolding and RFC 2047 encoded words (B encoding, ISO-2022-JP and Shift_JIS only).

#include <optional>
#include <string>
#include <string_view>

namespace mailcore {

// Nothing when the value holds no "=" at all; the caller then uses the value unchanged. The value ends at a
// CR LF that is not followed by a blank; folding (CR LF and all blanks after it) is dropped, so folded
// adjacent words join, while blanks between words on one line stay. Words are decoded only with the
// prefixes "=?ISO-2022-JP?B?", "=?iso-2022-jp?B?", "=?iso-2022-jp?b?", "=?SHIFT-JIS?B?", "=?shift-jis?B?",
// "=?shift-jis?b?" and a closing "?=" on the same line; anything else stays as written. The decoded bytes
// are not converted (the caller joins adjacent words first), and each word ends at a decoded zero byte.
std::optional<std::string> DecodeEncodedWords(std::string_view value);

// The header value as Shift_JIS text: encoded words decoded unless `raw`, then, when `unfold`, each CR LF
// dropped with at most one blank after it, then JisToSjis.
std::string DecodeHeaderText(std::string_view value, bool raw, bool unfold);

}  // namespace mailcore
