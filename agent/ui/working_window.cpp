#include "agent/ui/working_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "agent/engine/agent_log.h"
#include "agent/engine/log_texts.h"
#include "agent/ui/engine_host.h"
#include "agent/ui/unlock_passwd.h"

namespace mirelo {
namespace {

QColor ColourOf(StatusColour colour) {
    switch (colour) {
        case StatusColour::Blue:
            return QColor(0, 0, 255);
        case StatusColour::Red:
            return QColor(255, 0, 0);
        case StatusColour::Black:
            break;
    }
    return QColor(0, 0, 0);
}

QLabel* NamedLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

Working::Working(Parts parts)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowMinimizeButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      settings_(parts.settings),
      log_(parts.log),
      lblUser_(NamedLabel(QStringLiteral("lblUser"), parts.settings.MailAddr1, this)),
      lblStatus1_(NamedLabel(QStringLiteral("lblStatus1"), {}, this)),
      lblStatus2_(NamedLabel(QStringLiteral("lblStatus2"), {}, this)),
      stopButton_(new QPushButton(QStringLiteral("転送待機解除"), this)),
      timer1_(new QTimer(this)),
      beep_([] { QApplication::beep(); }),
      quit_([] { QApplication::quit(); }) {
    setObjectName(QStringLiteral("Working"));
    setWindowTitle(QStringLiteral("Mirelo - ") + settings_.MailAddr1);
    // Inside the black lock window the window keeps its own background.
    setAutoFillBackground(true);

    stopButton_->setObjectName(QStringLiteral("StopButton"));
    connect(stopButton_, &QPushButton::clicked, this, &Working::Stop);

    QFont product = font();
    product.setPointSize(product.pointSize() * 2);
    product.setBold(true);
    auto* productLabel = NamedLabel(QStringLiteral("lblProduct"), QStringLiteral("Mirelo"), this);
    productLabel->setFont(product);

    lblStatus1_->setMinimumWidth(380);
    lblStatus1_->setWordWrap(true);
    lblStatus1_->setMinimumHeight(2 * fontMetrics().height());
    lblStatus1_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto* userLine = new QHBoxLayout;
    userLine->addWidget(lblUser_);
    userLine->addWidget(
        NamedLabel(QStringLiteral("lblWaiting"), QStringLiteral("からの要求を待ってます。"), this));
    userLine->addStretch();

    auto* grid = new QGridLayout(this);
    grid->addLayout(userLine, 0, 0, 1, 2);
    grid->addWidget(NamedLabel(QStringLiteral("lblStatusCaption"), QStringLiteral("状態"), this), 1, 0);
    grid->addWidget(lblStatus1_, 1, 1);
    grid->addWidget(NamedLabel(QStringLiteral("lblCountsCaption"), QStringLiteral("処理件数"), this), 2, 0);
    grid->addWidget(lblStatus2_, 2, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(productLabel);
    bottom->addStretch();
    bottom->addWidget(stopButton_);
    grid->addLayout(bottom, 3, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(parts.tickInterval);
    connect(timer1_, &QTimer::timeout, this, &Working::TickNow);

    host_ = std::make_unique<EngineHost>(
        EngineHost::Parts{settings_, parts.programFolder, log_, *this, this, std::move(parts.components)});
    host_->Post([](AgentEngine& engine) { engine.Load(); });
    timer1_->start();
}

Working::~Working() = default;

void Working::ShowStatus(const StatusLine& status) {
    lblStatus1_->setText(status.text);
    QPalette palette = lblStatus1_->palette();
    palette.setColor(QPalette::WindowText, ColourOf(status.colour));
    lblStatus1_->setPalette(palette);
    if (status.beep && beep_) beep_();
}

void Working::ShowCounters(const QString& line) { lblStatus2_->setText(line); }

void Working::ShowUser(const QString& title, const QString& phoneAddress) {
    setWindowTitle(title);
    lblUser_->setText(phoneAddress);
}

void Working::TickNow() {
    if (checkRunning_ || unloaded_) return;
    checkRunning_ = true;
    timer1_->stop();
    host_->Post([this](AgentEngine& engine) {
        const TickOutcome outcome = engine.Tick();
        QMetaObject::invokeMethod(
            this, [this, outcome] { TickDone(outcome); }, Qt::QueuedConnection);
    });
}

void Working::TickDone(TickOutcome outcome) {
    checkRunning_ = false;
    if (outcome == TickOutcome::QuitCommand) {
        // The engine has cleared the interlock and logged the quit; nothing more is written.
        if (quit_) quit_();
        return;
    }
    if (unloaded_) return;
    timer1_->start();
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

void Working::FinishPendingWork() {
    host_->Drain();
    QCoreApplication::sendPostedEvents(this);
}

void Working::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Once per waiting period: the window becomes the active one of the program when it opens.
    if (activated_) return;
    activated_ = true;
    host_->Post([](AgentEngine& engine) { engine.Activate(); });
}

void Working::Stop() {
    if (settings_.NeedUnlockPassword && !AskUnlockPassword(settings_, this)) {
        log_.WriteLog(log_text::WrongPasswordForQuit());
        return;
    }
    stopConfirmed_ = true;
    close();
}

void Working::closeEvent(QCloseEvent* event) {
    if (unloaded_) return;
    // The password typed to enter waiting mode must not also let the close box end it: only the stop
    // button's own prompt does.
    if (settings_.NeedUnlockPassword && !stopConfirmed_) {
        event->ignore();
        return;
    }
    if (checkRunning_) {
        // The check cannot be cut short; waiting mode ends when it is over.
        closePending_ = true;
        event->ignore();
        return;
    }
    unloaded_ = true;
    timer1_->stop();
    host_->Post([](AgentEngine& engine) { engine.Unload(); });
    event->accept();
    if (onUnload_) onUnload_();
}

}  // namespace mirelo
