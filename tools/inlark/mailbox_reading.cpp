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

std::string HeaderPart(const std::string& message) {
    if (message.starts_with("\r\n")) return "\r\n";
    const std::size_t end = message.find("\r\n\r\n");
    return end == std::string::npos ? message : message.substr(0, end + 4);
}

std::optional<std::string> ReadHeader(MailboxSession& session, std::int32_t number) {
    auto text = session.Check("TOP " + std::to_string(number) + " 1", CommandKind::kRetrieval,
                              session.Session().Top(number, 1));
    if (!text) return std::nullopt;
    return HeaderPart(*text);
}

}  // namespace inlark_tool
