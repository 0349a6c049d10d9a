#pragma once
// Reading a message by today's standards, beside the component's own reading: every charset iconv knows,
// RFC 2047 and RFC 2231 names, RFC 5322 addresses and unfolding, nested multiparts, HTML-only mail,
// message/rfc822 parts, uuencoded files inside text parts. Lines may end in CR LF or LF alone.

#include "pop3/message_record.h"

namespace inlark {

// Fills `record` from record.text; every text comes out as UTF-8 (record.utf8 set). Structure faults are
// tolerated (a missing closing boundary ends the part at the end of the text, a multipart without any
// boundary line is read as text). False only when the text holds no header field at all.
[[nodiscard]] bool ParseStandardMessage(MessageRecord& record);

}  // namespace inlark
