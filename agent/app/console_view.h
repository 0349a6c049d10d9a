#pragma once
// The windowless view of waiting mode: every status and counters line on an output stream, each with the
// time of day in front and flushed at once, so a log collector sees it as it happens.

#include <QTime>
#include <functional>
#include <ostream>

#include "agent/engine/engine_view.h"

namespace mirelo {

class ConsoleView final : public EngineView {
  public:
    using Clock = std::function<QTime()>;
    // The clock defaults to the local time.
    explicit ConsoleView(std::ostream& out, Clock clock = {});

    void ShowStatus(const StatusLine& status) override;
    void ShowCounters(const QString& line) override;
    void ShowUser(const QString& title, const QString& phoneAddress) override;

  private:
    void Print(const QString& text);

    std::ostream& out_;
    Clock clock_;
};

}  // namespace mirelo
