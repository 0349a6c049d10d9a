#include "tools/inlark/mailbox_reading.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>

#include "mailcore/wide_text.h"
#include "tools/inlark/server_text.h"

namespace inlark_tool {

namespace {

std::string LastReplyBytes(inlark::Pop3& pop3) {
    std::u16string reply;
    pop3.GetMessage(&reply);
    return mailcore::WideToCp932(reply);
}

}  // namespace

std::optional<MailboxTotals> ReadTotals(MailboxSession& session) {
    if (!session.Run("STAT", CommandKind::kStatus,
                     [](inlark::Pop3& pop3, std::int32_t* result) { pop3.STAT(result); })) {
        return std::nullopt;
    }
    MailboxTotals totals;
    session.Pop3().GetNo(1, &totals.messages);
    totals.octets = SecondNumber(LastReplyBytes(session.Pop3())).value_or(0);
    return totals;
}

std::optional<std::uint64_t> ReadSize(MailboxSession& session, std::int32_t number) {
    const std::string what = "LIST " + std::to_string(number);
    if (!session.Run(what, CommandKind::kStatus,
                     [number](inlark::Pop3& pop3, std::int32_t* result) { pop3.LIST(number, result); })) {
        return std::nullopt;
    }
    return SecondNumber(LastReplyBytes(session.Pop3())).value_or(0);
}

namespace {

struct NumberedText {
    std::int32_t number = 0;
    std::string text;  // what follows the number in the listing, as UTF-8
};

// The entries of a whole LIST or UIDL listing.
std::optional<std::vector<NumberedText>> ReadNumberedListing(MailboxSession& session, const char* command,
                                                             void (inlark::Pop3::*call)(std::int32_t,
                                                                                        std::int32_t*)) {
    inlark::Pop3& pop3 = session.Pop3();
    if (!session.Run(command, CommandKind::kListing,
                     [call](inlark::Pop3& p, std::int32_t* result) { (p.*call)(0, result); })) {
        return std::nullopt;
    }
    std::int32_t count = 0;
    pop3.GetCount(&count);
    std::vector<NumberedText> list(static_cast<std::size_t>(std::max(count, 0)));
    for (std::int32_t i = 1; i <= count; ++i) {
        NumberedText& entry = list[static_cast<std::size_t>(i - 1)];
        std::u16string data;
        pop3.GetNo(i, &entry.number);
        pop3.GetData(i, &data);
        entry.text = ToUtf8(data);
    }
    return list;
}

}  // namespace

std::optional<std::vector<ListedMessage>> ReadListing(MailboxSession& session) {
    const auto listing = ReadNumberedListing(session, "LIST", &inlark::Pop3::LIST);
    if (!listing) return std::nullopt;
    std::vector<ListedMessage> list;
    for (const NumberedText& item : *listing) {
        ListedMessage entry;
        entry.number = item.number;
        // A size that is no number counts as 0.
        std::from_chars(item.text.data(), item.text.data() + item.text.size(), entry.size);
        // The component keeps sizes in 32 bits: a capped one is asked again and read whole.
        if (entry.size >= INT32_MAX) {
            std::optional<std::uint64_t> whole = ReadSize(session, entry.number);
            if (!whole) return std::nullopt;
            entry.size = *whole;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

std::optional<std::vector<ListedMessage>> ReadUids(MailboxSession& session) {
    const auto listing = ReadNumberedListing(session, "UIDL", &inlark::Pop3::UIDL);
    if (!listing) return std::nullopt;
    std::vector<ListedMessage> list;
    for (const NumberedText& item : *listing) list.push_back({item.number, 0, item.text});
    return list;
}

std::string RetrievedBytes(inlark::Pop3& pop3) {
    std::string bytes = LastReplyBytes(pop3);
    if (bytes.ends_with("\r\n.\r\n")) {
        bytes.resize(bytes.size() - 3);
    } else if (bytes == ".\r\n") {
        bytes.clear();
    }
    return bytes;
}

std::string HeaderPart(const std::string& message) {
    if (message.starts_with("\r\n")) return "\r\n";
    const std::size_t end = message.find("\r\n\r\n");
    return end == std::string::npos ? message : message.substr(0, end + 4);
}

std::optional<std::string> ReadHeader(MailboxSession& session, std::int32_t number) {
    if (!session.Run("TOP " + std::to_string(number) + " 1", CommandKind::kRetrieval,
                     [number](inlark::Pop3& pop3, std::int32_t* result) { pop3.TOP_(number, 1, result); })) {
        return std::nullopt;
    }
    return HeaderPart(RetrievedBytes(session.Pop3()));
}

}  // namespace inlark_tool
