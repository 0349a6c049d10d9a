#pragma once

namespace mailcore {

// 0..15 for "0"-"9", "A"-"F", "a"-"f"; any other character gives its own code.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return static_cast<unsigned char>(c);
}

}  // namespace mailcore
