#pragma once
// Key filters for the text boxes of the settings dialog and the wizard. A filter sees each key before
// its box does; a swallowed key never reaches the box. Keys that type nothing (arrows, Delete, Home,
// Enter, Esc, Tab) always pass, so moving the caret and the dialog's own keys keep working.

#include <QObject>
#include <functional>

class QKeyEvent;
class QLineEdit;

namespace mirelo {

enum class KeyRule {
    DigitsOnly,      // the digits 0 to 9 and Backspace; anything else is swallowed with a beep
    NoBlankNoComma,  // the space and the comma are swallowed without a beep
    NoComma,         // the comma is swallowed without a beep
};

enum class KeyVerdict { Accept, Swallow, SwallowWithBeep };

// What `rule` does with a key press of `key` (a Qt::Key) that types `text`.
[[nodiscard]] KeyVerdict JudgeKey(KeyRule rule, int key, const QString& text);

// Installed on one box, owned by it. The beep defaults to QApplication::beep.
class KeyFilter : public QObject {
  public:
    KeyFilter(KeyRule rule, QLineEdit* box);

    void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    KeyRule rule_;
    std::function<void()> beep_;
};

// Puts `rule` on `box`; returns the filter (owned by the box).
KeyFilter* FilterKeys(QLineEdit* box, KeyRule rule);

// Turns the input method off in `box`, so a Japanese IME cannot compose into it.
void InputMethodOff(QLineEdit* box);

}  // namespace mirelo
