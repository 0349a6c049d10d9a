#include "agent/app/console_view.h"

namespace mirelo {

ConsoleView::ConsoleView(std::ostream& out, Clock clock) : out_(out), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return QTime::currentTime(); };
}

void ConsoleView::ShowStatus(const StatusLine& status) { Print(status.text); }

void ConsoleView::ShowCounters(const QString& line) { Print(line); }

void ConsoleView::ShowUser(const QString& title, const QString& phoneAddress) {
    Print(title);
    Print(phoneAddress + QStringLiteral("からの要求を待ってます。"));
}

void ConsoleView::Print(const QString& text) {
    out_ << clock_().toString(QStringLiteral("HH:mm:ss")).toStdString() << ' ' << text.toStdString()
         << std::endl;
}

}  // namespace mirelo
