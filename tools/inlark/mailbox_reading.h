#pragma once
// Reading a logged-in mailbox: listings with whole sizes, one message's header, a retrieved text.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/inlark/mailbox_session.h"

namespace inlark_tool {

struct ListedMessage {
    std::int32_t number = 0;
    std::uint64_t size = 0;
    std::string uid;  // as the server sent it (not yet safe for a terminal)
};

// STAT's message count and octets; failures are printed.
struct MailboxTotals {
    std::int32_t messages = 0;
    std::uint64_t octets = 0;
};
std::optional<MailboxTotals> ReadTotals(MailboxSession& session);

// One message's size from "LIST n"; a refusal (no such message) is printed with the server's text.
std::optional<std::uint64_t> ReadSize(MailboxSession& session, std::int32_t number);

// The LIST listing. The component keeps sizes in 32 bits, so a size it had to cap is asked again with
// "LIST n", whose reply line is read whole.
std::optional<std::vector<ListedMessage>> ReadListing(MailboxSession& session);

// The UIDL listing as (number, id) entries.
std::optional<std::vector<ListedMessage>> ReadUids(MailboxSession& session);

// The retrieved text of the last TOP_ or RETR as the server's bytes, without the end line.
std::string RetrievedBytes(inlark::Pop3& pop3);

// The header lines and the empty line after them; the whole text when there is no body.
std::string HeaderPart(const std::string& message);

// The header of message `number`. The component sends "TOP n" for a line count of 0, which some servers
// refuse, and cannot send "TOP n 0"; so one body line is asked for and cut off.
std::optional<std::string> ReadHeader(MailboxSession& session, std::int32_t number);

}  // namespace inlark_tool
