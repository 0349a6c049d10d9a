#include "agent/engine/number_list.h"

#include <QStringList>
#include <algorithm>
#include <limits>
#include <optional>

namespace mirelo {
namespace {

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A decimal number with an optional fraction, rounded half to even; nothing when it is not one or does
// not fit 16 bits.
std::optional<int> ParseNumber(const QString& item) {
    const QString text = TrimSpaces(item);
    const qsizetype point = text.indexOf(u'.');
    const QString whole = point < 0 ? text : text.left(point);
    const QString fraction = point < 0 ? QString() : text.mid(point + 1);
    if (whole.isEmpty() && fraction.isEmpty()) return std::nullopt;
    if (!std::all_of(whole.begin(), whole.end(), IsDigit) ||
        !std::all_of(fraction.begin(), fraction.end(), IsDigit))
        return std::nullopt;

    constexpr int kMax = std::numeric_limits<std::int16_t>::max();
    int value = 0;
    for (QChar c : whole) {
        value = value * 10 + (c.unicode() - u'0');
        if (value > kMax + 1) return std::nullopt;
    }
    if (!fraction.isEmpty()) {
        const int first = fraction[0].unicode() - u'0';
        const bool beyondHalf = first > 5 || (first == 5 && std::any_of(fraction.begin() + 1, fraction.end(),
                                                                        [](QChar c) { return c != u'0'; }));
        if (beyondHalf || (first == 5 && value % 2 == 1)) ++value;
    }
    if (value > kMax) return std::nullopt;
    return value;
}

}  // namespace

QString TrimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ') ++begin;
    while (end > begin && text[end - 1] == u' ') --end;
    return text.mid(begin, end - begin);
}

std::vector<std::int16_t> NumberList(const QString& numbers, std::int16_t lastNumber) {
    std::vector<std::int16_t> chosen;
    for (const QString& rawItem : numbers.split(u',')) {
        const QString item = TrimSpaces(rawItem);
        const qsizetype dash = item.indexOf(u'-');
        std::optional<int> first;
        std::optional<int> last;
        if (dash < 0) {
            first = last = ParseNumber(item);
        } else {
            first = ParseNumber(item.left(dash));
            last = ParseNumber(item.mid(dash + 1));
        }
        if (!first || !last) continue;
        const int end = std::min<int>(*last, lastNumber);
        for (int n = std::max(*first, 1); n <= end; ++n) chosen.push_back(static_cast<std::int16_t>(n));
    }
    return chosen;
}

}  // namespace mirelo
