// mirelo: the agent program. Without options it opens its main window; --wait and --check-now run without
// windows.

#include <QApplication>
#include <QCoreApplication>
#include <iostream>
#include <optional>

#include "agent/app/agent_modes.h"
#include "agent/app/app_options.h"
#include "agent/app/console_view.h"
#include "agent/app/startup_settings.h"
#include "agent/app/stop_signals.h"
#include "agent/config/program_folder.h"
#include "agent/engine/library_components.h"
#include "agent/ui/windowed_agent.h"

namespace {

int Fail(const QString& message) {
    std::cerr << "mirelo: " << message.toStdString() << std::endl;
    return 2;
}

// Qt would abort without a word a user understands when there is nowhere to show a window.
bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(name)) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace mirelo;
    AppOptions options;
    if (const auto exitStatus = ParseAppOptions(argc, argv, options)) return *exitStatus;
    if (options.mode == AppMode::Windows) {
        if (!HasDisplay())
            return Fail(
                QStringLiteral("no display to open the windows on (DISPLAY and WAYLAND_DISPLAY are unset); "
                               "use --wait or --check-now (see --help)"));
        QApplication app(argc, argv);
        const ProgramFolder folder = FindProgramFolder(argc, argv);
        if (!folder.error.isEmpty()) return Fail(folder.error);
        return RunWindowedAgent(app, folder.folder);
    }

    // Before QCoreApplication, so that every thread Qt starts inherits the blocked signals.
    std::optional<StopSignals> stop;
    if (options.mode == AppMode::Wait) stop.emplace();
    QCoreApplication app(argc, argv);

    const ProgramFolder folder = FindProgramFolder(argc, argv);
    if (!folder.error.isEmpty()) return Fail(folder.error);
    AgentSettings settings;
    const StartupSettings startup = LoadStartupSettings(folder.folder, settings);
    if (!startup.problem.isEmpty()) return Fail(startup.problem);

    const AgentLog log(folder.folder, settings);
    for (const SettingCorrection& correction : startup.corrections) log.WriteLog(correction.LogText());

    const auto pop3 = MakeLibraryPop3();
    const auto smtp = MakeLibrarySmtp();
    ConsoleView view(std::cout);
    AgentEngine engine({settings, folder.folder, log, *pop3, *smtp, view});
    engine.Load();
    engine.Activate();
    if (options.mode == AppMode::CheckNow) return RunCheckNow(engine);
    return RunWaitingMode(engine, std::chrono::seconds(options.intervalSeconds), *stop);
}
