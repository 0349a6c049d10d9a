#pragma once
// The OK button of the settings dialog, apart from its widgets: the checks, the address-change
// confirmation, the taking steps, the log lines and the save, in that order.

#include <QString>
#include <functional>

#include "agent/config/agent_settings.h"
#include "agent/ui/env_form.h"

namespace mirelo {

class AgentLog;

enum class MessageIcon { Critical, Exclamation };

struct EnvCommitHooks {
    std::function<void(MessageIcon, const QString& title, const QString& text)> showMessage;
    // Asks for the server password with the unlock prompt (UnlockPassword already holds the expected
    // one); the answer is UnlockConfirmed.
    std::function<void()> askServerPassword;
    // Puts the focus into the box with this objectName (a refused value).
    std::function<void(const QString& control)> focusControl;
    std::function<void()> unload;
    std::function<void()> setCaption;
};

enum class EnvCommitResult { Saved, Refused };

// Runs OK on `form`. Before anything is logged or taken, a number box that is no 16-bit integer and a
// value the file would not give back are refused with a message. Then the steps: log the start; confirm
// a changed phone address with the server password (the one typed in the box when it was changed);
// take the fields step by step with the three numeric checks between them; save with mode "ALL" (a
// failure is shown and logged, and the dialog stays open); unload; log the end; set the caption.
EnvCommitResult CommitEnvironment(const EnvForm& form, AgentSettings& settings, const QString& programFolder,
                                  const AgentLog& log, const EnvCommitHooks& hooks);

}  // namespace mirelo
