#include "mailcore/header_text.h"

#include <cstdint>
#include <optional>

#include "mailcore/charset_text.h"
#include "mailcore/mime_codecs.h"

namespace mailcore {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

struct EncodedWord {
    std::string charset;  // canonical
    std::string bytes;    // decoded, not yet converted
    std::size_t end = 0;  // just after "?="
};

// The encoded word starting at `pos` ("=?"), or nothing when the text there is not one.
// Longest charset name and encoded text looked at: far beyond what mail programs write, and a bound on the
// work a header full of unclosed "=?" can cause.
constexpr std::size_t kMaxCharset = 64;
constexpr std::size_t kMaxEncoded = 4096;

std::optional<EncodedWord> ReadWord(std::string_view t, std::size_t pos) {
    const std::size_t q1_at = t.substr(pos + 2, kMaxCharset).find('?');
    const std::size_t q1 = q1_at == std::string_view::npos ? q1_at : pos + 2 + q1_at;
    if (q1 == std::string_view::npos || q1 == pos + 2 || q1 + 3 > t.size() || t[q1 + 2] != '?')
        return std::nullopt;
    const std::string_view charset = t.substr(pos + 2, q1 - pos - 2);
    for (char c : charset) {
        if (IsBlank(c) || c == '=' || c == '"') return std::nullopt;
    }
    const char encoding = t[q1 + 1];
    if (encoding != 'B' && encoding != 'b' && encoding != 'Q' && encoding != 'q') return std::nullopt;
    const std::size_t text_start = q1 + 3;
    const std::size_t close_at = t.substr(text_start, kMaxEncoded).find("?=");
    if (close_at == std::string_view::npos) return std::nullopt;
    const std::size_t close = text_start + close_at;
    const std::string_view encoded = t.substr(text_start, close - text_start);
    EncodedWord w;
    w.charset = CanonicalCharset(charset);
    w.bytes = (encoding == 'B' || encoding == 'b') ? Base64DecodeStandard(encoded)
                                                   : QpDecodeStandard(encoded, true);
    w.end = close + 2;
    return w;
}

std::string LiteralToUtf8(std::string_view text) {
    for (char c : text) {
        if (static_cast<std::uint8_t>(c) >= 0x80 || c == 0x1B) return GuessToUtf8(text);
    }
    return std::string(text);
}

}  // namespace

std::string UnfoldHeader(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r' || c == '\n') {
            std::size_t next = i + 1;
            if (c == '\r' && next < value.size() && value[next] == '\n') ++next;
            if (next >= value.size() || !IsBlank(value[next])) break;
            i = next - 1;
            continue;
        }
        out += c;
    }
    return out;
}

std::string DecodeHeaderUtf8(std::string_view value) {
    const std::string unfolded = UnfoldHeader(value);
    const std::string_view t = unfolded;
    std::string out;
    out.reserve(t.size());
    std::string pending_bytes;  // decoded words of one charset waiting for conversion
    std::string pending_charset;
    auto flush = [&] {
        if (pending_bytes.empty()) return;
        out += TextToUtf8(pending_bytes, pending_charset);
        pending_bytes.clear();
    };
    std::size_t literal_start = 0;
    bool after_word = false;
    std::size_t pos = t.find("=?");
    while (pos != std::string_view::npos) {
        std::optional<EncodedWord> w = ReadWord(t, pos);
        if (!w) {
            pos = t.find("=?", pos + 1);
            continue;
        }
        const std::string_view between = t.substr(literal_start, pos - literal_start);
        const bool only_blanks = between.find_first_not_of(" \t") == std::string_view::npos;
        if (!(after_word && only_blanks)) {
            flush();
            out += LiteralToUtf8(between);
        }
        if (w->charset != pending_charset) flush();
        pending_charset = w->charset;
        pending_bytes += w->bytes;
        after_word = true;
        literal_start = w->end;
        pos = t.find("=?", literal_start);
    }
    flush();
    out += LiteralToUtf8(t.substr(literal_start));
    return out;
}

}  // namespace mailcore
