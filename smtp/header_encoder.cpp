#include "smtp/header_encoder.h"

#include <algorithm>
#include <vector>

#include "mailcore/base64_encode.h"
#include "mailcore/jis_sjis.h"
#include "smtp/composed_message.h"
#include "smtp/rfc5322_quote.h"
#include "smtp/utf8_text.h"

namespace outlark {
namespace {

constexpr size_t kMaxLine = 998;  // RFC 5322, without the CR LF
constexpr size_t kMaxWord = 75;   // RFC 2047
constexpr std::string_view kJisPrefix = "=?ISO-2022-JP?B?";
constexpr std::string_view kUtf8Prefix = "=?UTF-8?B?";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Bytes of the Shift_JIS character at the start of `text`; a half-width kana keeps its sound mark, which
// the conversion may join to it.
size_t SjisCharLength(std::string_view text) {
    const auto c = static_cast<unsigned char>(text[0]);
    if (text.size() < 2) return 1;
    const auto next = static_cast<unsigned char>(text[1]);
    if (IsLead(c)) return 2;
    if (c >= 0xA1 && c <= 0xDF && (next == 0xDE || next == 0xDF)) return 2;
    return 1;
}

constexpr std::string_view kUtf8QPrefix = "=?UTF-8?Q?";

// Letters and digits stand for themselves in a Q word anywhere (a phrase allows little more).
bool IsQLiteral(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string QWord(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string word(kUtf8QPrefix);
    for (char c : utf8) {
        if (IsQLiteral(c)) {
            word.push_back(c);
        } else {
            const auto u = static_cast<unsigned char>(c);
            word += '=';
            word += kHex[u >> 4];
            word += kHex[u & 15];
        }
    }
    word += "?=";
    return word;
}

// The bytes of the longest run of whole UTF-8 characters whose Q word fits `max_length`.
size_t TakeQ(std::string_view utf8, size_t max_length) {
    size_t length = kUtf8QPrefix.size() + 2;
    size_t n = 0;
    while (n < utf8.size()) {
        const size_t next = n + Utf8CharLength(utf8, n);
        size_t grown = length;
        for (size_t i = n; i < next; ++i) grown += IsQLiteral(utf8[i]) ? 1 : 3;
        if (grown > max_length) break;
        length = grown;
        n = next;
    }
    return n;
}

bool HasHighByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

struct Token {
    std::string_view sep;  // the blanks in front of the word
    std::string_view word;
};

// Words with the blanks in front of each; blanks at the very start or end of `text` become part of the first
// or last word (a reader would drop them as separators).
std::vector<Token> SplitWords(std::string_view text) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < text.size()) {
        size_t word_start = i;
        while (word_start < text.size() && IsBlank(text[word_start])) ++word_start;
        size_t word_end = word_start;
        while (word_end < text.size() && !IsBlank(text[word_end])) ++word_end;
        if (tokens.empty()) {
            tokens.push_back({{}, text.substr(0, word_end)});
        } else if (word_start == text.size()) {
            Token& last = tokens.back();
            last.word = std::string_view(last.word.data(),
                                         static_cast<size_t>(text.data() + text.size() - last.word.data()));
        } else {
            tokens.push_back(
                {text.substr(i, word_start - i), text.substr(word_start, word_end - word_start)});
        }
        i = word_end;
    }
    return tokens;
}

}  // namespace

HeaderField::HeaderField(std::int32_t mode, std::int32_t width, std::int32_t charset)
    : utf8_(charset == kCharsetUtf8),
      encode_japanese_(mode == kHeaderEncodedWords || utf8_),
      limit_(encode_japanese_ && width > 0 ? std::min<size_t>(static_cast<size_t>(width), kMaxLine)
                                           : kMaxLine) {}

// A word never ends inside a character: a Shift_JIS pair, a kana with its sound mark, a UTF-8 sequence.
size_t HeaderField::CharLength(std::string_view text) const {
    return utf8_ ? Utf8CharLength(text, 0) : SjisCharLength(text);
}

