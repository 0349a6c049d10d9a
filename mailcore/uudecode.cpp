#include "mailcore/uudecode.h"

#include <algorithm>
#include <cstring>

namespace mailcore {
namespace {

constexpr unsigned Sixbits(char c) { return (static_cast<unsigned char>(c) - 32u) & 0x3F; }

}  // namespace

std::optional<Bytes> UuDecode(std::string_view text, size_t length) {
    text = text.substr(0, std::min(length, text.size()));
    // Three bytes come from four characters, so the text's size bounds the output.
    Bytes out(text.size() + 2);
    std::uint8_t* o = out.data();
    const char* p = text.data();
    const char* const end = p + text.size();

    while (p < end) {
        // A line ends at LF (CR LF on the wire; a bare LF is taken too, for files stored with it).
        const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p));
        const char* line_end = lf ? static_cast<const char*>(lf) : end;
        const char* next = lf ? line_end + 1 : end;
        if (line_end > p && line_end[-1] == '\r' && lf) --line_end;

        size_t wanted = Sixbits(*p++);
        if (wanted == 0) return std::nullopt;
        // Only characters on the line give bytes: a short line yields what it holds.
        while (wanted > 0 && p < line_end) {
            char group[4] = {' ', ' ', ' ', ' '};
            const size_t have = std::min<size_t>(4, static_cast<size_t>(line_end - p));
            std::memcpy(group, p, have);
            p += have;
            const unsigned bits = Sixbits(group[0]) << 18 | Sixbits(group[1]) << 12 | Sixbits(group[2]) << 6 |
                                  Sixbits(group[3]);
            const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(bits >> 16),
                                           static_cast<std::uint8_t>(bits >> 8),
                                           static_cast<std::uint8_t>(bits)};
            const size_t take = std::min({wanted, have - 1, size_t{3}});
            std::memcpy(o, bytes, take);
            o += take;
            wanted -= take;
        }
        p = next;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

}  // namespace mailcore
