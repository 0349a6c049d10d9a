#pragma once
// The two mail components of one waiting period, and how to make them; a factory that leaves one out
// gets the library's.

#include <functional>
#include <memory>

#include "agent/engine/mail_components.h"

namespace mirelo {

struct EngineComponents {
    std::unique_ptr<Pop3Component> pop3;
    std::unique_ptr<SmtpComponent> smtp;
};
// Called on the engine's thread, which then owns what it made.
using ComponentsFactory = std::function<EngineComponents()>;

}  // namespace mirelo