std::string HeaderField::Converted(std::string_view text) const {
    return utf8_ ? std::string(text) : mailcore::SjisToJis(text);
}

size_t HeaderField::EncodedLength(size_t converted_size) const {
    return (utf8_ ? kUtf8Prefix : kJisPrefix).size() + 2 + (converted_size + 2) / 3 * 4;
}

void HeaderField::Fold() {
    out_ += "\r\n";
    column_ = 0;
    line_has_text_ = false;
}

void HeaderField::Put(std::string_view sep, std::string_view text) {
    if (!sep.empty() && line_has_text_ && column_ + sep.size() + text.size() > limit_) Fold();
    // The field name alone is no text to fold after: a reader would keep the fold's blank as text.
    line_has_text_ = !out_.empty();
    out_ += sep;
    out_ += text;
    column_ += sep.size() + text.size();
}

void HeaderField::PutEncoded(std::string_view sep, std::string_view sjis, size_t single_word_limit) {
    // Adjacent encoded words: the blank between them is no text, so each following word may fold.
    bool first = true;
    while (!sjis.empty()) {
        const std::string_view word_sep = first ? sep : std::string_view(" ");
        auto room = [&] {
            const size_t used = column_ + word_sep.size();
            return std::min(kMaxWord, used < limit_ ? limit_ - used : 0);
        };
        // The longest run of whole characters whose word fits `max_length`. A word that is not the last
        // ends without base64 padding where it can: GMime joins the base64 of neighbouring words before
        // decoding and stops at a padding "=".
        auto take = [&](size_t max_length) {
            size_t n = 0;
            size_t unpadded = 0;
            while (n < sjis.size()) {
                const size_t next = n + CharLength(sjis.substr(n));
                const size_t jis_size = Converted(sjis.substr(0, next)).size();
                if (EncodedLength(jis_size) > std::max(max_length, single_word_limit)) break;
                n = next;
                if (jis_size % 3 == 0) unpadded = n;
            }
            return n < sjis.size() ? unpadded : n;
        };
        size_t n = take(room());
        if (n == 0 && line_has_text_ && !word_sep.empty()) {
            Fold();
            n = take(room());
        }
        std::string word;
        if (n == 0 && utf8_) {
            // No B word of whole 3-byte groups fits (UTF-8 mixes 1- to 4-byte characters): a Q word has
            // no padding to trip over.
            n = TakeQ(sjis, room());
            if (n == 0) n = CharLength(sjis);
            word = QWord(sjis.substr(0, n));
        } else {
            if (n == 0) n = std::max(take(kMaxWord), CharLength(sjis));
            if (n == 0) n = CharLength(sjis);
            word = utf8_ ? kUtf8Prefix : kJisPrefix;
            word += mailcore::Base64Encode(Converted(sjis.substr(0, n)));
            word += "?=";
        }
        out_ += word_sep;
        out_ += word;
        column_ += word_sep.size() + word.size();
        line_has_text_ = true;
        sjis.remove_prefix(n);
        first = false;
    }
}

void HeaderField::Raw(std::string_view ascii, bool glued) {
    bool first = true;
    for (const Token& token : SplitWords(ascii)) {
        Put(first ? (glued ? std::string_view() : pending_sep_) : token.sep, token.word);
        first = false;
    }
    pending_sep_ = " ";
}

