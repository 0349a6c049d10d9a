#pragma once

#include <string>
#include <string_view>

namespace outlark {

// `text` as an RFC 5322 quoted-string: in double quotes, with every `"` and `\` byte escaped by a `\`.
// Works on the bytes as they go on the wire (ASCII or ISO-2022-JP), which is how readers unquote them.
std::string QuotedString(std::string_view text);

}  // namespace outlark
