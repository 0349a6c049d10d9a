#pragma once
// Reading a logged-in mailbox: totals, listings with whole sizes, one message's header.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/inlark/mailbox_session.h"

namespace inlark_tool {

// STAT's message count and octets; failures are printed.
std::optional<inlark::Pop3Totals> ReadTotals(MailboxSession& session);

// The LIST listing (sizes) and the UIDL listing (ids, as the server sent them).
std::optional<std::vector<inlark::Pop3Listed>> ReadListing(MailboxSession& session);
std::optional<std::vector<inlark::Pop3Listed>> ReadUids(MailboxSession& session);

// The header lines and the empty line after them; the whole text when there is no body.
std::string HeaderPart(const std::string& message);

// The header of message `number`, asked for as "TOP n 1" and cut, since servers differ in what they make
// of "TOP n" and "TOP n 0".
std::optional<std::string> ReadHeader(MailboxSession& session, std::int32_t number);

}  // namespace inlark_tool
