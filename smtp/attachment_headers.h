#pragma once
// The header lines of one attachment part: plain ASCII names quoted, other names as ISO-2022-JP encoded words
// (what Japanese mail programs read) plus an RFC 2231 UTF-8 filename*, every line short enough to travel.

#include <string>
#include <string_view>

namespace outlark {

// `value` as an RFC 5322 quoted string: the quotes around it, and a backslash before each `"` and `\`.
std::string QuotedParameterValue(std::string_view value);

// The Content-Type, Content-Transfer-Encoding, Content-Description and Content-Disposition lines, each ending
// in CR LF, for a file named `file_name` with the shell type name `type_name` (both Shift_JIS; both UTF-8
// with `utf8`, and then every encoded word is UTF-8).
std::string AttachmentPartHeaders(std::string_view file_name, std::string_view type_name, bool utf8 = false);

}  // namespace outlark
