#pragma once
// The numbers of a body, transfer or delete request: items separated by ",", each a number n or a
// range a-b; anything else chooses nothing.

#include <QString>
#include <cstdint>
#include <vector>

namespace mirelo {

// The mails chosen by `numbers`, in the order asked, each item ascending; a mail may come twice. Every
// item ends at `lastNumber` at most and starts at 1 at least. A number takes fractions to the nearest
// integer, halves to the even one; one beyond 16 bits, or a range ending below its start, chooses nothing.
[[nodiscard]] std::vector<std::int16_t> NumberList(const QString& numbers, std::int16_t lastNumber);

// Removes leading and trailing ASCII spaces only: tabs and ideographic spaces stay.
[[nodiscard]] QString TrimSpaces(const QString& text);

}  // namespace mirelo
