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

}  // namespace

std::string Base64DecodeStandard(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        const std::uint8_t v = kBase64[static_cast<std::uint8_t>(c)];
        if (v == kSkip) continue;
        bits = bits << 6 | v;
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8 & 0xFF);
            out += static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) {
        out += static_cast<char>(bits >> 4);
    } else if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2 & 0xFF);
    }
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
