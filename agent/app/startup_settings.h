#pragma once
// The settings the windowless agent starts with: Mirelo.ini must exist, be readable and name the servers,
// the phone and the login, since there is no wizard to ask for them.

#include <QString>
#include <vector>

#include "agent/config/agent_settings.h"
#include "agent/config/settings_file.h"

namespace mirelo {

struct StartupSettings {
    QString problem;  // empty when the settings are usable; otherwise one message naming what is missing
    std::vector<SettingCorrection> corrections;  // for the agent log
};

// Loads Mirelo.ini of `programFolder` into `settings`. Without POP3Server, SMTPServer, MailAddr1 or
// SvLogin no check can work: the problem names each one missing.
[[nodiscard]] StartupSettings LoadStartupSettings(const QString& programFolder, AgentSettings& settings);

}  // namespace mirelo
