#pragma once
// Keeps the account passwords out of the agent log: a component's own words on a failure may quote what
// was sent, and a log-in sends the password plain or in base64.

#include <QString>

#include "agent/config/agent_settings.h"

namespace mirelo {

// `text` with the POP3 and SMTP passwords, and their base64 forms as a log-in sends them (alone, and as
// SASL PLAIN with the user), each replaced by "****".
[[nodiscard]] QString WithoutSecrets(const QString& text, const AgentSettings& settings);

}  // namespace mirelo
