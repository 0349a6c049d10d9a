#pragma once
// The component's one parsed message and the host's reads of it, in Shift_JIS (a character CP932 cannot
// hold becomes "?"), and without that loss as UTF-16 (the ...W reads); results and LastError values as
// the Pop3 methods hand them out.

#include <cstdint>
#include <optional>
#include <string>

#include "pop3/message_record.h"

namespace inlark {

class MessageStore {
  public:
    // Replaces the record; false (and no record) when the text does not parse. With `decode_charsets`
    // the text is read by today's standards (see standard_parser.h).
    [[nodiscard]] bool Make(std::string text, bool decode_charsets = false);
    void Release() { record_.reset(); }
    const MessageRecord* Record() const { return record_ ? &*record_ : nullptr; }

    std::string GetFromNickName() const;
    std::string GetFrom() const;
    std::string GetSubject() const;
    std::string GetReplyTo() const;
    std::string GetBody() const;

    std::int32_t GetToCount() const;
    std::int32_t GetCcCount() const;
    std::int32_t GetBcCount() const;
    std::int32_t GetExMessageCount() const;
    std::int32_t GetFileNameCount() const;

    // lIndex from 1; outside 1..count: empty text and *last_error = -5 (untouched without a record).
    std::string GetToNickName(std::int32_t lIndex, std::int32_t* last_error) const;
    std::string GetTo(std::int32_t lIndex, std::int32_t* last_error) const;
    std::string GetCcNickName(std::int32_t lIndex, std::int32_t* last_error) const;
    std::string GetCc(std::int32_t lIndex, std::int32_t* last_error) const;
    std::string GetBcNickName(std::int32_t lIndex, std::int32_t* last_error) const;
    std::string GetBc(std::int32_t lIndex, std::int32_t* last_error) const;
    std::string GetExMessage(std::int32_t lIndex, std::int32_t* last_error) const;
    std::string GetFileName(std::int32_t lIndex, std::int32_t* last_error) const;

    double GetDate() const;

    // The same fields without loss.
    std::u16string GetFromNickNameW() const;
    std::u16string GetFromW() const;
    std::u16string GetSubjectW() const;
    std::u16string GetReplyToW() const;
    std::u16string GetBodyW() const;
    std::u16string GetToNickNameW(std::int32_t lIndex, std::int32_t* last_error) const;
    std::u16string GetToW(std::int32_t lIndex, std::int32_t* last_error) const;
    std::u16string GetCcNickNameW(std::int32_t lIndex, std::int32_t* last_error) const;
    std::u16string GetCcW(std::int32_t lIndex, std::int32_t* last_error) const;
    std::u16string GetBcNickNameW(std::int32_t lIndex, std::int32_t* last_error) const;
    std::u16string GetBcW(std::int32_t lIndex, std::int32_t* last_error) const;
    std::u16string GetExMessageW(std::int32_t lIndex, std::int32_t* last_error) const;
    std::u16string GetFileNameW(std::int32_t lIndex, std::int32_t* last_error) const;

    // `directory` is a native (UTF-8) path. 1 written; 0 no record, index below 1 (with *last_error = -5),
    // data that does not decode, or a file that cannot be written; -3 no attachments; -2 index above count.
    std::int32_t TransferToFile(std::int32_t lIndex, const std::string& directory,
                                std::int32_t* last_error) const;
    std::int32_t GetFileSize(std::int32_t lIndex) const;

  private:
    const Attachment* AttachmentAt(std::int32_t lIndex) const;
    // A field of the record as Shift_JIS, and as UTF-16 without loss.
    std::string Sjis(const std::string& field) const;
    std::u16string Wide(const std::string& field) const;

    std::optional<MessageRecord> record_;
};

}  // namespace inlark
