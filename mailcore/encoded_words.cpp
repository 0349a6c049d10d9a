#include "mailcore/encoded_words.h"

#include <array>

#include "mailcore/base64.h"
#include "mailcore/jis_sjis.h"

namespace mailcore {
namespace {

// Only these spellings are decoded; other charsets and the Q encoding stay as they are.
constexpr std::array<std::string_view, 6> kPrefixes = {
    "=?ISO-2022-JP?B?", "=?iso-2022-jp?B?", "=?iso-2022-jp?b?",
    "=?SHIFT-JIS?B?",   "=?shift-jis?B?",   "=?shift-jis?b?",
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The header value up to its end: a CR LF followed by a blank is dropped with all the blanks after it;
// any other CR LF ends the value.
std::string UnfoldValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size();) {
        if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
            if (i + 2 >= value.size() || !IsBlank(value[i + 2])) break;
            i += 2;
            while (i < value.size() && IsBlank(value[i])) ++i;
            continue;
        }
        out.push_back(value[i++]);
    }
    return out;
}

size_t PrefixAt(std::string_view text) {
    for (std::string_view prefix : kPrefixes) {
        if (text.starts_with(prefix)) return prefix.size();
    }
    return 0;
}

// The encoded text of a word: up to the next "?" on the same line, which must be followed by "=".
// npos when the word is not closed.
size_t EncodedLength(std::string_view rest) {
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '?') return i + 1 < rest.size() && rest[i + 1] == '=' ? i : std::string_view::npos;
        if (rest[i] == '\r' || rest[i] == '\n') break;
    }
    return std::string_view::npos;
}

std::string DecodeWord(std::string_view encoded) {
    // Padding is added so that unpadded words decode too. The length must be a multiple of 3 covering every
    // group; l - l mod 3 + 3 alone misses the last group when l mod 12 is 2.
    const size_t l = encoded.size();
    size_t length = l - l % 3 + 3;
    if (length / 4 * 4 < l && l % 4 >= 2) length += 3;
    std::string padded(encoded);
    padded += "===";
    return Base64DecodeText(padded, length);
}

}  // namespace

std::optional<std::string> DecodeEncodedWords(std::string_view value) {
    const std::string unfolded = UnfoldValue(value);
    std::string_view text = unfolded;
    if (text.find('=') == std::string_view::npos) return std::nullopt;

    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (size_t eq = text.find('='); eq != std::string_view::npos; eq = text.find('=', pos)) {
        out.append(text, pos, eq - pos);
        const size_t prefix = PrefixAt(text.substr(eq));
        const size_t encoded = prefix ? EncodedLength(text.substr(eq + prefix)) : std::string_view::npos;
        if (encoded == std::string_view::npos) {
            out.push_back('=');
            pos = eq + 1;
            continue;
        }
        out += DecodeWord(text.substr(eq + prefix, encoded));
        pos = eq + prefix + encoded + 2;
    }
    out.append(text, pos);
    return out;
}

std::string DecodeHeaderText(std::string_view value, bool raw, bool unfold) {
    std::optional<std::string> decoded;
    if (!raw) decoded = DecodeEncodedWords(value);
    std::string_view text = decoded ? std::string_view(*decoded) : value;

    if (!unfold) return JisToSjis(text);
    // Here each CR LF goes with at most one following blank; a CR LF before anything else goes alone.
    std::string joined;
    joined.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            i += 2;
            if (i < text.size() && IsBlank(text[i])) ++i;
            continue;
        }
        joined.push_back(text[i++]);
    }
    return JisToSjis(joined);
}

}  // namespace mailcore
