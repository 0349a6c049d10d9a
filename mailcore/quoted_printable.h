#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mailcore/bytes.h"

namespace mailcore {

// Decodes the first `length` characters of `text` (never past its end). "=" followed by any two characters
// gives one byte from HexDigitValue of each, except "=" CR LF (soft line break) and "=1B$B", which opens a
// run of JIS X 0208 pairs converted to Shift_JIS (one "?" for a code CP932 lacks) up to "=1B(B" or the
// end. An "=" as the last character is a soft line break whose line end was cut off and gives nothing; "="
// and one last character stay as they are. The text ends at the first decoded zero byte, as all host-side
// text does.
std::string QpDecodeText(std::string_view text, size_t length);
// The decoded bytes up to the first zero byte.
Bytes QpDecodeBytes(std::string_view text, size_t length);

}  // namespace mailcore
