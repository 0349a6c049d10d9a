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

// The header of message `number` as the server sent it, asked for as "TOP n 0" (RFC 1939), which servers
// accept; "TOP n" alone is refused by some (Dovecot: "Noise after message number").
std::optional<std::string> ReadHeader(MailboxSession& session, std::int32_t number);

}  // namespace inlark_tool
