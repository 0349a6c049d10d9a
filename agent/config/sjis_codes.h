#pragma once
// Shift_JIS (CP932) character codes as the agent's arithmetic sees them: a single-byte character's code
// is its byte value, a double-byte character's code is its two bytes taken as one signed 16-bit number.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirelo {

constexpr bool IsSjisLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
constexpr bool IsSjisTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// Length in bytes of the character starting at `pos`: 2 for a lead byte that has a byte after it, else 1.
std::size_t SjisCharLength(std::string_view text, std::size_t pos);

// One code per character. A lead byte at the very end stands alone with its byte value.
std::vector<int> SjisCodes(std::string_view text);

// The bytes of a code: one byte for 0..255, else the high and low byte of its 16-bit pattern.
void AppendSjisCode(std::string& out, int code);

}  // namespace mirelo
