#pragma once
// Whether an attachment can be sent, asked before any connection is made.

#include <string>
#include <vector>

namespace outlark {

// True when `path` (Shift_JIS, or UTF-8 with `utf8`) names a regular file that this process can open for
// reading. A FIFO, a folder, a device, a missing file or one without read permission is not; a FIFO is never
// waited on.
bool AttachmentReadable(const std::string& path, bool utf8 = false);

// The first of `paths` that is not readable, or nullptr when all are.
const std::string* FirstUnreadableAttachment(const std::vector<std::string>& paths, bool utf8 = false);

}  // namespace outlark
