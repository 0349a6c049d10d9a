#include "agent/ui/working_window.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "agent/engine/agent_log.h"
#include "agent/engine/status_line.h"
#include "agent/engine/tests/engine_doubles.h"
#include "agent/engine/tests/log_messages.h"
#include "ui_test_support.h"

namespace mirelo {
namespace {

using namespace testing_support;

// A Working window over fake components that the test fills before the first tick.
class WorkingTest : public ::testing::Test {
  protected:
    WorkingTest() { TestApp(); }

    Working& Window() {
        if (!window_) {
            window_ = std::make_unique<Working>(
                Working::Parts{settings_, dir_.path(), log_, [this] { return MakeComponents(); }});
            window_->SetBeeper([this] { ++beeps_; });
            window_->SetQuitter([this] { ++quits_; });
            window_->show();
            window_->FinishPendingWork();
        }
        return *window_;
    }
    // On the engine's thread.
    EngineComponents MakeComponents() {
        auto pop3 = std::make_unique<FakePop3>();
        pop3->mails = mails_;
        pop3->failing = failing_;
        auto smtp = std::make_unique<FakeSmtp>();
        smtp_ = smtp.get();
        return {std::move(pop3), std::move(smtp)};
    }
    QLabel& Label(const QString& name) { return *Window().findChild<QLabel*>(name); }
    QColor Colour(const QString& name) { return Label(name).palette().color(QPalette::WindowText); }
    QTimer& Timer1() { return *Window().findChild<QTimer*>(QStringLiteral("Timer1")); }
    void Tick() {
        Window().TickNow();
        Window().FinishPendingWork();
    }
    QStringList LogLines() const { return LogMessages(dir_.path()); }

    QTemporaryDir dir_;
    AgentSettings settings_ = PhoneSettings();
    AgentLog log_{dir_.path(), settings_};
    std::vector<FakeMail> mails_;
    std::set<QString> failing_;
    FakeSmtp* smtp_ = nullptr;  // the engine's thread owns it; read only after FinishPendingWork
    int beeps_ = 0;
    int quits_ = 0;
    std::unique_ptr<Working> window_;
};

TEST_F(WorkingTest, LoadShowsIdleZeroCountersAndTheUser) {
    Working& w = Window();
    EXPECT_EQ(w.objectName(), QStringLiteral("Working"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Mirelo - phone@mirelo.test"));
    EXPECT_EQ(Label(QStringLiteral("lblUser")).text(), QStringLiteral("phone@mirelo.test"));
    EXPECT_EQ(Label(QStringLiteral("lblWaiting")).text(), QStringLiteral("からの要求を待ってます。"));
    EXPECT_EQ(Label(QStringLiteral("lblStatus1")).text(), QStringLiteral("アイドル中..."));
    EXPECT_EQ(Label(QStringLiteral("lblStatus2")).text(),
              QStringLiteral("一覧取得(0件)　本文取得(0件)　転送(0件)　削除(0件)"));
    EXPECT_EQ(w.findChild<QPushButton*>(QStringLiteral("StopButton"))->text(),
              QStringLiteral("転送待機解除"));
    EXPECT_EQ(Timer1().interval(), 60000);
    EXPECT_TRUE(Timer1().isActive());
    EXPECT_EQ(LogLines(), QStringList{QStringLiteral("<-- Change Waiting Mode -->")});
}

TEST_F(WorkingTest, StatusLinesTakeTheirColourAndBeep) {
    struct Row {
        std::int16_t code;
        QString text;
        QString shown;
        QColor colour;
        bool beep;
    };
    const Row rows[] = {
        {0, {}, QStringLiteral("アイドル中..."), Qt::black, false},
        {10, {}, QStringLiteral("pop.mirelo.testにアクセス中..."), Qt::black, false},
        {20, {}, QStringLiteral("一覧取得要求を受け付けました。"), QColor(0, 0, 255), false},
        {-13, {}, QStringLiteral("POP3サーバに接続できません。"), QColor(255, 0, 0), true},
        {7, QStringLiteral("seven"), QStringLiteral("seven"), Qt::black, false},
        {-5, QStringLiteral("minus five"), QStringLiteral("minus five"), QColor(255, 0, 0), true},
    };
    Working& w = Window();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        const int before = beeps_;
        w.ShowStatus(MakeStatusLine(row.code, row.text, settings_));
        EXPECT_EQ(Label(QStringLiteral("lblStatus1")).text(), row.shown);
        EXPECT_EQ(Colour(QStringLiteral("lblStatus1")), row.colour);
        EXPECT_EQ(beeps_ - before, row.beep ? 1 : 0);
    }
}

TEST_F(WorkingTest, AFailedConnectionShowsTheRetryLineInRed) {
    failing_ = {QStringLiteral("ConnectByName")};
    Tick();
    EXPECT_EQ(Label(QStringLiteral("lblStatus1")).text(),
              QStringLiteral("接続できませんでした。リトライします。"));
    EXPECT_EQ(Colour(QStringLiteral("lblStatus1")), QColor(255, 0, 0));
    EXPECT_EQ(beeps_, 2);  // -13, then the retry line
    EXPECT_TRUE(Timer1().isActive());
    EXPECT_TRUE(LogLines().contains(QStringLiteral("ERROR ConnectByName:-7")));
}

TEST_F(WorkingTest, AListRequestFromThePhoneIsCountedAndAnswered) {
    mails_ = {Mail(QStringLiteral("phone@mirelo.test"), QStringLiteral("LIST")),
              Mail(QStringLiteral("friend@example.jp"), QStringLiteral("hello"))};
    Tick();
    EXPECT_EQ(Label(QStringLiteral("lblStatus1")).text(), QStringLiteral("アイドル中..."));
    EXPECT_EQ(Label(QStringLiteral("lblStatus2")).text(),
              QStringLiteral("一覧取得(1件)　本文取得(0件)　転送(0件)　削除(0件)"));
    ASSERT_NE(smtp_, nullptr);
    ASSERT_EQ(smtp_->sent.size(), 1u);
    EXPECT_EQ(smtp_->sent[0].to, QStringLiteral("phone@mirelo.test"));
    EXPECT_FALSE(Window().CheckRunning());
    EXPECT_TRUE(Timer1().isActive());
}

TEST_F(WorkingTest, TheQuitCommandEndsTheProgramAfterItsCheck) {
    mails_ = {Mail(QStringLiteral("phone@mirelo.test"), QStringLiteral("!!QUIT!!"))};
    Tick();
    EXPECT_EQ(quits_, 1);
    EXPECT_FALSE(Timer1().isActive());
    EXPECT_TRUE(LogLines().contains(QStringLiteral("!!QUIT COMMAND ACCEPT!!")));
}

TEST_F(WorkingTest, LeavingDuringACheckWaitsForItsEnd) {
    int unloads = 0;
    Window().SetOnUnload([&] { ++unloads; });
    Window().TickNow();  // the check is now on the engine's thread; its end is not yet delivered
    EXPECT_TRUE(Window().CheckRunning());
    EXPECT_FALSE(Timer1().isActive());
    Window().findChild<QPushButton*>(QStringLiteral("StopButton"))->click();
    EXPECT_TRUE(Window().isVisible());
    EXPECT_EQ(unloads, 0);

    Window().FinishPendingWork();
    EXPECT_EQ(unloads, 1);
    EXPECT_FALSE(Window().isVisible());
    EXPECT_FALSE(Timer1().isActive());
    Window().FinishPendingWork();
    EXPECT_EQ(LogLines().last(), QStringLiteral(">-- Exit Waiting Mode --<"));
}

}  // namespace
}  // namespace mirelo
