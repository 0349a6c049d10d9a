#include "pop3/pop3_engine.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "mailcore/large_buffer.h"

namespace inlark {

namespace {

using mailcore::kResultBadArgument;
using mailcore::kResultPasswordTooLong;
using mailcore::kResultUserTooLong;
using mailcore::ReplyMode;

constexpr std::string_view kEndOfMessage = "\r\n.\r\n";
// Beyond the announced size: stuffed dots, the end line, and one receive that may ask for more room.
constexpr std::uint64_t kReadSlack = 512 * 1024;

std::int32_t ClampedSize(std::size_t size) {
    return static_cast<std::int32_t>(std::min<std::size_t>(size, INT32_MAX));
}

}  // namespace

Pop3Engine::~Pop3Engine() { Disconnect(); }

void Pop3Engine::ClearResults() {
    std::vector<ListEntry>().swap(sizes_);
    std::vector<UidEntry>().swap(ids_);
    std::string().swap(retrieved_);
    count_ = 0;
}

bool Pop3Engine::Positive(const std::string& line) {
    if (!Exchange(line)) return false;
    if (IsPositive(LastReply())) return true;
    RecordReplyFailure(LastReply().starts_with("-ERR") ? mailcore::FailureKind::NegativeReply
                                                       : mailcore::FailureKind::MalformedReply,
                       LastReply(), mailcore::CommandDetail(line));
    return false;
}

bool Pop3Engine::Malformed(const std::string& line) {
    RecordReplyFailure(mailcore::FailureKind::MalformedReply, LastReply(), mailcore::CommandDetail(line));
    return false;
}

std::int32_t Pop3Engine::Simple(std::string line) {
    return Execute([this, line = std::move(line)] { return Positive(line); });
}

std::int32_t Pop3Engine::Authorize(const std::string& user, const std::string& password) {
    if (user.empty() || !mailcore::FitsOnCommandLine(user) || !mailcore::FitsOnCommandLine(password)) {
        return kResultBadArgument;
    }
    if (user.size() > kMaxCredentialLength) return kResultUserTooLong;
    if (password.size() > kMaxCredentialLength) return kResultPasswordTooLong;
    return Execute([this, user, password] {
        return Positive(CommandLine(Pop3Word::kUser, user)) &&
               Positive(CommandLine(Pop3Word::kPass, password));
    });
}

std::int32_t Pop3Engine::User(const std::string& user) {
    if (user.empty() || !mailcore::FitsOnCommandLine(user)) return kResultBadArgument;
    if (user.size() > kMaxCredentialLength) return kResultUserTooLong;
    return Simple(CommandLine(Pop3Word::kUser, user));
}

std::int32_t Pop3Engine::Pass(const std::string& password) {
    if (!mailcore::FitsOnCommandLine(password)) return kResultBadArgument;
    if (password.size() > kMaxCredentialLength) return kResultPasswordTooLong;
    return Simple(CommandLine(Pop3Word::kPass, password));
}

std::int32_t Pop3Engine::Stat() {
    return Execute(
        [this] {
            const std::string line = CommandLine(Pop3Word::kStat);
            if (!Positive(line)) return false;
            auto entry = ParseTwoNumbers(LastReply());
            if (!entry) return Malformed(line);
            sizes_.assign(1, *entry);
            count_ = 1;
            return true;
        },
        true);
}

std::int32_t Pop3Engine::List(std::int32_t lNo) {
    if (lNo < 0) return kResultBadArgument;
    if (lNo == 0) return Execute([this] { return ReadListing(Pop3Word::kList); }, true);
    return Execute(
        [this, lNo] {
            const std::string line = CommandLine(Pop3Word::kList, lNo);
            if (!Positive(line)) return false;
            auto entry = ParseTwoNumbers(LastReply());
            if (!entry) return Malformed(line);
            sizes_.assign(1, *entry);
            count_ = 1;
            return true;
        },
        true);
}

std::int32_t Pop3Engine::Last() {
    return Execute(
        [this] {
            if (!Positive(CommandLine(Pop3Word::kLast))) return false;
            count_ = LeadingNumber(std::string_view(LastReply()).substr(3));
            return true;
        },
        true);
}

std::int32_t Pop3Engine::Uidl(std::int32_t lNo) {
    if (lNo < 0) return kResultBadArgument;
    if (lNo == 0) return Execute([this] { return ReadListing(Pop3Word::kUidl); }, true);
    return Execute(
        [this, lNo] {
            const std::string line = CommandLine(Pop3Word::kUidl, lNo);
            if (!Positive(line)) return false;
            auto entry = ParseNumberAndId(LastReply());
            if (!entry) return Malformed(line);
            ids_.assign(1, std::move(*entry));
            count_ = 1;
            return true;
        },
        true);
}

std::int32_t Pop3Engine::Top(std::int32_t lNo, std::int32_t lLine) {
    if (lNo <= 0) return kResultBadArgument;
    std::string line =
        lLine != 0 ? CommandLine(Pop3Word::kTop, lNo, lLine) : CommandLine(Pop3Word::kTop, lNo);
    return Execute([this, line = std::move(line)] { return Retrieve(line); }, true);
}

std::int32_t Pop3Engine::TopLines(std::int32_t lNo, std::int32_t lLine) {
    if (lNo <= 0 || lLine < 0) return kResultBadArgument;
    return Execute([this, line = CommandLine(Pop3Word::kTop, lNo, lLine)] { return Retrieve(line); }, true);
}

std::int32_t Pop3Engine::Retr(std::int32_t lNo) {
    if (lNo <= 0) return kResultBadArgument;
    return Execute([this, line = CommandLine(Pop3Word::kRetr, lNo)] { return Retrieve(line); }, true);
}

std::int32_t Pop3Engine::Dele(std::int32_t lNo) {
    if (lNo <= 0) return kResultBadArgument;
    return Simple(CommandLine(Pop3Word::kDele, lNo));
}

std::int32_t Pop3Engine::Noop() { return Simple(CommandLine(Pop3Word::kNoop)); }

std::int32_t Pop3Engine::Rset() { return Simple(CommandLine(Pop3Word::kRset)); }

std::int32_t Pop3Engine::Quit() {
    return Execute([this] {
        if (!Positive(CommandLine(Pop3Word::kQuit))) return false;  // the connection stays open
        CloseConnection();
        return true;
    });
}

bool Pop3Engine::ReadListing(Pop3Word word) {
    const std::string command = CommandLine(word);
    const std::string detail = mailcore::CommandDetail(command);
    std::string line;
    if (Transport().SendText(command) <= 0 || !Transport().ReadReply(line, ReplyMode::OneLine)) {
        RecordTransportFailure(detail);
        SetLastReply({});
        return false;
    }
    SetLastReply(line);
    if (!IsPositive(line)) {
        RecordReplyFailure(line.starts_with("-ERR") ? mailcore::FailureKind::NegativeReply
                                                    : mailcore::FailureKind::MalformedReply,
                           line, detail);
        return false;
    }
    // The whole listing is held to the reply limit too, so a server that never ends it cannot make the
    // list grow without bound.
    std::size_t total = line.size();
    for (;;) {
        if (!Transport().ReadReply(line, ReplyMode::OneLine)) {
            RecordTransportFailure(detail);
            return false;
        }
        total += line.size();
        if (total >= Socket().ReplyLimit()) {
            RecordFailure({mailcore::FailureKind::ReplyTooLong, 0, {}, detail});
            return false;
        }
        if (IsEndLine(line)) break;
        if (word == Pop3Word::kList) {
            sizes_.push_back(ParseSizeLine(line));
        } else {
            ids_.push_back(ParseIdLine(line));
        }
    }
    count_ = ClampedSize(word == Pop3Word::kList ? sizes_.size() : ids_.size());
    return true;
}

bool Pop3Engine::Retrieve(const std::string& line) {
    if (!Positive(line)) return false;
    std::string text;
    // Servers announce the size ("+OK 9559796 octets"): room for it at once spares the reader growing the
    // text, copying it each time, and touching fresh pages one by one.
    if (const std::uint64_t octets = LeadingSize(std::string_view(LastReply()).substr(3)); octets > 0) {
        const std::uint64_t room = octets + octets / 32 + kReadSlack;
        mailcore::ReserveLarge(
            text, static_cast<std::size_t>(std::min<std::uint64_t>(room, Socket().ReplyLimit())));
    }
    if (!Transport().ReadReply(text, ReplyMode::UntilTerminator, kEndOfMessage)) {
        RecordTransportFailure(mailcore::CommandDetail(line));
        return false;
    }
    mailcore::DotUnstuff(text);
    retrieved_ = std::move(text);
    count_ = ClampedSize(retrieved_.size());
    return true;
}

std::int32_t Pop3Engine::GetNo(std::int32_t lIndex) const {
    if (lIndex < 1 || lIndex > count_) return kResultBadArgument;
    auto index = static_cast<std::size_t>(lIndex - 1);
    if (!sizes_.empty()) return index < sizes_.size() ? sizes_[index].number : -1;
    if (!ids_.empty()) return index < ids_.size() ? ids_[index].number : -1;
    return -1;
}

std::optional<std::string> Pop3Engine::GetData(std::int32_t lIndex) const {
    if (count_ == 0 || lIndex < 1 || lIndex > count_) return std::nullopt;
    auto index = static_cast<std::size_t>(lIndex - 1);
    if (!sizes_.empty()) return index < sizes_.size() ? DecimalText(sizes_[index].size) : std::string();
    if (!ids_.empty() && index < ids_.size()) {
        std::string_view id = ids_[index].id;
        if (id.ends_with("\r\n")) {
            id.remove_suffix(2);
        } else if (id.ends_with('\n')) {
            id.remove_suffix(1);
        }
        return std::string(id);
    }
    return std::string();
}

}  // namespace inlark