void HeaderField::Text(std::string_view sjis) {
    const std::vector<Token> tokens = SplitWords(sjis);
    auto must_encode = [&](const Token& token) {
        const std::string_view w = token.word;
        return (encode_japanese_ && HasHighByte(w)) || w.find("=?") != std::string_view::npos ||
               IsBlank(w.front()) || IsBlank(w.back());
    };
    for (size_t i = 0; i < tokens.size();) {
        const std::string_view sep = i == 0 ? pending_sep_ : tokens[i].sep;
        if (!must_encode(tokens[i])) {
            std::string jis = Converted(tokens[i].word);
            if (jis.size() + 1 > kMaxLine) {
                PutEncoded(sep, tokens[i].word);
            } else {
                Put(sep, jis);
            }
            ++i;
            continue;
        }
        // Neighbouring words to encode become one run, the blanks between them inside it.
        size_t j = i + 1;
        while (j < tokens.size() && must_encode(tokens[j])) ++j;
        const char* begin = tokens[i].word.data();
        const char* end = tokens[j - 1].word.data() + tokens[j - 1].word.size();
        PutEncoded(sep, std::string_view(begin, static_cast<size_t>(end - begin)));
        i = j;
    }
    pending_sep_ = " ";
}

void HeaderField::DisplayName(std::string_view sjis) {
    const std::vector<Token> words = SplitWords(sjis);
    const bool must_encode = (encode_japanese_ && HasHighByte(sjis)) ||
                             sjis.find("=?") != std::string_view::npos ||
                             std::any_of(words.begin(), words.end(),
                                         [](const Token& t) { return t.word.size() * 5 + 3 > kMaxLine; });
    if (must_encode) {
        // Python's email puts a blank between neighbouring encoded words of a phrase, so a name goes in one
        // word, longer than RFC 2047's 75 characters if need be, while the line allows it.
        if (line_has_text_ &&
            column_ + pending_sep_.size() + EncodedLength(Converted(sjis).size()) > limit_) {
            Fold();
        }
        PutEncoded(pending_sep_, sjis, kMaxLine - 1);
    } else {
        // A quoted-string may fold at its blanks like any other text.
        const std::string quoted = QuotedString(Converted(sjis));
        bool first = true;
        size_t i = 0;
        while (i < quoted.size()) {
            size_t word_start = i;
            while (word_start < quoted.size() && IsBlank(quoted[word_start])) ++word_start;
            size_t word_end = word_start;
            while (word_end < quoted.size() && !IsBlank(quoted[word_end])) ++word_end;
            const std::string_view sep =
                first ? std::string_view(pending_sep_) : std::string_view(quoted).substr(i, word_start - i);
            Put(sep, std::string_view(quoted).substr(word_start, word_end - word_start));
            first = false;
            i = word_end;
        }
    }
    pending_sep_ = " ";
}

void HeaderField::NewLine() {
    Fold();
    pending_sep_ = "\t";
}

std::string HeaderField::Finish() && {
    out_ += "\r\n";
    return std::move(out_);
}

std::string EncodeHeaderLine(std::string_view line, std::int32_t mode, std::int32_t width,
                             std::int32_t charset) {
    if (line.ends_with("\r\n")) line.remove_suffix(2);
    HeaderField field(mode, width, charset);
    const size_t colon = line.find(':');
    const bool named =
        colon != std::string_view::npos && colon > 0 &&
        std::none_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon),
                     [](char c) { return IsBlank(c) || static_cast<unsigned char>(c) >= 0x80; });
    if (!named) {
        field.Text(line);
        return std::move(field).Finish();
    }
    std::string_view value = line.substr(colon + 1);
    if (value.starts_with(' ')) value.remove_prefix(1);  // the usual separator, not text
    if (value.empty()) return std::string(line.substr(0, colon + 1)) + " \r\n";
    field.Raw(line.substr(0, colon + 1));
    field.Text(value);
    return std::move(field).Finish();
}

std::string SingleLineValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size();) {
        char c = value[i];
        if (c != '\r' && c != '\n' && c != '\0') {
            out.push_back(c);
            ++i;
            continue;
        }
        while (i < value.size() && (value[i] == '\r' || value[i] == '\n' || value[i] == '\0')) ++i;
        // The break becomes one space unless blank space already separates the two sides.
        bool blank_before = out.empty() || out.back() == ' ' || out.back() == '\t';
        bool blank_after = i == value.size() || value[i] == ' ' || value[i] == '\t';
        if (!blank_before && !blank_after) out.push_back(' ');
    }
    return out;
}

}  // namespace outlark
