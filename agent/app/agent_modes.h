#pragma once
// The two windowless ways to run the engine. Both expect a QCoreApplication and an engine that is
// loaded and active; both return the program's exit status.

#include <chrono>

#include "agent/engine/agent_engine.h"

namespace mirelo {

class StopSignals;

// Ticks every `interval` until a stop signal (then waiting mode is unloaded) or a quit command from the
// phone (then nothing more is written). A tick never overlaps the check of the one before.
[[nodiscard]] int RunWaitingMode(AgentEngine& engine, std::chrono::milliseconds interval, StopSignals& stop);

// One check at once: 0 when it ran (or ended with a quit command), 1 when it could not.
[[nodiscard]] int RunCheckNow(AgentEngine& engine);

}  // namespace mirelo
