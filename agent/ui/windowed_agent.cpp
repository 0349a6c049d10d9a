#include "agent/ui/windowed_agent.h"

#include <QApplication>

#include "agent/config/agent_settings.h"
#include "agent/engine/agent_log.h"

namespace mirelo {

int RunWindowedAgent(QApplication& app, const QString& programFolder, MainWindowDialogs dialogs) {
    // The main window decides when the program ends, hidden or not.
    app.setQuitOnLastWindowClosed(false);
    AgentSettings settings;
    const AgentLog log(programFolder, settings);
    MainW mainWindow(MainW::Parts{settings, programFolder, log, std::move(dialogs)});
    mainWindow.Load();
    mainWindow.show();
    return app.exec();
}

}  // namespace mirelo
