#pragma once
// Header values: unfolding and RFC 2047 encoded words (B encoding, ISO-2022-JP and Shift_JIS only).

#include <optional>
#include <string>
#include <string_view>

namespace mailcore {

// Nothing when the value holds no "=" at all; the caller then uses the value unchanged.
std::optional<std::string> DecodeEncodedWords(std::string_view value);

// The header value as Shift_JIS text: encoded words decoded unless `raw`, unfolded when `unfold`.
std::string DecodeHeaderText(std::string_view value, bool raw, bool unfold);

}  // namespace mailcore
