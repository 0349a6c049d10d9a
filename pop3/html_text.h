#pragma once
// The readable text of an HTML body, for mail that comes without a plain-text part.

#include <string>
#include <string_view>

namespace inlark {

// `html` is UTF-8. Tags go; block elements (p, div, br, li, tr, headings, ...) end lines; script, style and
// head contents go; entities (named, decimal, hexadecimal) are decoded; runs of white space become one
// blank. Lines end with CR LF.
std::string HtmlToText(std::string_view html);

}  // namespace inlark
