#include "agent/app/agent_modes.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <optional>

#include "agent/app/stop_signals.h"

namespace mirelo {

int RunWaitingMode(AgentEngine& engine, std::chrono::milliseconds interval, StopSignals& stop) {
    bool quitCommand = false;
    QTimer timer;
    timer.setInterval(interval);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        // Stopped while the check runs, so a slow server never piles ticks up behind it.
        timer.stop();
        if (engine.Tick() == TickOutcome::QuitCommand) {
            quitCommand = true;
            QCoreApplication::exit(0);
            return;
        }
        timer.start();
    });

    std::optional<QSocketNotifier> notifier;
    if (stop.Fd() >= 0) {
        notifier.emplace(stop.Fd(), QSocketNotifier::Read);
        QObject::connect(&*notifier, &QSocketNotifier::activated, [&] {
            stop.Drain();
            QCoreApplication::exit(0);
        });
    }

    timer.start();
    QCoreApplication::exec();
    // The engine has cleared the interlock and logged the quit; the phone asked for nothing more.
    if (!quitCommand) engine.Unload();
    return 0;
}

int RunCheckNow(AgentEngine& engine) {
    const TickOutcome outcome = engine.CheckNow();
    if (outcome == TickOutcome::QuitCommand) return 0;
    // A short waiting mode, so the log shows its usual pair of lines around the check.
    engine.Unload();
    return outcome == TickOutcome::Checked ? 0 : 1;
}

}  // namespace mirelo
