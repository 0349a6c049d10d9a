#include "agent/ui/unlock_passwd.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "agent/config/agent_settings.h"

namespace mirelo {

UnlockPasswd::UnlockPasswd(AgentSettings& settings, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      settings_(settings),
      prompt_(new QLabel(QStringLiteral("転送待機状態解除用パスワードを入力してください。"), this)),
      password_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("UnlockPasswd"));
    setWindowTitle(QStringLiteral("ﾊﾟｽﾜｰﾄﾞの入力"));
    prompt_->setObjectName(QStringLiteral("lblLabels_1"));
    password_->setObjectName(QStringLiteral("txtPassword"));
    password_->setEchoMode(QLineEdit::Password);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &UnlockPasswd::Confirm);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addWidget(password_);
    layout->addWidget(ok, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    password_->setFocus();
}

void UnlockPasswd::SetPrompt(const QString& text) { prompt_->setText(text); }

void UnlockPasswd::Confirm() {
    const bool right = password_->text() == settings_.UnlockPassword;
    if (!right) {
        QMessageBox::critical(this, QStringLiteral("ﾊﾟｽﾜｰﾄﾞｴﾗｰ"), QStringLiteral("パスワードが不正です。"));
    }
    settings_.UnlockConfirmed = right;
    if (right)
        accept();
    else
        reject();
}

bool AskUnlockPassword(AgentSettings& settings, QWidget* owner, const QString& prompt) {
    settings.UnlockConfirmed = false;
    UnlockPasswd dialog(settings, owner);
    if (!prompt.isEmpty()) dialog.SetPrompt(prompt);
    dialog.exec();
    return settings.UnlockConfirmed;
}

}  // namespace mirelo
