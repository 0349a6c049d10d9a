#pragma once
// Text for the phone: each line tidied (quote mark, blanks, blank lines), then cut into numbered parts
// that fit the phone's limits. Lengths are UTF-16 code units; a line break is CR LF and counts two.

#include <QString>
#include <QStringList>

namespace mirelo {

struct ShapingRules {
    QStringList quoteMarks;  // tried in order; the first at the start of a line is kept apart
    bool trimLine = true;
    bool removeBlankLine = true;
};

// The marks of a "QuoteTop" setting: split at ";", empty marks dropped.
[[nodiscard]] QStringList QuoteMarks(const QString& quoteTop);

// Shapes every line that ends with CR LF; the text after the last CR LF is kept as it is.
[[nodiscard]] QString ShapeReplyText(const QString& text, const ShapingRules& rules);

struct SplitLimits {
    int maxChars = 250;  // per part; a part may end one over with its last CR LF
    int maxLines = 20;   // per part
    int maxParts = 10;   // what does not fit in these is dropped
    bool removeBlankLine = true;
};

// The parts of a text longer than one mail; an empty part ends the list.
[[nodiscard]] QStringList SplitReplyText(const QString& text, const SplitLimits& limits);

// "%s" becomes the reply's Subject first, then "%n" the part number, also inside that Subject.
[[nodiscard]] QString PartSubject(const QString& pattern, const QString& subject, int part);

}  // namespace mirelo
