#pragma once
// Small pieces every engine test program needs: readable QString failures and a per-user store of its own.

#include <QString>
#include <QTemporaryDir>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace mirelo::testing_support {

// The per-user store (the interlock between copies) goes to a temporary folder. Called before the process
// first uses the store, which fixes its path from then on.
inline void UseTemporaryConfigHome() {
    static QTemporaryDir home;
    static const bool set = qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    (void)set;
}

}  // namespace mirelo::testing_support
