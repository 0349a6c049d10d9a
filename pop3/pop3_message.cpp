// The message methods of the exported Pop3 class: parsing the retrieved text and reading the record.
#include "inlark/pop3.h"
#include "mailcore/control_shell.h"
#include "pop3/pop3_state.h"

namespace inlark {

void Pop3::MakeData(std::int32_t* pVal) { MakeDataEx(u"", pVal); }

void Pop3::MakeDataEx(const std::u16string& strMessage, std::int32_t* pVal) {
    state_->shell.Guard(pVal, [&] {
        // The retrieved text counts only from an engine that is not running a command.
        const Pop3Engine* engine = state_->Idle();
        const std::string* retrieved =
            engine != nullptr && !engine->RetrievedText().empty() ? &engine->RetrievedText() : nullptr;
        state_->message.MakeDataEx(strMessage, retrieved, pVal);
    });
}

void Pop3::GetFromNickName(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetFromNickName(pVal); });
}
void Pop3::GetFrom(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetFrom(pVal); });
}
void Pop3::GetSubject(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetSubject(pVal); });
}
void Pop3::GetReplyTo(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetReplyTo(pVal); });
}
void Pop3::GetBody(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetBody(pVal); });
}

void Pop3::GetToCount(std::int32_t* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetToCount(pVal); });
}
void Pop3::GetCcCount(std::int32_t* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetCcCount(pVal); });
}
void Pop3::GetBcCount(std::int32_t* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetBcCount(pVal); });
}
void Pop3::GetExMessageCount(std::int32_t* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetExMessageCount(pVal); });
}
void Pop3::GetFileNameCount(std::int32_t* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetFileNameCount(pVal); });
}

void Pop3::GetToNickName(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetToNickName(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetTo(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetTo(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetCcNickName(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetCcNickName(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetCc(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetCc(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetBcNickName(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetBcNickName(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetBc(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetBc(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetExMessage(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetExMessage(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetFileName(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetFileName(lIndex, pVal, &state_->lastError); });
}

void Pop3::GetFromNickNameW(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetFromNickNameW(pVal); });
}
void Pop3::GetFromW(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetFromW(pVal); });
}
void Pop3::GetSubjectW(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetSubjectW(pVal); });
}
void Pop3::GetReplyToW(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetReplyToW(pVal); });
}
void Pop3::GetBodyW(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetBodyW(pVal); });
}
void Pop3::GetToNickNameW(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetToNickNameW(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetToW(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetToW(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetCcNickNameW(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetCcNickNameW(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetCcW(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetCcW(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetBcNickNameW(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetBcNickNameW(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetBcW(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetBcW(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetExMessageW(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetExMessageW(lIndex, pVal, &state_->lastError); });
}
void Pop3::GetFileNameW(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetFileNameW(lIndex, pVal, &state_->lastError); });
}

void Pop3::GetDate(double* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetDate(pVal); });
}

void Pop3::TransferToFile(std::int32_t lIndex, const std::u16string& strBaseDirectory, std::int32_t* pVal) {
    state_->shell.Guard(
        pVal, [&] { state_->message.TransferToFile(lIndex, strBaseDirectory, pVal, &state_->lastError); });
}

void Pop3::GetFileSize(std::int32_t lIndex, std::int32_t* pVal) {
    state_->shell.Guard(pVal, [&] { state_->message.GetFileSize(lIndex, pVal); });
}

}  // namespace inlark
