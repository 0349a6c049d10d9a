#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "smtp/composed_message.h"

namespace outlark {

// What composition takes from the machine, so tests can fix it.
struct ComposeContext {
    std::uint32_t tick_count = 0;  // milliseconds since boot; names the MIME boundary
    std::time_t now = 0;           // the Date header
    std::chrono::milliseconds attachment_pause{50};
};

ComposeContext CurrentComposeContext();

// The complete message text for `body` (Shift_JIS; UTF-8 for a UTF-8 message), ending with the line "." that
// closes the SMTP data. Dots at line starts are not doubled here; that belongs to the transport.
std::string ComposeMessage(const ComposedMessage& message, std::string_view body,
                           const ComposeContext& context = CurrentComposeContext());

// Base64 in lines of 76 characters; every full line ends in CR LF, the last shorter one does not.
std::string Base64Lines(std::string_view bytes);

}  // namespace outlark
