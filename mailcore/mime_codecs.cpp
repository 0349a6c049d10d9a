#include "mailcore/mime_codecs.h"

#include <array>
#include <cstdint>

namespace mailcore {
namespace {

constexpr std::uint8_t kSkip = 0xFF;

constexpr std::array<std::uint8_t, 256> Base64Values() {
    std::array<std::uint8_t, 256> v{};
    for (auto& x : v) x = kSkip;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::uint8_t i = 0; i < 64; ++i) v[static_cast<std::uint8_t>(alphabet[i])] = i;
    return v;
}
constexpr std::array<std::uint8_t, 256> kBase64 = Base64Values();

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Writes the decoded bytes at `out` (room for text.size() / 4 * 3 + 3) and gives their count.
std::size_t Base64DecodeTo(std::string_view text, std::uint8_t* out) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto* const end = p + text.size();
    std::uint8_t* o = out;
    std::uint32_t bits = 0;
    int count = 0;
    while (p < end) {
        // Whole groups of four alphabet characters: the common case, a line of 76 of them.
        while (count == 0 && end - p >= 4) {
            const std::uint8_t a = kBase64[p[0]], b = kBase64[p[1]], c = kBase64[p[2]], d = kBase64[p[3]];
            if ((a | b | c | d) & 0x80) break;
            const std::uint32_t v =
                std::uint32_t{a} << 18 | std::uint32_t{b} << 12 | std::uint32_t{c} << 6 | d;
            o[0] = static_cast<std::uint8_t>(v >> 16);
            o[1] = static_cast<std::uint8_t>(v >> 8);
            o[2] = static_cast<std::uint8_t>(v);
            o += 3;
            p += 4;
        }
        if (p == end) break;
        const std::uint8_t ch = *p++;
        if (ch == '=') break;
        const std::uint8_t v = kBase64[ch];
        if (v == kSkip) continue;
        bits = bits << 6 | v;
        if (++count == 4) {
            o[0] = static_cast<std::uint8_t>(bits >> 16);
            o[1] = static_cast<std::uint8_t>(bits >> 8);
            o[2] = static_cast<std::uint8_t>(bits);
            o += 3;
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) {
        *o++ = static_cast<std::uint8_t>(bits >> 4);
    } else if (count == 3) {
        *o++ = static_cast<std::uint8_t>(bits >> 10);
        *o++ = static_cast<std::uint8_t>(bits >> 2);
    }
    return static_cast<std::size_t>(o - out);
}

}  // namespace

std::string Base64DecodeStandard(std::string_view text) {
    std::string out(text.size() / 4 * 3 + 3, '\0');
    out.resize(Base64DecodeTo(text, reinterpret_cast<std::uint8_t*>(out.data())));
    return out;
}

Bytes Base64DecodeStandardBytes(std::string_view text) {
    Bytes out(text.size() / 4 * 3 + 3);
    out.resize(Base64DecodeTo(text, out.data()));
    return out;
}

std::string QpDecodeStandard(std::string_view text, bool q_word) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_' && q_word) {
            out += ' ';
            continue;
        }
        if (c != '=') {
            out += c;
            continue;
        }
        // Soft line break: "=", optional blanks, then the line end (or the text's end).
        std::size_t j = i + 1;
        while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
        if (j == text.size()) {
            i = j;
            continue;
        }
        if (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') {
            i = j + 1;
            continue;
        }
        if (text[j] == '\n') {
            i = j;
            continue;
        }
        const int hi = i + 1 < text.size() ? Hex(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? Hex(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
            out += c;
            continue;
        }
        out += static_cast<char>(hi << 4 | lo);
        i += 2;
    }
    return out;
}

}  // namespace mailcore
