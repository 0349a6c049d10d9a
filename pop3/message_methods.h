#pragma once
// The message half of the exported Pop3 class: the methods of MakeData to GetFileSize with their pVal and
// LastError results, UTF-16 at the boundary and Shift_JIS inside. Pop3 forwards to one of these.

#include <cstdint>
#include <string>

#include "pop3/message_store.h"

namespace inlark {

class MessageMethods {
  public:
    // `retrieved` is the engine's retrieved text, null when there is no engine or nothing was retrieved.
    void MakeData(const std::string* retrieved, std::int32_t* pVal);
    // Empty text or "0" stands for the retrieved text.
    void MakeDataEx(const std::u16string& strMessage, const std::string* retrieved, std::int32_t* pVal);
    // The record only; Pop3 also calls the engine's ClearResults, and does neither without an engine.
    void ReleaseData() { store_.Release(); }

    // Later parses read mail by today's standards (strMessage then crosses as UTF-8, not Shift_JIS).
    void SetDecodeCharsets(bool on) { decode_charsets_ = on; }
    bool DecodeCharsets() const { return decode_charsets_; }

    void GetFromNickName(std::u16string* pVal) const;
    void GetFrom(std::u16string* pVal) const;
    void GetSubject(std::u16string* pVal) const;
    void GetReplyTo(std::u16string* pVal) const;
    void GetBody(std::u16string* pVal) const;

    void GetToCount(std::int32_t* pVal) const;
    void GetCcCount(std::int32_t* pVal) const;
    void GetBcCount(std::int32_t* pVal) const;
    void GetExMessageCount(std::int32_t* pVal) const;
    void GetFileNameCount(std::int32_t* pVal) const;

    // lIndex from 1; outside 1..count gives empty text and *last_error = -5.
    void GetToNickName(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetTo(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetCcNickName(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetCc(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetBcNickName(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetBc(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetExMessage(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetFileName(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;

    // The same fields without the loss of the Shift_JIS boundary.
    void GetFromNickNameW(std::u16string* pVal) const;
    void GetFromW(std::u16string* pVal) const;
    void GetSubjectW(std::u16string* pVal) const;
    void GetReplyToW(std::u16string* pVal) const;
    void GetBodyW(std::u16string* pVal) const;
    void GetToNickNameW(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetToW(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetCcNickNameW(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetCcW(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetBcNickNameW(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetBcW(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetExMessageW(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;
    void GetFileNameW(std::int32_t lIndex, std::u16string* pVal, std::int32_t* last_error) const;

    // Automation date (days since 30 December 1899); 0 without a record or a valid date.
    void GetDate(double* pVal) const;

    void TransferToFile(std::int32_t lIndex, const std::u16string& strBaseDirectory, std::int32_t* pVal,
                        std::int32_t* last_error) const;
    void GetFileSize(std::int32_t lIndex, std::int32_t* pVal) const;

    const MessageStore& Store() const { return store_; }

  private:
    MessageStore store_;
    bool decode_charsets_ = false;
};

}  // namespace inlark
