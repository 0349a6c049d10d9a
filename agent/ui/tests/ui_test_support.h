#pragma once
// For the window tests: one offscreen QApplication, a per-user store in a temporary folder, and answers
// to the modal windows a click opens, given from the event loop of each modal window as it opens.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

namespace mirelo::testing_support {

inline QApplication& TestApp() {
    static QTemporaryDir configHome;
    static int argc = 1;
    static char name[] = "mirelo_ui_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
        return new QApplication(argc, argv);
    }();
    return *app;
}

// What a message box showed.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

using ModalAnswer = std::function<void(QWidget* modal)>;

// Answers the modal windows opened after its construction, one answer each, in order. Each answer runs
// inside the event loop of its window; the next one is armed before it, so a window that the answer
// itself opens is answered too.
class ModalAnswers {
  public:
    explicit ModalAnswers(std::deque<ModalAnswer> answers) : state_(std::make_shared<State>()) {
        state_->answers = std::move(answers);
        Arm(state_);
    }
    ~ModalAnswers() {
        state_->cancelled = true;
        EXPECT_TRUE(state_->answers.empty()) << state_->answers.size() << " modal window(s) never opened";
    }

  private:
    struct State {
        std::deque<ModalAnswer> answers;
        QPointer<QWidget> last;
        int idleRounds = 0;
        bool cancelled = false;
    };
    static void Arm(const std::shared_ptr<State>& state) {
        QTimer::singleShot(0, qApp, [state] {
            if (state->cancelled || state->answers.empty()) return;
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == state->last) {
                // Not open yet: look again at the next turn of whichever loop runs.
                if (++state->idleRounds < 100000) Arm(state);
                return;
            }
            state->idleRounds = 0;
            state->last = modal;
            ModalAnswer answer = std::move(state->answers.front());
            state->answers.pop_front();
            Arm(state);
            answer(modal);
        });
    }

    std::shared_ptr<State> state_;
};

// Notes what the message box shows and presses its OK.
inline ModalAnswer PressOk(SeenBox* seen = nullptr) {
    return [seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr) << "expected a message box, got " << modal->metaObject()->className();
        if (seen) *seen = {box->windowTitle(), box->text(), box->icon()};
        box->button(QMessageBox::Ok)->click();
    };
}

// Types into the input box and presses OK, or Cancel.
inline ModalAnswer AnswerInput(const QString& text, bool ok = true, QString* seenDefault = nullptr) {
    return [=](QWidget* modal) {
        auto* edit = modal->findChild<QLineEdit*>();
        auto* buttons = modal->findChild<QDialogButtonBox*>();
        ASSERT_TRUE(edit && buttons) << "expected an input box";
        if (seenDefault) *seenDefault = edit->text();
        edit->setText(text);
        buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    };
}

// Types the password into the unlock prompt and presses its OK.
inline ModalAnswer TypePassword(const QString& password) {
    return [=](QWidget* modal) {
        ASSERT_EQ(modal->objectName(), QStringLiteral("UnlockPasswd"));
        modal->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(password);
        modal->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    };
}

}  // namespace mirelo::testing_support
