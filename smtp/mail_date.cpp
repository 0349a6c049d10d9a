#include "smtp/mail_date.h"

#include <cstdio>
#include <cstdlib>

namespace outlark {

std::string FormatMailDate(std::time_t now) {
    static constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    localtime_r(&now, &local);
    long offset_minutes = local.tm_gmtoff / 60;
    char sign = offset_minutes < 0 ? '-' : '+';
    offset_minutes = std::labs(offset_minutes);
    char text[96];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kWeekdays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12],
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, sign, offset_minutes / 60,
                  offset_minutes % 60);
    return text;
}

std::string FormatMailDate() { return FormatMailDate(std::time(nullptr)); }

}  // namespace outlark
