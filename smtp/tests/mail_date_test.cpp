#include "smtp/mail_date.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ostream>
#include <string>

namespace outlark {
namespace {

// 2026-12-05 22:05:09 UTC, i.e. Sunday 6 December 07:05:09 in Japan.
constexpr std::time_t kInstant = 1796508309;
// 2026-07-01 12:00:00 UTC, in summer time where there is one.
constexpr std::time_t kSummer = 1782907200;

class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_.empty()) {
            unsetenv("TZ");
        } else {
            setenv("TZ", old_.c_str(), 1);
        }
        tzset();
    }

  private:
    std::string old_;
};

struct Case {
    const char* name;
    const char* zone;  // POSIX rules, so no zone database is needed
    std::time_t when;
    const char* expected;
};

// Test names carry the row; no byte dump of the row itself.
void PrintTo(const Case& row, std::ostream* os) { *os << row.name; }

class FormatMailDateTest : public testing::TestWithParam<Case> {};

TEST_P(FormatMailDateTest, WritesTheRealOffset) {
    ScopedTimeZone zone(GetParam().zone);
    EXPECT_EQ(FormatMailDate(GetParam().when), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, FormatMailDateTest,
    testing::Values(Case{"Japan", "JST-9", kInstant, "Sun, 6 Dec 2026 07:05:09 +0900"},
                    Case{"Utc", "UTC0", kInstant, "Sat, 5 Dec 2026 22:05:09 +0000"},
                    Case{"WestOfGreenwich", "EST5EDT,M3.2.0,M11.1.0", kInstant,
                         "Sat, 5 Dec 2026 17:05:09 -0500"},
                    Case{"SummerTime", "EST5EDT,M3.2.0,M11.1.0", kSummer, "Wed, 1 Jul 2026 08:00:00 -0400"},
                    Case{"HalfHourEast", "IST-5:30", kInstant, "Sun, 6 Dec 2026 03:35:09 +0530"},
                    Case{"HalfHourWest", "NST3:30", kInstant, "Sat, 5 Dec 2026 18:35:09 -0330"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace outlark
