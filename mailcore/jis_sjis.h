#pragma once
// ISO-2022-JP (7-bit JIS) <-> Shift_JIS, the host-side character set of the components.

#include <cstdint>
#include <string>
#include <string_view>

namespace mailcore {

enum CharsetCode : int { CharsetShiftJis = 0, CharsetIso2022Jp = 1 };

// from 0, to 1: SjisToJis; from 1, to 0: JisToSjis; any other pair gives empty text.
std::string ConvertCharset(std::string_view text, int to, int from);

// A broken escape sequence or an odd byte in a double-byte run (one byte before an ESC or the end) gives
// empty text. ESC "$" and ESC "(" take one more byte, whatever it is. A double-byte code becomes its
// Shift_JIS pair (JisPairToSjis), or one "?" when CP932 has no character for it (Cp932HoldsJis): the
// carriers' emoji rows, unassigned cells, bytes outside 0x21..0x7E. After ESC "(I" the bytes 0x21..0x5F
// are JIS X 0201 katakana and become the Shift_JIS half-width bytes 0xA1..0xDF; after any other ESC "("
// final byte single bytes are copied. Zero bytes are copied like any other byte.
std::string JisToSjis(std::string_view text);

// Half-width katakana are folded to full-width, with a following sound mark joined where it fits.
// Double-byte codes: the plain arithmetic inverse of JisPairToSjis for lead bytes 0x81..0x9F and
// 0xE0..0xEF and trail bytes 0x40..0xFC other than 0x7F. So NEC row 13 (0x87xx) lands in JIS row 0x2D and
// the NEC-selected IBM rows (0xED, 0xEE) in rows 0x79..0x7C, where the CP932 flavour of ISO-2022-JP puts
// them too. The IBM extension rows (0xFA40..0xFC4B) first become their NEC-selected (or row 2 / row 13)
// twins, as CP932 maps them. A code with no JIS form (user-defined area 0xF0..0xF9, 0xFC4C and above, a
// lead without a valid trail), a lone lead byte at the end, a NUL and any other byte above 0x7F each
// become one "?"; the output never holds a NUL byte.
std::string SjisToJis(std::string_view text);

struct CodePair {
    std::uint8_t first;
    std::uint8_t second;
};

// The JIS X 0208 to Shift_JIS arithmetic for one code, each byte masked to 7 bits first.
constexpr CodePair JisPairToSjis(std::uint8_t j1, std::uint8_t j2) {
    const int row = j1 & 0x7F;
    const int cell = j2 & 0x7F;
    int lead = ((row - 0x21) >> 1) + 0x81;
    if (lead > 0x9F) lead += 0x40;
    int trail;
    if (row & 1) {
        trail = cell + 0x1F;
        if (trail >= 0x7F) ++trail;
    } else {
        trail = cell + 0x7E;
    }
    return {static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
}

// Whether CP932, the host's Shift_JIS, has a character for the JIS X 0208 code (each byte masked to 7 bits
// first). It holds JIS X 0208 with NEC row 13 (0x2D) and the NEC-selected IBM rows (0x79..0x7C).
bool Cp932HoldsJis(std::uint8_t j1, std::uint8_t j2);

// The JIS code of one Shift_JIS pair, as SjisToJis converts it: {0, 0} when there is none (SjisToJis then
// writes "?").
CodePair SjisPairToJis(std::uint8_t lead, std::uint8_t trail);

}  // namespace mailcore
