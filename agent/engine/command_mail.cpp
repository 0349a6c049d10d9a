#include "agent/engine/command_mail.h"

#include "agent/engine/number_list.h"

namespace mirelo {
namespace {

const QString kLineBreak = QStringLiteral("\r\n");

// The text before the first line break, or all of it.
QString CutAtLineBreak(const QString& text) {
    const qsizetype brk = text.indexOf(kLineBreak);
    return brk < 0 ? text : text.left(brk);
}

// A word and what follows the first space, trimmed; the whole text without a space.
std::optional<CommandText> SplitAtSpace(const QString& text) {
    const qsizetype space = text.indexOf(u' ');
    if (space < 0) return std::nullopt;
    return CommandText{text.left(space), TrimSpaces(text.mid(space + 1))};
}

}  // namespace

bool IsValidAddress(const QString& address) {
    const qsizetype at = address.indexOf(u'@');
    return at > 0 && address.indexOf(u'@', at + 1) < 0 && !address.contains(u',');
}

QString SizeFromListReply(const QString& reply) {
    const qsizetype space = reply.lastIndexOf(u' ');
    if (space < 0) return QStringLiteral("???");
    return CutAtLineBreak(reply.mid(space + 1));
}

HeaderText ForceTextContentType(const QString& topText) {
    static const QString kField = QStringLiteral("Content-Type:");
    HeaderText result{topText, false};
    const qsizetype p = topText.indexOf(kField);
    if (p < 0) return result;
    const qsizetype e = topText.indexOf(kLineBreak, p);
    if (e < 0) return result;
    const QString type = TrimSpaces(topText.mid(p + kField.size(), 10)).toLower().left(4);
    result.nonText = type != u"text";
    result.text = topText.left(p) + QStringLiteral("Content-Type: text/plain; charset=iso-2022-jp") +
                  kLineBreak + topText.mid(e + 2);
    return result;
}

CommandText CommandFromBody(const QString& body) {
    if (auto split = SplitAtSpace(body)) return *split;
    const qsizetype brk = body.indexOf(kLineBreak);
    if (brk < 0) return {body, QString()};
    return {body.left(brk), body.mid(brk)};
}

CommandText CommandFromSubject(const QString& subject, const QString& body) {
    if (auto split = SplitAtSpace(subject)) return {split->word, split->arguments + kLineBreak + body};
    return {subject, kLineBreak + body};
}

QString FirstLine(const QString& arguments) { return CutAtLineBreak(arguments); }

std::optional<QString> AddressLine(const QString& arguments) {
    const qsizetype brk = arguments.indexOf(kLineBreak);
    if (brk < 0) return std::nullopt;
    return TrimSpaces(CutAtLineBreak(arguments.mid(brk + 2)));
}

QString ListLine(std::int16_t number, const QString& subject, const QString& size, const QString& sender,
                 bool nonText) {
    return (nonText ? QStringLiteral("@") : QString()) + QString::number(number) + u' ' + subject + u'[' +
           size + QStringLiteral("] ") + sender;
}

}  // namespace mirelo
