#include "tools/inlark/scan_command.h"

#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "inlark/message.h"
#include "tools/inlark/mailbox_reading.h"
#include "tools/inlark/server_text.h"

namespace inlark_tool {

namespace {

struct ScanLine {
    std::int32_t number = 0;
    std::uint64_t size = 0;
    std::string uid;
    std::string date;  // "YYYY-MM-DD HH:MM:SS" in the sender's time; empty without a valid date
    std::string fromName;
    std::string fromAddress;
    std::string subject;
};

// "2026-12-07T09:30:15+09:00" as "2026-12-07 09:30:15": the sender's time, without the zone.
std::string DateText(const std::string& iso) {
    if (iso.size() < 19) return {};
    std::string text = iso.substr(0, 19);
    text[10] = ' ';
    return text;
}

// A field of a tab-separated line: safe, and without tabs of its own.
std::string Field(const std::string& text) {
    std::string safe = TerminalSafe(text);
    for (char& c : safe) {
        if (c == '\t') c = ' ';
    }
    return safe;
}

void Print(const ScanLine& line, bool json) {
    if (json) {
        const nlohmann::ordered_json record = {
            {"number", line.number},
            {"size", line.size},
            {"uid", TerminalSafe(line.uid)},
            {"date", line.date.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(line.date)},
            {"from", {{"name", TerminalSafe(line.fromName)}, {"address", TerminalSafe(line.fromAddress)}}},
            {"subject", TerminalSafe(line.subject)},
        };
        std::cout << record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
        return;
    }
    std::string sender = line.fromAddress;
    if (!line.fromName.empty()) sender = line.fromName + " <" + line.fromAddress + ">";
    std::cout << line.number << '\t' << line.size << '\t' << Field(line.uid) << '\t' << line.date << '\t'
              << Field(sender) << '\t' << Field(line.subject) << '\n';
}

}  // namespace

int Scan(const MailboxOptions& options, bool json) {
    MailboxSession session(options);
    if (!session.Open()) return 1;
    std::optional<std::vector<inlark::Pop3Listed>> sizes = ReadListing(session);
    if (!sizes) return 1;
    std::optional<std::vector<inlark::Pop3Listed>> uids = ReadUids(session);
    if (!uids) return 1;
    std::map<std::int32_t, std::string> uidOf;
    for (inlark::Pop3Listed& entry : *uids) uidOf[entry.number] = std::move(entry.uid);
    for (const inlark::Pop3Listed& entry : *sizes) {
        std::optional<std::string> header = ReadHeader(session, entry.number);
        if (!header) return 1;
        ScanLine line{entry.number, entry.octets, uidOf[entry.number], {}, {}, {}, {}};
        if (mailcore::Result<inlark::Message> parsed =
                inlark::ParseMessage(*header, {.decodeCharsets = true})) {
            line.date = DateText(parsed->dateIso);
            line.fromName = parsed->fromNickname;
            line.fromAddress = parsed->from;
            line.subject = parsed->subject;
        }
        Print(line, json);
    }
    std::cout.flush();
    return session.QuitAfterReading("the scan above is complete");
}

}  // namespace inlark_tool
