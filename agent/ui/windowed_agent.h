#pragma once
// The program with its windows: the settings are loaded, the main window shows, and the event loop runs
// until the main window closes or the phone's quit command arrives.

#include <QString>

class QApplication;

namespace mirelo {

// `programFolder` holds "Mirelo.ini" and the agent log. Returns the event loop's exit code.
int RunWindowedAgent(QApplication& app, const QString& programFolder);

}  // namespace mirelo
