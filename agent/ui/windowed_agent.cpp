#include "agent/ui/windowed_agent.h"

#include <QApplication>

#include "agent/config/agent_settings.h"
#include "agent/engine/agent_log.h"
#include "agent/ui/env_dialog.h"
#include "agent/ui/help_window.h"
#include "agent/ui/main_window.h"
#include "agent/ui/wizard.h"

namespace mirelo {

int RunWindowedAgent(QApplication& app, const QString& programFolder) {
    // The main window decides when the program ends, hidden or not.
    app.setQuitOnLastWindowClosed(false);
    AgentSettings settings;
    const AgentLog log(programFolder, settings);
    MainWindowDialogs dialogs;
    dialogs.openSettings = [&settings, &programFolder, &log](QWidget* owner) {
        // The main window sets its caption again when the dialog returns.
        EnvDialog* dialog = nullptr;
        EnvDialog settingsDialog(
            settings, programFolder, log, [&dialog](const QString& keyword) { ShowHelp(dialog, keyword); },
            [] {}, owner);
        dialog = &settingsDialog;
        settingsDialog.exec();
    };
    dialogs.runWizard = [&settings, &programFolder](QWidget* owner) {
        Wizard wizard(settings, programFolder, owner);
        wizard.exec();
    };
    MainW mainWindow(MainW::Parts{settings, programFolder, log, std::move(dialogs)});
    mainWindow.Load();
    mainWindow.show();
    return app.exec();
}

}  // namespace mirelo
