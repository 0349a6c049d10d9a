#pragma once
// The program folder: where "Mirelo.ini" and the agent log live. It is the folder of the executable,
// or the folder given by `--home DIR` (tests, several copies, installs whose binary folder is read-only).

#include <QString>
#include <QStringList>

namespace mirelo {

struct ProgramFolder {
    QString folder;  // absolute, without a trailing "/"; empty on error
    QString error;   // why no folder could be found
};

// `arguments` as the program got them, the program's own name first. Accepts "--home DIR" and
// "--home=DIR"; the folder must exist.
[[nodiscard]] ProgramFolder FindProgramFolder(const QStringList& arguments);
[[nodiscard]] ProgramFolder FindProgramFolder(int argc, const char* const* argv);

}  // namespace mirelo
