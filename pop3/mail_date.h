#pragma once

#include <string_view>

#include "pop3/message_record.h"

namespace inlark {

// Reads "Mon, 7 Dec 2026 11:54:18 +0900" or "7 Dec 2026 11:54:18 +0900": the sender's local time as
// written, the zone ignored. Two-digit years follow RFC 5322 (00..49 -> 20xx, 50..99 -> 19xx), three-digit
// years add 1900.
MailDate ReadMailDate(std::string_view date_text);

// Days since 30 December 1899 with the time as a fraction; 0 when the numbers are not a valid date.
double AutomationDate(const MailDate& date);

}  // namespace inlark
