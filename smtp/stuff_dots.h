#pragma once

#include <string>
#include <string_view>

namespace outlark {

// The message text as SMTP data: every line break becomes CR LF (a bare CR or LF could otherwise end the
// data early at a server that accepts them), and every line that starts with "." gets a second one, except
// the closing line "." that ends `text`.
std::string StuffDots(std::string_view text);

}  // namespace outlark
