#pragma once
// `inlark scan`: every message's number, size, unique id, date, sender and subject in one session.

#include "tools/inlark/mailbox_session.h"

namespace inlark_tool {

// One line per message, tab-separated, or a JSON object per line with `json`; returns the exit status.
int Scan(const MailboxOptions& options, bool json);

}  // namespace inlark_tool
