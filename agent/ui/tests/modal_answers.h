#pragma once
// Answers the modal boxes a dialog opens while a test drives it: each expected box is found as
// QApplication::activeModalWidget() from a zero-time timer and answered at once. A box nobody expected is
// closed and recorded, so a wrong path fails the test instead of hanging it; a box that never came fails it
// too. Keep one alive at a time.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace mirelo {

struct SeenBox {
    QString objectName;  // "UnlockPasswd", or empty for a message box
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString prompt;  // UnlockPasswd's lblLabels_1
    QString input;   // what an input box held when it opened
    bool expected = true;
};

class ModalAnswers {
  public:
    // Widgets modal before the script starts (the dialog under test) are never answered.
    ModalAnswers() : base_(QApplication::activeModalWidget()) { Arm(); }

    // The next box is a QMessageBox; press `button`.
    ModalAnswers& Press(QMessageBox::StandardButton button = QMessageBox::Ok) {
        answers_.push_back([button](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) box->button(button)->click();
        });
        return *this;
    }
    // The next box is the unlock prompt; type `password` and press its OK.
    ModalAnswers& Type(const QString& password) {
        answers_.push_back([password](QWidget* w) {
            w->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(password);
            w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        });
        return *this;
    }

    // The next box is an input box; type `text` and press OK, or Cancel.
    ModalAnswers& Input(const QString& text, bool ok = true) {
        answers_.push_back([text, ok](QWidget* w) {
            w->findChild<QLineEdit*>()->setText(text);
            w->findChild<QDialogButtonBox*>()
                ->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
                ->click();
        });
        return *this;
    }

    const std::vector<SeenBox>& Seen() const { return seen_; }
    [[nodiscard]] bool AllAnswered() const { return answers_.empty(); }
    [[nodiscard]] int Unexpected() const {
        int n = 0;
        for (const SeenBox& box : seen_) n += box.expected ? 0 : 1;
        return n;
    }

  private:
    void Arm() {
        QTimer::singleShot(0, [this, alive = alive_] {
            if (*alive) Poll();
        });
    }

    // Re-armed first: an answer may open the next box inside its own call.
    void Poll() {
        Arm();
        QWidget* w = QApplication::activeModalWidget();
        if (w != nullptr && w != base_ && w != last_) {
            last_ = w;
            SeenBox box;
            box.objectName = w->objectName();
            box.title = w->windowTitle();
            if (auto* message = qobject_cast<QMessageBox*>(w)) {
                box.text = message->text();
                box.icon = message->icon();
            }
            if (auto* prompt = w->findChild<QLabel*>(QStringLiteral("lblLabels_1")))
                box.prompt = prompt->text();
            if (auto* edit = w->findChild<QLineEdit*>()) box.input = edit->text();
            box.expected = !answers_.empty();
            seen_.push_back(box);
            if (answers_.empty()) {
                if (auto* dialog = qobject_cast<QDialog*>(w))
                    dialog->done(QDialog::Rejected);
                else
                    w->close();
            } else {
                auto answer = std::move(answers_.front());
                answers_.pop_front();
                answer(w);
            }
        }
    }

  public:
    // Every answer was used and no box came unasked.
    ~ModalAnswers() {
        *alive_ = false;
        EXPECT_TRUE(AllAnswered()) << answers_.size() << " answer(s) left: a box never opened";
        EXPECT_EQ(Unexpected(), 0);
    }
    ModalAnswers(const ModalAnswers&) = delete;
    ModalAnswers& operator=(const ModalAnswers&) = delete;

  private:
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    QWidget* base_;
    QPointer<QWidget> last_;
    std::deque<std::function<void(QWidget*)>> answers_;
    std::vector<SeenBox> seen_;
};

}  // namespace mirelo
