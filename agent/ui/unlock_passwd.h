#pragma once
// The unlock-password prompt: one masked box and OK, no cancel. It always compares with the settings'
// UnlockPassword; a caller that wants another password puts it there for the prompt and restores it.

#include <QDialog>

class QLabel;
class QLineEdit;

namespace mirelo {

struct AgentSettings;

class UnlockPasswd : public QDialog {
  public:
    UnlockPasswd(AgentSettings& settings, QWidget* owner);

    // `lblLabels` element 1; the settings dialog asks for the server password with it.
    void SetPrompt(const QString& text);

  private:
    void Confirm();

    AgentSettings& settings_;
    QLabel* prompt_;
    QLineEdit* password_;
};

// Clears UnlockConfirmed, shows the prompt modally and topmost, owned by `owner`; returns UnlockConfirmed.
bool AskUnlockPassword(AgentSettings& settings, QWidget* owner, const QString& prompt = {});

}  // namespace mirelo
