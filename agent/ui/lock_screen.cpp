#include "agent/ui/lock_screen.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace mirelo {
namespace {

// 240 twips from the left and top edges, 375 twips high, at 96 dots per inch.
constexpr int kTelopMargin = 16;
constexpr int kTelopHeight = 25;

QFont TelopFont() {
    QFont font;
    if (QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP")))
        font.setFamily(QStringLiteral("Noto Sans CJK JP"));
    font.setPointSize(18);
    return font;
}

}  // namespace

LockScreen::LockScreen(const QString& telop)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      telop1_(new QLabel(telop, this)),
      timer1_(new QTimer(this)) {
    setObjectName(QStringLiteral("LockScreen"));
    setWindowTitle(QStringLiteral("LockScreen"));
    // Painted black rather than given a black palette, which the held window would inherit.
    setAttribute(Qt::WA_OpaquePaintEvent);

    telop1_->setObjectName(QStringLiteral("Telop1"));
    telop1_->setFont(TelopFont());
    telop1_->setTextFormat(Qt::PlainText);
    // The text may be taller than 375 twips in a CJK font; its top stays where it was.
    telop1_->setGeometry(kTelopMargin, kTelopMargin, width(),
                         std::max(kTelopHeight, telop1_->fontMetrics().height() + 4));
    SetTelopColour(QColor(0, 255, 0));

    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(500);
    connect(timer1_, &QTimer::timeout, this, &LockScreen::Blink);
    timer1_->start();
}

void LockScreen::Start() { showFullScreen(); }

void LockScreen::Hold(QWidget* working) {
    held_ = working;
    heldFlags_ = working->windowFlags();
    working->setParent(this, Qt::Widget);
    working->adjustSize();
    Centre(working);
    working->show();
    working->raise();
    working->setFocus();
}

void LockScreen::Release(QWidget* working) {
    working->hide();
    working->setParent(nullptr, held_ == working ? heldFlags_ : Qt::Window);
    if (held_ == working) held_ = nullptr;
}

void LockScreen::Blink() {
    SetTelopColour(blinkOn_ ? QColor(0, 0, 0) : QColor(0, 255, 0));
    blinkOn_ = !blinkOn_;
}

void LockScreen::SetTelopColour(const QColor& colour) {
    QPalette palette = telop1_->palette();
    palette.setColor(QPalette::WindowText, colour);
    telop1_->setPalette(palette);
}

void LockScreen::Centre(QWidget* child) {
    child->move((width() - child->width()) / 2, (height() - child->height()) / 2);
}

void LockScreen::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    telop1_->resize(width() - kTelopMargin, telop1_->height());
    if (held_) Centre(held_);
}

void LockScreen::paintEvent(QPaintEvent* event) { QPainter(this).fillRect(event->rect(), Qt::black); }

void LockScreen::closeEvent(QCloseEvent* event) {
    // Only the end of waiting mode takes the lock away.
    event->ignore();
}

}  // namespace mirelo
