#include "mailcore/uudecode.h"

#include <algorithm>
#include <cstring>

namespace mailcore {
namespace {

constexpr unsigned Sixbits(char c) { return (static_cast<unsigned char>(c) - 32u) & 0x3F; }

}  // namespace

std::optional<Bytes> UuDecode(std::string_view text, size_t length) {
    text = text.substr(0, std::min(length, text.size()));
    Bytes out;
    // Whole lines give three bytes for four characters; a cut line may give more than it holds.
    out.reserve(text.size() / 4 * 3 + 64);
    const char* p = text.data();
    const char* const end = p + text.size();

    while (p < end) {
        // A line ends at LF (CR LF on the wire; a bare LF is taken too, for files stored with it).
        const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p));
        const char* line_end = lf ? static_cast<const char*>(lf) : end;
        const char* const next = lf ? line_end + 1 : end;
        if (line_end > p && line_end[-1] == '\r') --line_end;
        if (p == line_end) {
            p = next;  // an empty line has no count and gives nothing
            continue;
        }

        const size_t wanted = Sixbits(*p++);
        if (wanted == 0) return std::nullopt;
        // The count decides, not the characters: mail often loses the blanks (zero bits) at a line's end,
        // and the zeros resize fills in stand for them.
        const size_t start = out.size();
        out.resize(start + wanted);
        std::uint8_t* o = out.data() + start;
        size_t left = wanted;
        while (left > 0 && p < line_end) {
            char group[4] = {' ', ' ', ' ', ' '};
            const size_t have = std::min<size_t>(4, static_cast<size_t>(line_end - p));
            std::memcpy(group, p, have);
            p += have;
            const unsigned bits = Sixbits(group[0]) << 18 | Sixbits(group[1]) << 12 | Sixbits(group[2]) << 6 |
                                  Sixbits(group[3]);
            const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(bits >> 16),
                                           static_cast<std::uint8_t>(bits >> 8),
                                           static_cast<std::uint8_t>(bits)};
            const size_t take = std::min<size_t>(left, 3);
            std::memcpy(o, bytes, take);
            o += take;
            left -= take;
        }
        p = next;
    }
    return out;
}

}  // namespace mailcore
