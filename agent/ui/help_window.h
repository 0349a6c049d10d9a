#pragma once
// The help: docs/help/mirelo-help.html, shown in a window of the program ("HelpWindow", a QTextBrowser).
// The file is looked for, in this order, in "help" beside the executable, in the installed data folder
// (share/mirelo/help, relative to bin/) and in the source tree of the build.

#include <QString>
#include <QUrl>

class QWidget;

namespace mirelo {

// The file's path, or the empty text when none of the places holds it.
[[nodiscard]] QString HelpFilePath();

// The topic of a keyword the settings dialog asks for ("環境設定－基本動作設定", ...); the whole file for
// the empty keyword. A keyword that names no topic opens the file at its top.
[[nodiscard]] QUrl HelpUrl(const QString& keyword = {});

// Opens the help window at the keyword's topic. With a parent the window belongs to it (so it stays usable
// beside a modal dialog) and an open one is reused.
void ShowHelp(QWidget* parent, const QString& keyword = {});

}  // namespace mirelo
