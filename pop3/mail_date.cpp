#include "pop3/mail_date.h"

#include <array>
#include <cstdint>

namespace inlark {
namespace {

constexpr auto npos = std::string_view::npos;

// The decimal number at `pos` (digits only; none gives 0), capped so it fits 16 bits.
std::int32_t NumberAt(std::string_view s, std::size_t pos, int* digits = nullptr) {
    std::int32_t n = 0;
    int count = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        if (n < 100000) n = n * 10 + (s[pos] - '0');
        ++pos;
        ++count;
    }
    if (digits) *digits = count;
    return n;
}

// Position just after the n-th occurrence of `c` (n from 1), or npos.
std::size_t After(std::string_view s, char c, int n) {
    std::size_t pos = 0;
    for (int i = 0; i < n; ++i) {
        pos = s.find(c, pos);
        if (pos == npos) return npos;
        ++pos;
    }
    return pos;
}

std::int32_t NumberAfter(std::string_view s, char c, int n, int* digits = nullptr) {
    std::size_t pos = After(s, c, n);
    if (pos == npos) {
        if (digits) *digits = 0;
        return 0;
    }
    return NumberAt(s, pos, digits);
}

std::int16_t MonthAfter(std::string_view s, int n) {
    static constexpr std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                            "jul", "aug", "sep", "oct", "nov", "dec"};
    std::size_t pos = After(s, ' ', n);
    if (pos == npos || pos + 3 > s.size()) return 0;
    char m[3];
    for (int i = 0; i < 3; ++i) {
        char c = s[pos + i];
        m[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (std::string_view(m, 3) == kMonths[i]) return static_cast<std::int16_t>(i + 1);
    }
    return 0;
}

std::int32_t FullYear(std::int32_t year, int digits) {
    if (digits <= 2) return year < 50 ? year + 2000 : year + 1900;
    if (digits == 3) return year + 1900;
    return year;
}

bool IsLeap(std::int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::int32_t DaysInMonth(std::int32_t y, std::int32_t m) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 (civil calendar, proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

MailDate ReadMailDate(std::string_view s) {
    MailDate d;
    if (s.empty()) return d;
    const bool weekday_first = !(s[0] >= '0' && s[0] <= '9');
    const int shift = weekday_first ? 1 : 0;
    int year_digits = 0;
    std::int32_t year = NumberAfter(s, ' ', 2 + shift, &year_digits);
    d.day = static_cast<std::int16_t>(weekday_first ? NumberAfter(s, ' ', 1) : NumberAt(s, 0));
    d.month = MonthAfter(s, 1 + shift);
    d.year = static_cast<std::int16_t>(year_digits == 0 ? 0 : FullYear(year, year_digits));
    d.hour = static_cast<std::int16_t>(NumberAfter(s, ' ', 3 + shift));
    d.minute = static_cast<std::int16_t>(NumberAfter(s, ':', 1));
    d.second = static_cast<std::int16_t>(NumberAfter(s, ':', 2));
    return d;
}

double AutomationDate(const MailDate& d) {
    if (d.year < 100 || d.year > 9999 || d.month < 1 || d.month > 12) return 0;
    if (d.day < 1 || d.day > DaysInMonth(d.year, d.month)) return 0;
    if (d.hour < 0 || d.hour > 23 || d.minute < 0 || d.minute > 59 || d.second < 0 || d.second > 59) return 0;
    // 1899-12-30 is day 0; before it the time still counts away from zero.
    const std::int64_t days =
        DaysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day)) -
        DaysFromCivil(1899, 12, 30);
    const double fraction = (d.hour * 3600.0 + d.minute * 60.0 + d.second) / 86400.0;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

}  // namespace inlark
