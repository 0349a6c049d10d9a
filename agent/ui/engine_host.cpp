#include "agent/ui/engine_host.h"

#include "agent/engine/library_components.h"

namespace mirelo {

// Hands each view call to the window's thread. The window outlives the host, and the host joins its
// thread before it goes, so the context is alive whenever a call is posted.
class EngineHost::QueuedView final : public EngineView {
  public:
    QueuedView(EngineView& target, QObject* context) : target_(target), context_(context) {}

    void ShowStatus(const StatusLine& status) override {
        Deliver([&target = target_, status] { target.ShowStatus(status); });
    }
    void ShowCounters(const QString& line) override {
        Deliver([&target = target_, line] { target.ShowCounters(line); });
    }
    void ShowUser(const QString& title, const QString& phoneAddress) override {
        Deliver([&target = target_, title, phoneAddress] { target.ShowUser(title, phoneAddress); });
    }

  private:
    template <typename Call>
    void Deliver(Call call) {
        QMetaObject::invokeMethod(context_, std::move(call), Qt::QueuedConnection);
    }

    EngineView& target_;
    QObject* context_;
};

struct EngineHost::OnThread {
    EngineComponents components;
    std::unique_ptr<AgentEngine> engine;
};

EngineHost::EngineHost(Parts parts)
    : queuedView_(std::make_unique<QueuedView>(parts.view, parts.viewContext)) {
    thread_.Post([this, parts = std::move(parts)] {
        auto made = std::make_unique<OnThread>();
        if (parts.components) made->components = parts.components();
        // A factory that leaves a component out gets the library's.
        if (!made->components.pop3) made->components.pop3 = MakeLibraryPop3();
        if (!made->components.smtp) made->components.smtp = MakeLibrarySmtp();
        made->engine = std::make_unique<AgentEngine>(
            AgentEngine::Parts{parts.settings, parts.programFolder, parts.log, *made->components.pop3,
                               *made->components.smtp, *queuedView_});
        onThread_ = std::move(made);
    });
}

EngineHost::~EngineHost() {
    thread_.Post([this] { onThread_.reset(); });
    // thread_ is destroyed first of the members and joins after running the reset.
}

void EngineHost::Post(std::function<void(AgentEngine&)> work) {
    thread_.Post([this, work = std::move(work)] { work(*onThread_->engine); });
}

}  // namespace mirelo
