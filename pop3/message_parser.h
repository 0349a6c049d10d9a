#pragma once
// Takes a retrieved message (header lines, an empty line, the body, the end line ".") apart.

#include <optional>
#include <string>

#include "pop3/message_record.h"

namespace inlark {

// Nothing when the text does not parse: no empty line after the header section, a multipart message
// without its first or closing boundary. The record takes the text over; header texts come out decoded.
// With `decode_charsets` the message is read by today's standards instead (texts in UTF-8, see
// standard_parser.h).
[[nodiscard]] std::optional<MessageRecord> ParseMessage(std::string text, bool decode_charsets = false);

}  // namespace inlark
