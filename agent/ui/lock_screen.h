#pragma once
// `LockScreen`: a black, borderless, full-screen, topmost window that covers the desktop while the agent
// waits, shows a blinking text and holds the `Working` window. A privacy curtain, not a security boundary:
// it keeps passers-by from reading the screen, but task switching and system keys still reach the desktop.

#include <QWidget>

class QLabel;
class QTimer;

namespace mirelo {

class LockScreen : public QWidget {
  public:
    explicit LockScreen(const QString& telop);

    // Shows the lock over the whole screen, topmost.
    void Start();
    // `working` becomes a child of the lock, centred, and stays usable.
    void Hold(QWidget* working);
    // `working` becomes a top-level window again (hidden); the lock can then go.
    void Release(QWidget* working);

    // What `Timer1` does every 500 ms: the text turns black when it was green, and green again.
    void Blink();
    [[nodiscard]] bool BlinkOn() const { return blinkOn_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void SetTelopColour(const QColor& colour);
    void Centre(QWidget* child);

    QLabel* telop1_;
    QTimer* timer1_;
    QWidget* held_ = nullptr;
    Qt::WindowFlags heldFlags_;  // the held window's own, given back at release
    bool blinkOn_ = false;
};

}  // namespace mirelo
