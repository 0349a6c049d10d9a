#pragma once
// The engine's components backed by the real libraries: inlark::Pop3 and outlark::Smtp.

#include <memory>

#include "agent/engine/mail_components.h"

namespace mirelo {

[[nodiscard]] std::unique_ptr<Pop3Component> MakeLibraryPop3();
[[nodiscard]] std::unique_ptr<SmtpComponent> MakeLibrarySmtp();

}  // namespace mirelo
