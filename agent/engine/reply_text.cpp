#include "agent/engine/reply_text.h"

#include <algorithm>

#include "agent/engine/number_list.h"

namespace mirelo {
namespace {

const QString kLineBreak = QStringLiteral("\r\n");

}  // namespace

QStringList QuoteMarks(const QString& quoteTop) { return quoteTop.split(u';', Qt::SkipEmptyParts); }

QString ShapeReplyText(const QString& text, const ShapingRules& rules) {
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    for (qsizetype brk; (brk = text.indexOf(kLineBreak, pos)) >= 0; pos = brk + 2) {
        QString line = text.mid(pos, brk - pos);
        QString mark;
        for (const QString& candidate : rules.quoteMarks) {
            if (line.startsWith(candidate)) {
                mark = candidate;
                line.remove(0, candidate.size());
                break;
            }
        }
        if (rules.trimLine) line = TrimSpaces(line);
        if (rules.removeBlankLine && TrimSpaces(line).isEmpty()) continue;
        out += mark + line + kLineBreak;
    }
    out += QStringView(text).mid(pos);
    return out;
}

QStringList SplitReplyText(const QString& text, const SplitLimits& limits) {
    QStringList parts;
    qsizetype pos = 0;
    for (int k = 1; k <= limits.maxParts; ++k) {
        QString part;
        qsizetype used = 0;
        for (int lines = 0; lines < limits.maxLines;) {
            // 1-based position of the line break in what remains, 0 when none: the limits count so.
            const qsizetype brk = text.indexOf(kLineBreak, pos);
            const qsizetype p = brk < 0 ? 0 : brk - pos + 1;
            if (p == 0 || p > limits.maxChars) {
                const qsizetype room = std::min(limits.maxChars - used, text.size() - pos);
                if (room > 0) {
                    part += QStringView(text).mid(pos, room);
                    pos += room;
                }
                break;
            }
            if (p == 1 && limits.removeBlankLine) {
                pos += 2;
                continue;
            }
            if (used + p > limits.maxChars) break;
            part += QStringView(text).mid(pos, p + 1);
            pos += p + 1;
            used += p + 1;
            ++lines;
        }
        if (part.isEmpty()) break;
        parts.append(part);
    }
    return parts;
}

QString PartSubject(const QString& pattern, const QString& subject, int part) {
    QString result = pattern;
    result.replace(QStringLiteral("%s"), subject);
    result.replace(QStringLiteral("%n"), QString::number(part));
    return result;
}

}  // namespace mirelo
