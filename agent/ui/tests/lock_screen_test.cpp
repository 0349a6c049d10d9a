#include "agent/ui/lock_screen.h"

#include <QImage>
#include <QLabel>

#include "ui_test_support.h"

namespace mirelo {
namespace {

using namespace testing_support;

QColor TelopColour(const LockScreen& lock) {
    return lock.findChild<QLabel*>(QStringLiteral("Telop1"))->palette().color(QPalette::WindowText);
}

TEST(LockScreen, IsABlackTopmostCurtainWithABlinkingGreenText) {
    TestApp();
    LockScreen lock(QStringLiteral("転送待機中です。"));
    lock.Start();
    EXPECT_TRUE(lock.isFullScreen());
    EXPECT_TRUE(lock.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(lock.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    const QImage shot = lock.grab().toImage();
    EXPECT_EQ(shot.pixelColor(shot.width() - 1, shot.height() - 1), QColor(Qt::black));
    EXPECT_EQ(lock.findChild<QLabel*>(QStringLiteral("Telop1"))->text(), QStringLiteral("転送待機中です。"));

    // Green for the first second, then black and green for 500 ms each.
    const QColor green(0, 255, 0);
    const QColor black(0, 0, 0);
    EXPECT_FALSE(lock.BlinkOn());
    EXPECT_EQ(TelopColour(lock), green);
    const std::pair<bool, QColor> ticks[] = {{true, green}, {false, black}, {true, green}, {false, black}};
    for (const auto& [on, colour] : ticks) {
        lock.Blink();
        EXPECT_EQ(lock.BlinkOn(), on);
        EXPECT_EQ(TelopColour(lock), colour);
    }
}

TEST(LockScreen, HoldsTheWaitingWindowAndGivesItBack) {
    TestApp();
    LockScreen lock({});
    EXPECT_TRUE(lock.findChild<QLabel*>(QStringLiteral("Telop1"))->text().isEmpty());
    lock.Start();
    QWidget working(nullptr, Qt::Window | Qt::WindowTitleHint);
    working.resize(200, 100);
    lock.Hold(&working);
    EXPECT_EQ(working.parentWidget(), &lock);
    EXPECT_FALSE(working.isWindow());
    EXPECT_TRUE(working.isVisible());
    // The held window keeps its own colours inside the black lock.
    EXPECT_NE(working.palette().color(QPalette::Window), QColor(Qt::black));
    lock.Release(&working);
    EXPECT_EQ(working.parentWidget(), nullptr);
    EXPECT_TRUE(working.isWindow());
    EXPECT_TRUE(working.windowFlags().testFlag(Qt::WindowTitleHint));
}

}  // namespace
}  // namespace mirelo
