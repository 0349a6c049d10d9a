#include "agent/ui/input_filters.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace mirelo {

namespace {

// Keys that move the caret or belong to the dialog, not to the text.
bool TypesNothing(int key, const QString& text) {
    switch (key) {
        case Qt::Key_Delete:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return true;
        default:
            return text.isEmpty();
    }
}

}  // namespace

KeyVerdict JudgeKey(KeyRule rule, int key, const QString& text) {
    if (key == Qt::Key_Backspace || TypesNothing(key, text)) return KeyVerdict::Accept;
    switch (rule) {
        case KeyRule::DigitsOnly: {
            const bool digit = text.size() == 1 && text[0] >= u'0' && text[0] <= u'9';
            return digit ? KeyVerdict::Accept : KeyVerdict::SwallowWithBeep;
        }
        case KeyRule::NoBlankNoComma:
            return text == u" " || text == u"," ? KeyVerdict::Swallow : KeyVerdict::Accept;
        case KeyRule::NoComma:
            return text == u"," ? KeyVerdict::Swallow : KeyVerdict::Accept;
    }
    return KeyVerdict::Accept;
}

KeyFilter::KeyFilter(KeyRule rule, QLineEdit* box)
    : QObject(box), rule_(rule), beep_([] { QApplication::beep(); }) {
    box->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (JudgeKey(rule_, key->key(), key->text())) {
        case KeyVerdict::Accept:
            return false;
        case KeyVerdict::SwallowWithBeep:
            if (beep_) beep_();
            return true;
        case KeyVerdict::Swallow:
            return true;
    }
    return false;
}

KeyFilter* FilterKeys(QLineEdit* box, KeyRule rule) { return new KeyFilter(rule, box); }

void InputMethodOff(QLineEdit* box) {
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    box->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
}

}  // namespace mirelo
