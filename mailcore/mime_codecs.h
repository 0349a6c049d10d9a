#pragma once
// Base64 and quoted-printable as RFC 2045 and RFC 2047 define them, for the reading by today's standards:
// no Shift_JIS special cases, zero bytes kept, characters outside the alphabet skipped.

#include <string>
#include <string_view>

#include "mailcore/bytes.h"

namespace mailcore {

// Characters outside the base64 alphabet (line ends, blanks) are skipped; decoding stops at "=" padding.
// A last incomplete group gives the whole bytes it holds.
std::string Base64DecodeStandard(std::string_view text);
Bytes Base64DecodeStandardBytes(std::string_view text);

// "=XX" gives a byte, "=" at a line end (CR LF or LF, blanks before it allowed) joins the lines, an "=" not
// followed by two hex digits stays as it is. With `q_word` (RFC 2047 Q encoding) "_" is a space.
std::string QpDecodeStandard(std::string_view text, bool q_word);

}  // namespace mailcore
