#pragma once
// UTF-8 command-line and file texts into the component's Shift_JIS (CP932), one "?" per character it cannot
// hold, with a warning that names the field on standard error.

#include <string>
#include <string_view>

namespace outlark_tool {

struct Cp932Text {
    std::string text;
    size_t replaced = 0;  // characters written as "?"
};

// A malformed UTF-8 byte counts as one character of its own.
Cp932Text Utf8ToCp932PerCharacter(std::string_view utf8);

// The converted text; warns on standard error when `field` lost any character.
std::string FieldToCp932(std::string_view utf8, std::string_view field);

}  // namespace outlark_tool
