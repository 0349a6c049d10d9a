#include "pop3/message_methods.h"

#include <utility>

#include "mailcore/iconv_converter.h"
#include "mailcore/unicode_text.h"
#include "mailcore/wide_text.h"

namespace inlark {
namespace {

void Put(std::u16string* pVal, const std::string& sjis) {
    if (pVal) *pVal = mailcore::Cp932ToWide(sjis);
}

void Put(std::u16string* pVal, std::u16string text) {
    if (pVal) *pVal = std::move(text);
}

void Put(std::int32_t* pVal, std::int32_t value) {
    if (pVal) *pVal = value;
}

// A directory name may hold any character, not only those CP932 knows: straight to UTF-8.
std::string NativePath(const std::u16string& path) {
    static_assert(sizeof(char16_t) == 2);
    const mailcore::IconvConverter to_utf8("UTF-8", "UTF-16LE");
    std::string bytes;
    bytes.reserve(path.size() * 2);
    for (char16_t c : path) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return to_utf8.Convert(bytes, "?", 2);
}

}  // namespace

void MessageMethods::MakeData(const std::string* retrieved, std::int32_t* pVal) {
    if (!retrieved) {
        Put(pVal, 0);
        return;
    }
    Put(pVal, store_.Make(*retrieved, decode_charsets_) ? 1 : 0);
}

void MessageMethods::MakeDataEx(const std::u16string& strMessage, const std::string* retrieved,
                                std::int32_t* pVal) {
    if (strMessage.empty() || strMessage == u"0") {
        MakeData(retrieved, pVal);
        return;
    }
    std::string text =
        decode_charsets_ ? mailcore::Utf16ToUtf8(strMessage) : mailcore::WideToCp932(strMessage);
    Put(pVal, store_.Make(std::move(text), decode_charsets_) ? 1 : 0);
}

void MessageMethods::GetFromNickName(std::u16string* pVal) const { Put(pVal, store_.GetFromNickName()); }
void MessageMethods::GetFrom(std::u16string* pVal) const { Put(pVal, store_.GetFrom()); }
void MessageMethods::GetSubject(std::u16string* pVal) const { Put(pVal, store_.GetSubject()); }
void MessageMethods::GetReplyTo(std::u16string* pVal) const { Put(pVal, store_.GetReplyTo()); }
void MessageMethods::GetBody(std::u16string* pVal) const { Put(pVal, store_.GetBody()); }

void MessageMethods::GetToCount(std::int32_t* pVal) const { Put(pVal, store_.GetToCount()); }
void MessageMethods::GetCcCount(std::int32_t* pVal) const { Put(pVal, store_.GetCcCount()); }
void MessageMethods::GetBcCount(std::int32_t* pVal) const { Put(pVal, store_.GetBcCount()); }
void MessageMethods::GetExMessageCount(std::int32_t* pVal) const { Put(pVal, store_.GetExMessageCount()); }
void MessageMethods::GetFileNameCount(std::int32_t* pVal) const { Put(pVal, store_.GetFileNameCount()); }

void MessageMethods::GetToNickName(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetToNickName(i, e));
}
void MessageMethods::GetTo(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetTo(i, e));
}
void MessageMethods::GetCcNickName(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetCcNickName(i, e));
}
void MessageMethods::GetCc(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetCc(i, e));
}
void MessageMethods::GetBcNickName(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetBcNickName(i, e));
}
void MessageMethods::GetBc(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetBc(i, e));
}
void MessageMethods::GetExMessage(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetExMessage(i, e));
}
void MessageMethods::GetFileName(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetFileName(i, e));
}

void MessageMethods::GetFromNickNameW(std::u16string* pVal) const { Put(pVal, store_.GetFromNickNameW()); }
void MessageMethods::GetFromW(std::u16string* pVal) const { Put(pVal, store_.GetFromW()); }
void MessageMethods::GetSubjectW(std::u16string* pVal) const { Put(pVal, store_.GetSubjectW()); }
void MessageMethods::GetReplyToW(std::u16string* pVal) const { Put(pVal, store_.GetReplyToW()); }
void MessageMethods::GetBodyW(std::u16string* pVal) const { Put(pVal, store_.GetBodyW()); }

void MessageMethods::GetToNickNameW(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetToNickNameW(i, e));
}
void MessageMethods::GetToW(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetToW(i, e));
}
void MessageMethods::GetCcNickNameW(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetCcNickNameW(i, e));
}
void MessageMethods::GetCcW(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetCcW(i, e));
}
void MessageMethods::GetBcNickNameW(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetBcNickNameW(i, e));
}
void MessageMethods::GetBcW(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetBcW(i, e));
}
void MessageMethods::GetExMessageW(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetExMessageW(i, e));
}
void MessageMethods::GetFileNameW(std::int32_t i, std::u16string* pVal, std::int32_t* e) const {
    Put(pVal, store_.GetFileNameW(i, e));
}

void MessageMethods::GetDate(double* pVal) const {
    if (pVal) *pVal = store_.GetDate();
}

void MessageMethods::TransferToFile(std::int32_t lIndex, const std::u16string& strBaseDirectory,
                                    std::int32_t* pVal, std::int32_t* last_error) const {
    Put(pVal, store_.TransferToFile(lIndex, NativePath(strBaseDirectory), last_error));
}

void MessageMethods::GetFileSize(std::int32_t lIndex, std::int32_t* pVal) const {
    Put(pVal, store_.GetFileSize(lIndex));
}

}  // namespace inlark
