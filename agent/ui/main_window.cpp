#include "agent/ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "agent/config/settings_file.h"
#include "agent/engine/agent_log.h"
#include "agent/ui/help_window.h"
#include "agent/ui/lock_screen.h"
#include "agent/ui/program_icon.h"
#include "agent/ui/unlock_passwd.h"
#include "agent/ui/working_window.h"

namespace mirelo {

bool SettingsComplete(const AgentSettings& s) {
    for (const QString* field :
         {&s.MailAddr1, &s.POP3Server, &s.SMTPServer, &s.SvLogin, &s.SvPasswd, &s.FromMailAddr}) {
        if (field->isEmpty()) return false;
    }
    return true;
}

MainW::MainW(Parts parts)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint),
      settings_(parts.settings),
      programFolder_(std::move(parts.programFolder)),
      log_(parts.log),
      dialogs_(std::move(parts.dialogs)),
      components_(std::move(parts.components)),
      tickInterval_(parts.tickInterval),
      quit_([] { QApplication::quit(); }),
      verLabel_(new QLabel(QStringLiteral("Version "), this)) {
    setObjectName(QStringLiteral("MainW"));
    setWindowTitle(QStringLiteral("Mirelo"));
    setWindowIcon(QIcon(ProgramPicture(64)));

    auto* picture1 = new QLabel(this);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setPixmap(ProgramPicture(64));

    auto* label2 = new QLabel(QStringLiteral("Mirelo"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    QFont large(QStringLiteral("Arial"));
    large.setPointSize(26);
    large.setBold(true);
    label2->setFont(large);

    verLabel_->setObjectName(QStringLiteral("VerLabel"));
    auto* label1 = new QLabel(QStringLiteral("携帯端末向けメール転送エージェント"), this);
    label1->setObjectName(QStringLiteral("Label1"));

    struct Button {
        QString caption;
        QStyle::StandardPixmap picture;
        void (MainW::*action)();
    };
    const Button buttons[] = {
        {QStringLiteral("転送待機状態にする"), QStyle::SP_MediaPlay, &MainW::EnterWaitingMode},
        {QStringLiteral("動作環境設定"), QStyle::SP_FileDialogDetailedView, &MainW::OpenSettings},
        {QStringLiteral("ヘルプ"), QStyle::SP_DialogHelpButton, &MainW::OpenHelp},
        {QStringLiteral("終了"), QStyle::SP_DialogCloseButton, nullptr},
    };
    auto* buttonColumn = new QVBoxLayout;
    for (std::size_t i = 0; i < command1_.size(); ++i) {
        auto* button = new QPushButton(style()->standardIcon(buttons[i].picture), buttons[i].caption, this);
        button->setObjectName(QStringLiteral("Command1_%1").arg(i));
        button->setIconSize(QSize(24, 24));
        button->setMinimumHeight(40);
        if (buttons[i].action) {
            connect(button, &QPushButton::clicked, this, buttons[i].action);
        } else {
            connect(button, &QPushButton::clicked, this, &QWidget::close);
        }
        buttonColumn->addWidget(button);
        command1_[i] = button;
    }

    auto* nameColumn = new QVBoxLayout;
    nameColumn->addWidget(label2);
    nameColumn->addWidget(verLabel_);
    auto* grid = new QGridLayout(this);
    grid->addWidget(picture1, 0, 0, Qt::AlignTop);
    grid->addLayout(nameColumn, 0, 1);
    grid->addWidget(label1, 1, 0, 1, 2);
    grid->setRowStretch(2, 1);
    grid->addLayout(buttonColumn, 0, 2, 3, 1);
    grid->setHorizontalSpacing(16);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

MainW::~MainW() = default;

void MainW::Load() {
    const LoadResult loaded = LoadSettings(SettingsFilePath(programFolder_), settings_);
    if (!loaded.readError.isEmpty()) log_.WriteLog(loaded.readError);
    for (const SettingCorrection& correction : loaded.corrections) log_.WriteLog(correction.LogText());

    if ((loaded.startWizard || !SettingsComplete(settings_)) && dialogs_.runWizard) dialogs_.runWizard(this);

    verLabel_->setText(QStringLiteral("Version ") + QStringLiteral(MIRELO_VERSION));
    SetCaption();
}

void MainW::SetCaption() { setWindowTitle(QStringLiteral("Mirelo - ") + settings_.MailAddr1); }

void MainW::EnterWaitingMode() {
    if (working_) return;
    if (!SettingsComplete(settings_)) {
        QMessageBox::critical(
            this, QStringLiteral("エラー"),
            QStringLiteral("携帯端末のアドレスまたはメールサーバの設定が行われていません。"));
        return;
    }
    if (settings_.NeedUnlockPassword) {
        QMessageBox::warning(this, QStringLiteral("ロック解除パスワードの確認"),
                             QStringLiteral("ロック解除用パスワードが設定されています。\r\n"
                                            "確認のためロック解除パスワードを入力してください。"));
        if (!AskUnlockPassword(settings_, this)) return;
    }
    if (settings_.ScreenLock) {
        bool answered = false;
        const QString telop =
            QInputDialog::getText(this, QStringLiteral("ロック中の表示文字列"),
                                  QStringLiteral("ロック中の表示文字列を入力してください。"),
                                  QLineEdit::Normal, settings_.LockTelop, &answered);
        // In memory only: the file keeps its text.
        if (answered && !telop.isEmpty()) settings_.LockTelop = telop;
        lock_ = std::make_unique<LockScreen>(settings_.LockTelop);
        lock_->Start();
    }

    working_ = std::make_unique<Working>(
        Working::Parts{settings_, programFolder_, log_, components_, tickInterval_});
    working_->SetOnUnload([this] { EndWaitingMode(); });
    if (lock_) {
        lock_->Hold(working_.get());
    } else {
        working_->show();
        working_->activateWindow();
    }
    hide();
}

void MainW::EndWaitingMode() {
    if (lock_) {
        lock_->Release(working_.get());
        lock_.reset();
    }
    // Called from inside the window's close: it goes once that has returned.
    retired_ = std::move(working_);
    QTimer::singleShot(0, this, [this] { retired_.reset(); });
    show();
    activateWindow();
}

void MainW::OpenSettings() {
    if (dialogs_.openSettings) dialogs_.openSettings(this);
    SetCaption();
}

void MainW::OpenHelp() { ShowHelp(this); }

void MainW::closeEvent(QCloseEvent* event) {
    event->accept();
    // Every other window goes with the program.
    if (quit_) quit_();
}

}  // namespace mirelo
