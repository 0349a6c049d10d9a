#pragma once
// For the window tests: one offscreen QApplication and a per-user store in a temporary folder.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

namespace mirelo::testing_support {

inline QApplication& TestApp() {
    static QTemporaryDir configHome;
    static int argc = 1;
    static char name[] = "mirelo_ui_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
        return new QApplication(argc, argv);
    }();
    return *app;
}

}  // namespace mirelo::testing_support
