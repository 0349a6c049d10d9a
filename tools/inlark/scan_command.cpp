#include "tools/inlark/scan_command.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

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

// Days since 30 December 1899 with the time as a fraction, as text.
std::string DateText(double days) {
    if (days == 0) return {};
    using namespace std::chrono;
    const auto seconds = static_cast<long long>(days * 86400.0 + (days >= 0 ? 0.5 : -0.5));
    const sys_seconds when = sys_days(year(1899) / December / 30) + std::chrono::seconds(seconds);
    const sys_days day = floor<std::chrono::days>(when);
    const year_month_day ymd(day);
    const hh_mm_ss time(when - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
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

std::string Utf8Of(inlark::Pop3& pop3, void (inlark::Pop3::*get)(std::u16string*)) {
    std::u16string text;
    (pop3.*get)(&text);
    return ToUtf8(text);
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
    std::optional<std::vector<ListedMessage>> sizes = ReadListing(session);
    if (!sizes) return 1;
    std::optional<std::vector<ListedMessage>> uids = ReadUids(session);
    if (!uids) return 1;
    std::map<std::int32_t, std::string> uidOf;
    for (ListedMessage& entry : *uids) uidOf[entry.number] = std::move(entry.uid);
    inlark::Pop3& pop3 = session.Pop3();
    for (const ListedMessage& entry : *sizes) {
        if (!ReadHeader(session, entry.number)) return 1;
        ScanLine line{entry.number, entry.size, uidOf[entry.number], {}, {}, {}, {}};
        std::int32_t parsed = 0;
        pop3.MakeData(&parsed);
        if (parsed == 1) {
            double date = 0;
            pop3.GetDate(&date);
            line.date = DateText(date);
            line.fromName = Utf8Of(pop3, &inlark::Pop3::GetFromNickName);
            line.fromAddress = Utf8Of(pop3, &inlark::Pop3::GetFrom);
            line.subject = Utf8Of(pop3, &inlark::Pop3::GetSubject);
        }
        Print(line, json);
    }
    std::cout.flush();
    return session.QuitAfterReading("the scan above is complete");
}

}  // namespace inlark_tool
