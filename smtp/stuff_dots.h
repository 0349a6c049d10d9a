#pragma once

#include <string>
#include <string_view>

namespace outlark {

// The message text as SMTP data: every line break becomes CR LF (a bare CR or LF could otherwise end the
// data early at a server that accepts them), and every line that starts with "." gets a second one, except
// the closing line "." that ends `text`.
std::string StuffDots(std::string_view text);

}  // namespace outlark

namespace outlark {

// What a server stores of a composed text sent as SMTP data: line ends as StuffDots makes them, without
// the closing "." line and without the dots StuffDots adds.
std::string AsTransmitted(std::string_view composed);

// A message as a caller holds it (no closing line), made ready for StuffDots: a line end after the last
// line, then the closing ".".
std::string WithClosingLine(std::string_view message);

}  // namespace outlark
