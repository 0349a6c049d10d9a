#pragma once
// The header lines of one MIME part: its file name and transfer encoding.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace inlark {

// Longest file name (raw bytes, before decoding) taken from a part header or a begin line.
constexpr std::size_t kMaxFileNameBytes = 1023;

struct PartHeader {
    std::string file_name;  // decoded to Shift_JIS; empty when the part names no file
    std::optional<int> transfer_encoding;
    std::size_t data_start = 0;  // first line after the empty line that ends the header
};

// Reads the header lines at `pos` up to the empty line. A boundary line met first ends a part that has no
// empty line (its data is then empty). Nothing when neither comes before `limit`.
std::optional<PartHeader> ReadPartHeader(std::string_view text, std::size_t pos, std::size_t limit,
                                         std::string_view dash_boundary);

}  // namespace inlark
