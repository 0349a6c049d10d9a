#include "agent/engine/during_check.h"

#include <QSettings>

namespace mirelo {
namespace {

const QString kKey = QStringLiteral("Mirelo/DuringCheck");

QSettings Store() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                     QStringLiteral("Tarnwick"));
}

}  // namespace

QString ReadDuringCheck() {
    QSettings store = Store();
    store.sync();  // another copy may have written since this process last looked
    return store.value(kKey).toString();
}

void WriteDuringCheck(const QString& programFolder) {
    QSettings store = Store();
    store.setValue(kKey, programFolder);
    store.sync();
}

}  // namespace mirelo
