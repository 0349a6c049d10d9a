#include "mailcore/quoted_printable.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "mailcore/hex_digit.h"
#include "mailcore/jis_sjis.h"

namespace mailcore {
namespace {

// "=1B$B" and "=1B(B": ESC "$B" and ESC "(B" with the ESC encoded, which wrap a kanji run.
constexpr std::string_view kKanjiIn = "=1B$B";
constexpr std::string_view kKanjiOut = "=1B(B";

// Decodes into `out` (room for text.size() bytes: nothing decodes to more than it reads); returns the count.
size_t Decode(std::string_view text, char* out) {
    const char* p = text.data();
    const char* const end = p + text.size();
    char* o = out;
    while (p < end) {
        const void* eq = std::memchr(p, '=', static_cast<size_t>(end - p));
        const char* stop = eq ? static_cast<const char*>(eq) : end;
        std::memcpy(o, p, static_cast<size_t>(stop - p));
        o += stop - p;
        p = stop;
        if (p == end) break;

        const size_t left = static_cast<size_t>(end - p) - 1;  // characters after the "="
        if (left == 0) {
            ++p;  // a soft line break whose line end was cut off
        } else if (left == 1) {
            *o++ = *p++;  // too short to mean anything: kept as it stands
            *o++ = *p++;
        } else if (p[1] == '3' && p[2] == 'D') {
            *o++ = '=';
            p += 3;
        } else if (p[1] == '2' && p[2] == '0') {
            *o++ = ' ';
            p += 3;
        } else if (p[1] == '\r' && p[2] == '\n') {
            p += 3;
        } else if (std::string_view(p, static_cast<size_t>(end - p)).starts_with(kKanjiIn)) {
            p += kKanjiIn.size();
            while (true) {
                if (std::string_view(p, static_cast<size_t>(end - p)).starts_with(kKanjiOut)) {
                    p += kKanjiOut.size();
                    break;
                }
                if (end - p < 2) {
                    p = end;  // an unclosed run ends with the text, half a pair included
                    break;
                }
                const auto j1 = static_cast<std::uint8_t>(p[0]);
                const auto j2 = static_cast<std::uint8_t>(p[1]);
                p += 2;
                if (!Cp932HoldsJis(j1, j2)) {
                    *o++ = '?';  // as JisToSjis: one "?" per character CP932 lacks
                    continue;
                }
                const CodePair sjis = JisPairToSjis(j1, j2);
                *o++ = static_cast<char>(sjis.first);
                *o++ = static_cast<char>(sjis.second);
            }
        } else {
            *o++ = static_cast<char>(HexDigitValue(p[1]) * 16 + HexDigitValue(p[2]));
            p += 3;
        }
    }
    return static_cast<size_t>(o - out);
}

}  // namespace

std::string QpDecodeText(std::string_view text, size_t length) {
    text = text.substr(0, std::min(length, text.size()));
    std::string out(text.size(), '\0');
    const size_t count = Decode(text, out.data());
    const void* zero = std::memchr(out.data(), 0, count);
    out.resize(zero ? static_cast<size_t>(static_cast<const char*>(zero) - out.data()) : count);
    return out;
}

Bytes QpDecodeBytes(std::string_view text, size_t length) {
    const std::string decoded = QpDecodeText(text, length);
    return Bytes(decoded.begin(), decoded.end());
}

}  // namespace mailcore
