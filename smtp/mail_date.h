#pragma once

#include <ctime>
#include <string>

namespace outlark {

// The Date value for `now` in local time, e.g. "Sun, 6 Dec 2026 07:05:09 +0900", with the zone's real offset
// at that moment (daylight saving included).
std::string FormatMailDate(std::time_t now);
std::string FormatMailDate();

}  // namespace outlark
