#pragma once
// `MainW`: the window the program starts with. Its load reads the settings and runs the first-run wizard
// when they are incomplete; its four buttons enter waiting mode, open the settings dialog, open the help
// and end the program. Waiting mode hides it and opens `Working` (inside the lock window when `ScreenLock`
// is on); when `Working` unloads, the lock ends and this window shows again.

#include <QWidget>
#include <array>
#include <chrono>
#include <functional>
#include <memory>

#include "agent/ui/engine_components.h"

class QLabel;
class QPushButton;

namespace mirelo {

class AgentLog;
class LockScreen;
class Working;
struct AgentSettings;

// The settings dialog and the wizard, opened modally and owned by the given window.
struct MainWindowDialogs {
    std::function<void(QWidget* owner)> openSettings;
    std::function<void(QWidget* owner)> runWizard;
};

// The settings fields waiting mode cannot do without.
[[nodiscard]] bool SettingsComplete(const AgentSettings& settings);

class MainW : public QWidget {
  public:
    struct Parts {
        AgentSettings& settings;  // loaded by Load
        QString programFolder;
        const AgentLog& log;
        MainWindowDialogs dialogs;
        ComponentsFactory components = {};  // for the Working window; empty: the library components
        std::chrono::milliseconds tickInterval = std::chrono::minutes(1);
    };
    explicit MainW(Parts parts);
    ~MainW() override;

    // Loads the settings, runs the wizard when they are incomplete, and sets the captions. Before show().
    void Load();
    // "Mirelo - " and the phone's address.
    void SetCaption();
    // Closing the main window ends the program; the default is QApplication::quit.
    void SetQuitter(std::function<void()> quit) { quit_ = std::move(quit); }

    // The button handlers.
    void EnterWaitingMode();
    void OpenSettings();
    void OpenHelp();

    // The waiting mode's windows while it runs; null otherwise.
    [[nodiscard]] Working* WorkingWindow() const { return working_.get(); }
    [[nodiscard]] LockScreen* Lock() const { return lock_.get(); }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void EndWaitingMode();

    AgentSettings& settings_;
    QString programFolder_;
    const AgentLog& log_;
    MainWindowDialogs dialogs_;
    ComponentsFactory components_;
    std::chrono::milliseconds tickInterval_;
    std::function<void()> quit_;
    QLabel* verLabel_;
    std::array<QPushButton*, 4> command1_{};
    // The lock before the window it may hold, so the window goes first.
    std::unique_ptr<LockScreen> lock_;
    std::unique_ptr<Working> working_;
    std::unique_ptr<Working> retired_;  // unloaded; destroyed once its close has returned
};

}  // namespace mirelo
