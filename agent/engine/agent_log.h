#pragma once
// The agent log: one line per event, "message date-time" with CR LF, in CP932, only ever appended.
// Each line is one open, one write and one close, so other programs can read the file at any time and
// two copies of the agent writing to the same file interleave whole lines only.

#include <QDateTime>
#include <QString>
#include <functional>
#include <string>

#include "agent/config/agent_settings.h"

namespace mirelo {

// "2026/12/07 9:05:03": the Japanese short date and long time.
[[nodiscard]] QString LogDateTime(const QDateTime& when);

// The bytes of one line: the message, a space, the date-time, CR LF. Each control character of the
// message (C0, DEL, C1) and each Unicode line or paragraph separator becomes one blank, so the message
// stays on its line whatever it holds.
[[nodiscard]] std::string FormatLogLine(const QString& message, const QDateTime& when);

class AgentLog {
  public:
    using Clock = std::function<QDateTime()>;

    // `settings` is read at every line, so a change of LogFileName takes effect at once; it must outlive
    // the log. The clock defaults to the local time.
    AgentLog(QString programFolder, const AgentSettings& settings, Clock clock = {});

    // Appends one line; nothing when LogFileName is empty. A line that cannot be written is dropped.
    void WriteLog(const QString& message) const;

    // The log file's path, or the empty text when the log is off.
    [[nodiscard]] QString LogFilePath() const;

  private:
    QString programFolder_;
    const AgentSettings& settings_;
    Clock clock_;
};

}  // namespace mirelo
