#pragma once
// Runs the real `mirelo` program for the tests, with its per-user settings in a folder of the test's own.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace mirelo::testing_support {

// Started with XDG_CONFIG_HOME = `configHome` and without a display; standard output and error kept apart.
inline void StartMirelo(QProcess& process, const QStringList& arguments, const QString& configHome) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MIRELO_PROGRAM), arguments);
}

struct Finished {
    int exitCode = -1;  // -1 when it did not end normally in time
    QString out;
    QString err;
};

inline Finished RunMirelo(const QStringList& arguments, const QString& configHome, int timeoutMs = 60000) {
    QProcess process;
    StartMirelo(process, arguments, configHome);
    Finished result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

}  // namespace mirelo::testing_support
