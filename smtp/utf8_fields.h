#pragma once
// UTF-8 texts of the lossless API into the component's Shift_JIS (CP932), one "?" per character it cannot
// hold, counted per field so the caller can be told.

#include <string>
#include <string_view>
#include <vector>

#include "outlark/composer.h"

namespace outlark {

struct Cp932Text {
    std::string text;
    size_t replaced = 0;  // characters written as "?"
};

// A malformed UTF-8 byte counts as one character of its own.
Cp932Text Utf8ToCp932PerCharacter(std::string_view utf8);

// Converts field by field, noting each field that lost characters. With `keep_utf8` the texts stay UTF-8 and
// only malformed bytes are replaced (by U+FFFD).
class FieldConverter {
  public:
    explicit FieldConverter(bool keep_utf8 = false) : keep_utf8_(keep_utf8) {}
    std::string operator()(std::string_view utf8, std::string_view field);
    std::vector<TextWarning> TakeWarnings() { return std::move(warnings_); }

  private:
    bool keep_utf8_;
    std::vector<TextWarning> warnings_;
};

}  // namespace outlark
