#pragma once
// The component's one parsed message and the host's reads of it, in Shift_JIS; results and LastError
// values as the Pop3 methods hand them out.

#include <cstdint>
#include <optional>
#include <string>

#include "pop3/message_record.h"

namespace inlark {

class MessageStore {
  public:
    // Replaces the record; false (and no record) when the text does not parse.
    [[nodiscard]] bool Make(std::string text);
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

    // `directory` is a native (UTF-8) path. 1 written; 0 no record, index below 1 (with *last_error = -5),
    // data that does not decode, or a file that cannot be written; -3 no attachments; -2 index above count.
    std::int32_t TransferToFile(std::int32_t lIndex, const std::string& directory,
                                std::int32_t* last_error) const;
    std::int32_t GetFileSize(std::int32_t lIndex) const;

  private:
    const Attachment* AttachmentAt(std::int32_t lIndex) const;

    std::optional<MessageRecord> record_;
};

}  // namespace inlark
