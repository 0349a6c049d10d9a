#pragma once
// What one Pop3 control holds. Private to the library.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "inlark/pop3.h"
#include "mailcore/completion_queue.h"
#include "mailcore/connection_point.h"
#include "mailcore/control_shell.h"
#include "pop3/message_methods.h"
#include "pop3/pop3_engine.h"

namespace inlark {

// Hidden: a nested class would otherwise take the exported class's visibility.
struct __attribute__((visibility("hidden"))) Pop3::State {
    std::int32_t port = 110;
    std::int32_t sendTimeoutMs = 120000;
    std::int32_t recvTimeoutMs = 120000;
    std::u16string logFilename = u"Inlark.log";
    std::int32_t sync = 1;
    std::int32_t lastError = 0;
    std::int32_t security = 0;
    std::u16string trustFile;
    std::int32_t authMethod = 0;
    // 1 after TOP_ or RETR: GetMessage then gives the retrieved text instead of the reply line.
    bool lastCommandRetrievedText = false;

    mailcore::ControlShell shell;
    mailcore::ConnectionPoint<Pop3Events> sinks;
    // Declared before the engine: a worker posts into it until the engine is gone.
    mailcore::CompletionQueue queue;
    std::unique_ptr<Pop3Engine> engine;

    // Test seam: how long Destroy lets a running worker finish.
    std::chrono::milliseconds disconnectWait = mailcore::MailEngine::kDefaultDisconnectWait;

    // The control "has a window" once the host attached a way to receive events.
    bool HasWindow() const { return !sinks.empty() || queue.HasWakeup(); }
    // The engine for a command, with the execution path that Sync and the window choose.
    Pop3Engine* Engine() {
        if (engine) engine->SetNotifyQueue(sync == 0 && HasWindow() ? &queue : nullptr);
        return engine.get();
    }
    // An engine that is not running a command, for the read-outs.
    const Pop3Engine* Idle() const { return mailcore::IdleEngine(engine); }

    // The parsed message record of MakeData; released when a connect or Destroy replaces it.
    MessageMethods message;
    void ReleaseRecord() { message.ReleaseData(); }

    void Connect(const char* method, const std::u16string& server,
                 mailcore::MailEngine::Resolution resolution, std::int32_t* pVal);
    // Makes a failed TLS step of the last connect the LastError (-10 or -11).
    void NoteTlsVerdict();
    // Runs one command method: sets the retrieved-text flag, then `command` on the engine (0 without one).
    template <typename Command>
    void Run(const char* method, std::int32_t* pVal, bool retrievesText, Command command) {
        shell.Guard(pVal, [&] {
            lastCommandRetrievedText = retrievesText;
            mailcore::Put(pVal, shell.Command(method, Engine(), command));
        });
    }
};

}  // namespace inlark
