#pragma once
// ISO-2022-JP (7-bit JIS) <-> Shift_JIS, the host-side character set of the components.

#include <string>
#include <string_view>

namespace mailcore {

enum CharsetCode : int { CharsetShiftJis = 0, CharsetIso2022Jp = 1 };

// from 0, to 1: SjisToJis; from 1, to 0: JisToSjis; any other pair gives empty text.
std::string ConvertCharset(std::string_view text, int to, int from);

// A broken escape sequence or an odd byte in a double-byte run gives empty text.
std::string JisToSjis(std::string_view text);

// Half-width katakana are folded to full-width, with a following sound mark joined where it fits.
std::string SjisToJis(std::string_view text);

}  // namespace mailcore
