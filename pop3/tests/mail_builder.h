#pragma once
// Test-side encoders for building messages: written apart from the decoders they exercise.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace inlark::testing {

// Lines joined with CR LF, then the end line ".".
inline std::string Message(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (auto l : lines) {
        out += l;
        out += "\r\n";
    }
    out += ".\r\n";
    return out;
}

inline std::string Base64(std::string_view in, std::size_t line_length = 76) {
    static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t col = 0;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        std::uint32_t v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
        if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
        out += a[(v >> 18) & 63];
        out += a[(v >> 12) & 63];
        out += i + 1 < in.size() ? a[(v >> 6) & 63] : '=';
        out += i + 2 < in.size() ? a[v & 63] : '=';
        col += 4;
        if (line_length && col >= line_length && i + 3 < in.size()) {
            out += "\r\n";
            col = 0;
        }
    }
    return out;
}

// Standard uuencode lines (45 bytes a line, "`" for zero), without the begin and end lines.
inline std::string UuLines(std::string_view in) {
    auto enc = [](unsigned v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
    std::string out;
    for (std::size_t i = 0; i < in.size(); i += 45) {
        std::size_t n = std::min<std::size_t>(45, in.size() - i);
        out += enc(static_cast<unsigned>(n));
        for (std::size_t k = 0; k < n; k += 3) {
            unsigned char b[3] = {0, 0, 0};
            for (std::size_t m = 0; m < 3 && k + m < n; ++m) b[m] = static_cast<unsigned char>(in[i + k + m]);
            out += enc(b[0] >> 2);
            out += enc(((b[0] << 4) | (b[1] >> 4)) & 63);
            out += enc(((b[1] << 2) | (b[2] >> 6)) & 63);
            out += enc(b[2] & 63);
        }
        out += "\r\n";
    }
    out += "`\r\n";
    return out;
}

// Quoted-printable for binary-safe test data (every byte outside printable ASCII encoded).
inline std::string QuotedPrintable(std::string_view in) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    std::size_t col = 0;
    for (unsigned char c : in) {
        std::string piece;
        if (c >= 33 && c <= 126 && c != '=') {
            piece = static_cast<char>(c);
        } else {
            piece = {'=', hex[c >> 4], hex[c & 15]};
        }
        if (col + piece.size() > 72) {
            out += "=\r\n";
            col = 0;
        }
        out += piece;
        col += piece.size();
    }
    return out;
}

}  // namespace inlark::testing
