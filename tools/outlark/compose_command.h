#pragma once

#include <CLI/CLI.hpp>

#include "mail_options.h"

namespace outlark_tool {

// Writes the composed message (without the SMTP closing line) to standard output; the exit status.
int RunCompose(const MailOptions& options, const std::vector<std::string>& headers,
               const std::vector<std::string>& cc, const std::vector<std::string>& bc,
               const std::optional<std::string>& reply_to);

}  // namespace outlark_tool
