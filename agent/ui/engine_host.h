#pragma once
// Waiting mode's engine and its two components on a thread of their own. A check blocks for as long as
// the servers take (up to the components' time-outs per command); on their own thread it never blocks the
// windows. The engine and the components are made, used and destroyed on that thread only; what the engine
// shows reaches the window's view on the window's thread.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "agent/engine/agent_engine.h"
#include "agent/ui/engine_components.h"
#include "agent/ui/serial_thread.h"

namespace mirelo {

class EngineHost {
  public:
    struct Parts {
        AgentSettings& settings;  // the engine writes MailAddr1 on an address change
        QString programFolder;
        const AgentLog& log;
        EngineView& view;      // called on `viewContext`'s thread
        QObject* viewContext;  // must outlive the host
        ComponentsFactory components;
    };
    explicit EngineHost(Parts parts);
    // Runs what is still queued, then destroys the engine and the components on their thread.
    ~EngineHost();
    EngineHost(const EngineHost&) = delete;
    EngineHost& operator=(const EngineHost&) = delete;

    // Runs `work` on the engine's thread, after everything posted before it.
    void Post(std::function<void(AgentEngine&)> work);
    // Blocks until everything posted so far has run.
    void Drain() { thread_.Drain(); }

  private:
    class QueuedView;
    struct OnThread;

    std::unique_ptr<QueuedView> queuedView_;
    std::unique_ptr<OnThread> onThread_;  // touched on the engine's thread only
    SerialThread thread_;                 // last: joined before the members above go
};

}  // namespace mirelo
