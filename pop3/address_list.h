#pragma once
// Address lists read by RFC 5322 as mail programs write them: groups, comments, quoted names, encoded
// words, folding. For the reading by today's standards.

#include <string_view>
#include <vector>

#include "pop3/message_record.h"

namespace inlark {

// `value` is the raw header value (folding allowed). Display names come out decoded, as UTF-8; a comment
// stands for the name when the address has none. Group names are dropped, their members kept.
std::vector<AddressEntry> ParseAddressList(std::string_view value);

}  // namespace inlark
