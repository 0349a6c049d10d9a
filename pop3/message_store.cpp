#include "pop3/message_store.h"

#include <utility>

#include "pop3/attachment_file.h"
#include "pop3/mail_date.h"
#include "pop3/message_parser.h"

namespace inlark {
namespace {

constexpr std::int32_t kIndexError = -5;

template <typename List, typename Field>
std::string Indexed(const MessageRecord* r, const List MessageRecord::*list, std::int32_t lIndex,
                    std::int32_t* last_error, Field field) {
    if (!r) return {};
    const auto& entries = r->*list;
    if (lIndex < 1 || static_cast<std::size_t>(lIndex) > entries.size()) {
        if (last_error) *last_error = kIndexError;
        return {};
    }
    return field(entries[static_cast<std::size_t>(lIndex) - 1]);
}

std::string Nick(const AddressEntry& e) { return e.nick_name; }
std::string Address(const AddressEntry& e) { return e.address; }

}  // namespace

bool MessageStore::Make(std::string text) {
    record_.reset();
    record_ = ParseMessage(std::move(text));
    return record_.has_value();
}

std::string MessageStore::GetFromNickName() const {
    return record_ ? record_->from_nick_name : std::string();
}
std::string MessageStore::GetFrom() const { return record_ ? record_->from : std::string(); }
std::string MessageStore::GetSubject() const { return record_ ? record_->subject : std::string(); }
std::string MessageStore::GetReplyTo() const { return record_ ? record_->reply_to : std::string(); }
std::string MessageStore::GetBody() const { return record_ ? record_->body : std::string(); }

std::int32_t MessageStore::GetToCount() const {
    return record_ ? static_cast<std::int32_t>(record_->to.size()) : 0;
}
std::int32_t MessageStore::GetCcCount() const {
    return record_ ? static_cast<std::int32_t>(record_->cc.size()) : 0;
}
std::int32_t MessageStore::GetBcCount() const {
    return record_ ? static_cast<std::int32_t>(record_->bcc.size()) : 0;
}
std::int32_t MessageStore::GetExMessageCount() const {
    return record_ ? static_cast<std::int32_t>(record_->ex_messages.size()) : 0;
}
std::int32_t MessageStore::GetFileNameCount() const {
    return record_ ? static_cast<std::int32_t>(record_->attachments.size()) : 0;
}

std::string MessageStore::GetToNickName(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::to, i, e, Nick);
}
std::string MessageStore::GetTo(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::to, i, e, Address);
}
std::string MessageStore::GetCcNickName(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::cc, i, e, Nick);
}
std::string MessageStore::GetCc(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::cc, i, e, Address);
}
std::string MessageStore::GetBcNickName(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::bcc, i, e, Nick);
}
std::string MessageStore::GetBc(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::bcc, i, e, Address);
}
std::string MessageStore::GetExMessage(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::ex_messages, i, e, [](const std::string& s) { return s; });
}
std::string MessageStore::GetFileName(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::attachments, i, e,
                   [](const Attachment& a) { return a.file_name; });
}

double MessageStore::GetDate() const { return record_ ? AutomationDate(record_->date) : 0; }

const Attachment* MessageStore::AttachmentAt(std::int32_t lIndex) const {
    if (!record_ || lIndex < 1 || static_cast<std::size_t>(lIndex) > record_->attachments.size())
        return nullptr;
    return &record_->attachments[static_cast<std::size_t>(lIndex) - 1];
}

std::int32_t MessageStore::TransferToFile(std::int32_t lIndex, const std::string& directory,
                                          std::int32_t* last_error) const {
    if (lIndex <= 0) {
        if (last_error) *last_error = kIndexError;
        return 0;
    }
    if (!record_) return 0;
    if (record_->attachments.empty()) return -3;
    const Attachment* a = AttachmentAt(lIndex);
    if (!a) return -2;
    std::optional<mailcore::Bytes> bytes = DecodeAttachment(*record_, *a);
    if (!bytes) return 0;
    auto written =
        WriteFileInDirectory(directory, SafeAttachmentFileName(a->file_name), *bytes, ExistingFile::kReplace);
    return written ? 1 : 0;
}

std::int32_t MessageStore::GetFileSize(std::int32_t lIndex) const {
    const Attachment* a = AttachmentAt(lIndex);
    if (!a) return 0;
    std::optional<mailcore::Bytes> bytes = DecodeAttachment(*record_, *a);
    return bytes ? static_cast<std::int32_t>(bytes->size()) : 0;
}

}  // namespace inlark
