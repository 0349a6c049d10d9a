#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace outlark {

// 0 (and 1): plain ISO-2022-JP; 2: Japanese text as RFC 2047 B words folded to the width.
enum HeaderMode : std::int32_t { kHeaderPlain = 0, kHeaderPlainAlias = 1, kHeaderEncodedWords = 2 };

// One header field built piece by piece from Shift_JIS text (UTF-8 with kCharsetUtf8: then every word
// holding non-ASCII text becomes UTF-8 B words, whatever the mode). Whatever the pieces, the result reads
// back (RFC 2047 / 5322 readers) as exactly the text given, blanks and TABs included, and no line exceeds 998
// octets: lines are folded only in front of existing blanks or between two encoded words.
class HeaderField {
  public:
    HeaderField(std::int32_t mode, std::int32_t width, std::int32_t charset = 0);

    // Bytes written as they are (a field name, an address in angle brackets, a comma); folded only at
    // their own blanks.
    void Raw(std::string_view ascii, bool glued = false);
    // Unstructured text (Subject, extra header values). A word is encoded when it holds Japanese (in mode
    // 2), looks like an encoded word, or is too long for any line; blanks at the ends go inside a word.
    void Text(std::string_view sjis);
    // A display name: encoded words outside quotes when it must be encoded, else a quoted-string.
    void DisplayName(std::string_view sjis);
    // Ends the physical line; the next piece starts a continuation line with its own leading blank.
    void NewLine();
    // The field with its final CR LF.
    std::string Finish() &&;

  private:
    void Put(std::string_view sep, std::string_view text);
    // Words of up to 75 characters, or of up to `single_word_limit` when that is larger.
    void PutEncoded(std::string_view sep, std::string_view sjis, size_t single_word_limit = 0);
    void Fold();
    size_t CharLength(std::string_view text) const;
    std::string Converted(std::string_view text) const;
    size_t EncodedLength(size_t converted_size) const;

    bool utf8_;
    bool encode_japanese_;
    size_t limit_;
    std::string out_;
    std::string pending_sep_;  // in front of the next piece: none, a blank, or the TAB of a new line
    size_t column_ = 0;
    bool line_has_text_ = false;
};

// `line` is one Shift_JIS (or, with kCharsetUtf8, UTF-8) header line "Name: value" with its CR LF; the
// value is unstructured text.
std::string EncodeHeaderLine(std::string_view line, std::int32_t mode, std::int32_t width,
                             std::int32_t charset = 0);

// A caller's header value with every CR, LF or NUL folded away, so it can never start a header line.
std::string SingleLineValue(std::string_view value);

}  // namespace outlark
