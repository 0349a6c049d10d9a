#pragma once
// Addresses of the From, To, Cc and Bcc lines, split the way the component always has.

#include <cstddef>
#include <string_view>
#include <vector>

#include "pop3/message_record.h"

namespace inlark {

struct SplitResult {
    AddressEntry entry;   // raw, not yet decoded
    std::size_t end = 0;  // position in the text just after what the address used
};

// One address starting at `pos`; only the rest of that line (up to CR or LF) is looked at.
SplitResult SplitAddress(std::string_view text, std::size_t pos);

// A list: a further address is looked for only after a "," on the same line, from the next space on (or
// from the next continuation line when the line has no further space).
std::vector<AddressEntry> SplitAddressList(std::string_view text, std::size_t pos);

}  // namespace inlark
