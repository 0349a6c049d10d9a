#pragma once
// What the engine shows while waiting: the status line, the counters line and the title with the user
// line. The Working window and the windowless mode are both views; the engine never knows which it has.

#include <QString>
#include <cstdint>

namespace mirelo {

enum class StatusColour { Black, Blue, Red };

struct StatusLine {
    std::int16_t code = 0;
    QString text;
    StatusColour colour = StatusColour::Black;
    bool beep = false;

    bool operator==(const StatusLine&) const = default;
};

class EngineView {
  public:
    virtual ~EngineView() = default;
    // Shown at once: a check blocks the thread that would otherwise repaint.
    virtual void ShowStatus(const StatusLine& status) = 0;
    virtual void ShowCounters(const QString& line) = 0;
    // The window title and the phone's address; the view follows the address with "からの要求を待ってます。".
    virtual void ShowUser(const QString& title, const QString& phoneAddress) = 0;
};

}  // namespace mirelo
