#include "pop3/message_store.h"

#include <utility>

#include "mailcore/unicode_text.h"
#include "mailcore/wide_text.h"
#include "pop3/attachment_file.h"
#include "pop3/mail_date.h"
#include "pop3/message_parser.h"

namespace inlark {
namespace {

constexpr std::int32_t kIndexError = -5;

template <typename List, typename Field>
auto Indexed(const MessageRecord* r, const List MessageRecord::*list, std::int32_t lIndex,
             std::int32_t* last_error, Field field)
    -> decltype(field(std::declval<typename List::value_type>())) {
    if (!r) return {};
    const auto& entries = r->*list;
    if (lIndex < 1 || static_cast<std::size_t>(lIndex) > entries.size()) {
        if (last_error) *last_error = kIndexError;
        return {};
    }
    return field(entries[static_cast<std::size_t>(lIndex) - 1]);
}

}  // namespace

bool MessageStore::Make(std::string text, bool decode_charsets) {
    record_.reset();
    record_ = ParseMessage(std::move(text), decode_charsets);
    return record_.has_value();
}

std::string MessageStore::Sjis(const std::string& field) const {
    if (!record_ || !record_->utf8) return field;
    // Through UTF-16, so that a character CP932 cannot hold (one outside the BMP too) is one "?".
    return mailcore::WideToCp932(mailcore::Utf8ToUtf16(field));
}

std::u16string MessageStore::Wide(const std::string& field) const {
    if (record_ && record_->utf8) return mailcore::Utf8ToUtf16(field);
    return mailcore::Cp932ToWide(field);
}

std::string MessageStore::GetFromNickName() const {
    return record_ ? Sjis(record_->from_nick_name) : std::string();
}
std::string MessageStore::GetFrom() const { return record_ ? Sjis(record_->from) : std::string(); }
std::string MessageStore::GetSubject() const { return record_ ? Sjis(record_->subject) : std::string(); }
std::string MessageStore::GetReplyTo() const { return record_ ? Sjis(record_->reply_to) : std::string(); }
std::string MessageStore::GetBody() const { return record_ ? Sjis(record_->body) : std::string(); }

std::u16string MessageStore::GetFromNickNameW() const {
    return record_ ? Wide(record_->from_nick_name) : std::u16string();
}
std::u16string MessageStore::GetFromW() const { return record_ ? Wide(record_->from) : std::u16string(); }
std::u16string MessageStore::GetSubjectW() const {
    return record_ ? Wide(record_->subject) : std::u16string();
}
std::u16string MessageStore::GetReplyToW() const {
    return record_ ? Wide(record_->reply_to) : std::u16string();
}
std::u16string MessageStore::GetBodyW() const { return record_ ? Wide(record_->body) : std::u16string(); }

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
    return Indexed(Record(), &MessageRecord::to, i, e,
                   [this](const AddressEntry& a) { return Sjis(a.nick_name); });
}
std::u16string MessageStore::GetToNickNameW(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::to, i, e,
                   [this](const AddressEntry& a) { return Wide(a.nick_name); });
}
std::string MessageStore::GetTo(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::to, i, e,
                   [this](const AddressEntry& a) { return Sjis(a.address); });
}
std::u16string MessageStore::GetToW(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::to, i, e,
                   [this](const AddressEntry& a) { return Wide(a.address); });
}
std::string MessageStore::GetCcNickName(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::cc, i, e,
                   [this](const AddressEntry& a) { return Sjis(a.nick_name); });
}
std::u16string MessageStore::GetCcNickNameW(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::cc, i, e,
                   [this](const AddressEntry& a) { return Wide(a.nick_name); });
}
std::string MessageStore::GetCc(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::cc, i, e,
                   [this](const AddressEntry& a) { return Sjis(a.address); });
}
std::u16string MessageStore::GetCcW(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::cc, i, e,
                   [this](const AddressEntry& a) { return Wide(a.address); });
}
std::string MessageStore::GetBcNickName(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::bcc, i, e,
                   [this](const AddressEntry& a) { return Sjis(a.nick_name); });
}
std::u16string MessageStore::GetBcNickNameW(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::bcc, i, e,
                   [this](const AddressEntry& a) { return Wide(a.nick_name); });
}
std::string MessageStore::GetBc(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::bcc, i, e,
                   [this](const AddressEntry& a) { return Sjis(a.address); });
}
std::u16string MessageStore::GetBcW(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::bcc, i, e,
                   [this](const AddressEntry& a) { return Wide(a.address); });
}
std::string MessageStore::GetExMessage(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::ex_messages, i, e,
                   [this](const std::string& s) { return Sjis(s); });
}
std::u16string MessageStore::GetExMessageW(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::ex_messages, i, e,
                   [this](const std::string& s) { return Wide(s); });
}
std::string MessageStore::GetFileName(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::attachments, i, e,
                   [this](const Attachment& a) { return Sjis(a.file_name); });
}
std::u16string MessageStore::GetFileNameW(std::int32_t i, std::int32_t* e) const {
    return Indexed(Record(), &MessageRecord::attachments, i, e,
                   [this](const Attachment& a) { return Wide(a.file_name); });
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
    auto written = WriteFileInDirectory(directory, SafeAttachmentFileName(a->file_name, record_->utf8),
                                        *bytes, ExistingFile::kReplace);
    return written ? 1 : 0;
}

std::int32_t MessageStore::GetFileSize(std::int32_t lIndex) const {
    const Attachment* a = AttachmentAt(lIndex);
    if (!a) return 0;
    std::optional<mailcore::Bytes> bytes = DecodeAttachment(*record_, *a);
    return bytes ? static_cast<std::int32_t>(bytes->size()) : 0;
}

}  // namespace inlark
