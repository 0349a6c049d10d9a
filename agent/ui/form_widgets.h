#pragma once
// Small builders for the boxes, labels and rows of the settings dialog and the wizard.

#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <initializer_list>
#include <optional>

#include "agent/ui/input_filters.h"

namespace mirelo::form {

struct BoxOptions {
    int width = 0;  // fixed width in pixels; 0 lets the box stretch
    int maxLength = 0;
    bool imeOff = false;
    bool password = false;
    std::optional<KeyRule> rule = std::nullopt;
};

inline QLineEdit* Box(QWidget* parent, const char* name, const BoxOptions& options = {}) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    if (options.width > 0) box->setFixedWidth(options.width);
    if (options.maxLength > 0) box->setMaxLength(options.maxLength);
    if (options.password) box->setEchoMode(QLineEdit::Password);
    if (options.imeOff || options.password) InputMethodOff(box);
    if (options.rule) FilterKeys(box, *options.rule);
    return box;
}

inline QLabel* Label(QWidget* parent, const QString& text, const char* name = nullptr) {
    auto* label = new QLabel(text, parent);
    if (name != nullptr) label->setObjectName(QString::fromLatin1(name));
    return label;
}

inline QCheckBox* Check(QWidget* parent, const char* name, const QString& text) {
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(QString::fromLatin1(name));
    return check;
}

// One line of widgets, left-aligned, with `indent` pixels before the first.
inline QHBoxLayout* Row(std::initializer_list<QWidget*> widgets, int indent = 0) {
    auto* row = new QHBoxLayout;
    if (indent > 0) row->addSpacing(indent);
    for (QWidget* widget : widgets) row->addWidget(widget);
    row->addStretch(1);
    return row;
}

// Like Row, but the last widget takes the remaining width.
inline QHBoxLayout* StretchRow(std::initializer_list<QWidget*> widgets, int indent = 0) {
    auto* row = new QHBoxLayout;
    if (indent > 0) row->addSpacing(indent);
    for (QWidget* widget : widgets) row->addWidget(widget, widget == *(widgets.end() - 1) ? 1 : 0);
    return row;
}

}  // namespace mirelo::form
