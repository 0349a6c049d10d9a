#pragma once
// `Working`: the window of waiting mode. It shows what the engine reports (status, counters, the phone's
// address), counts the minutes with `Timer1` and hands each minute to the engine, which runs on a thread of
// its own so the window stays responsive during a check. Ticks never overlap: `Timer1` waits while one
// runs. Leaving waiting mode while a check runs is put off until the check ends.

#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>

#include "agent/engine/engine_view.h"
#include "agent/ui/engine_components.h"

class QLabel;
class QPushButton;
class QTimer;

namespace mirelo {

class AgentLog;
class EngineHost;
struct AgentSettings;
enum class TickOutcome;

class Working : public QWidget, public EngineView {
  public:
    struct Parts {
        AgentSettings& settings;
        QString programFolder;
        const AgentLog& log;
        ComponentsFactory components;  // empty: the library components
        std::chrono::milliseconds tickInterval = std::chrono::minutes(1);
    };
    // Loads waiting mode: the engine clears its state and sets up the components; `Timer1` starts.
    explicit Working(Parts parts);
    ~Working() override;

    // EngineView, on the window's thread.
    void ShowStatus(const StatusLine& status) override;
    void ShowCounters(const QString& line) override;
    void ShowUser(const QString& title, const QString& phoneAddress) override;

    // Called when the window unloads (waiting mode has ended); the owner ends the lock and shows the main
    // window again. The window must not be destroyed from inside this call.
    void SetOnUnload(std::function<void()> onUnload) { onUnload_ = std::move(onUnload); }
    // The default beep is QApplication::beep; the default quit (the phone's quit command) QApplication::quit.
    void SetBeeper(std::function<void()> beep) { beep_ = std::move(beep); }
    void SetQuitter(std::function<void()> quit) { quit_ = std::move(quit); }

    // What `Timer1` does each minute.
    void TickNow();
    [[nodiscard]] bool CheckRunning() const { return checkRunning_; }
    // Waits until the engine's thread has done everything asked of it so far and shows the results.
    void FinishPendingWork();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void TickDone(TickOutcome outcome);
    void Stop();

    AgentSettings& settings_;
    const AgentLog& log_;
    QLabel* lblUser_;
    QLabel* lblStatus1_;
    QLabel* lblStatus2_;
    QPushButton* stopButton_;
    QTimer* timer1_;
    std::function<void()> onUnload_;
    std::function<void()> beep_;
    std::function<void()> quit_;
    bool checkRunning_ = false;
    bool closePending_ = false;   // leaving was asked for during a check
    bool stopConfirmed_ = false;  // the stop button's password prompt was answered rightly
    bool activated_ = false;
    bool unloaded_ = false;
    std::unique_ptr<EngineHost> host_;  // last: its thread calls back into the members above
};

}  // namespace mirelo
