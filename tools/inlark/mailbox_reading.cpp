#include "tools/inlark/mailbox_reading.h"

namespace inlark_tool {

std::optional<inlark::Pop3Totals> ReadTotals(MailboxSession& session) {
    return session.Check("STAT", CommandKind::kStatus, session.Session().Stat());
}

std::optional<std::vector<inlark::Pop3Listed>> ReadListing(MailboxSession& session) {
    return session.Check("LIST", CommandKind::kListing, session.Session().List());
}

std::optional<std::vector<inlark::Pop3Listed>> ReadUids(MailboxSession& session) {
    return session.Check("UIDL", CommandKind::kListing, session.Session().Uidl());
}

std::optional<std::string> ReadHeader(MailboxSession& session, std::int32_t number) {
    return session.Check("TOP " + std::to_string(number) + " 0", CommandKind::kRetrieval,
                         session.Session().Top(number, 0));
}

}  // namespace inlark_tool
