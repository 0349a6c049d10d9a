#pragma once
// The agent log read back by tests: its messages in order, each without the date-time ending its line.

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include "mailcore/wide_text.h"

namespace mirelo::testing_support {

inline QStringList LogMessages(const QString& programFolder) {
    QFile file(QDir(programFolder).filePath(QStringLiteral("Mirelo.log")));
    if (!file.open(QIODevice::ReadOnly)) return {};
    static const QRegularExpression kDateTime(
        QStringLiteral(" \\d{4}/\\d\\d/\\d\\d \\d{1,2}:\\d\\d:\\d\\d$"));
    const QString text = QString::fromStdU16String(mailcore::Cp932ToWide(file.readAll().toStdString()));
    QStringList messages;
    for (QString line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        line.remove(kDateTime);
        messages << line;
    }
    return messages;
}

}  // namespace mirelo::testing_support
