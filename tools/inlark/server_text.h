#pragma once
// Text that came from the server, made safe for a terminal, and the numbers read out of reply lines.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace inlark_tool {

// Every control character (C0 but TAB, DEL, C1) and every byte that is not valid UTF-8 becomes "?", so a
// server cannot move the cursor, retitle the window or ring the bell.
std::string TerminalSafe(std::string_view utf8);

// A multi-line text (CR LF or LF lines) for the terminal: each line safe, ended by LF.
std::string LinesForTerminal(std::string_view utf8);

// The second number of a "+OK n m ..." reply (STAT, LIST n) as 64 bits: sizes above 2 GiB stay whole.
std::optional<std::uint64_t> SecondNumber(std::string_view reply);

}  // namespace inlark_tool
