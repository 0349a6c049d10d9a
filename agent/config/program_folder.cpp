#include "agent/config/program_folder.h"

#include <QDir>
#include <QFileInfo>

namespace mirelo {
namespace {

const QString kHomeOption = QStringLiteral("--home");

ProgramFolder Folder(const QString& path) {
    const QFileInfo info(path);
    if (!info.isDir()) return {{}, QStringLiteral("--home: not a folder: %1").arg(path)};
    return {QDir::cleanPath(info.absoluteFilePath()), {}};
}

}  // namespace

ProgramFolder FindProgramFolder(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == kHomeOption) {
            if (i + 1 >= arguments.size()) return {{}, QStringLiteral("--home needs a folder")};
            return Folder(arguments[i + 1]);
        }
        if (arg.startsWith(kHomeOption + u'=')) return Folder(arg.mid(kHomeOption.size() + 1));
    }
    // The running executable, wherever it was started from.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    const QString target = self.symLinkTarget();
    if (target.isEmpty()) return {{}, QStringLiteral("cannot find the program's own folder")};
    return {QFileInfo(target).absolutePath(), {}};
}

ProgramFolder FindProgramFolder(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(QString::fromLocal8Bit(argv[i]));
    return FindProgramFolder(arguments);
}

}  // namespace mirelo
