#include "inlark/pop3.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "mailcore/unicode_text.h"
#include "mailcore/wide_text.h"
#include "pop3/pop3_state.h"

namespace inlark {

namespace {

using mailcore::Cp932ToWide;
using mailcore::WideToCp932;

std::int32_t SecondsToMs(std::int32_t seconds) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{seconds} * 1000, INT32_MIN, INT32_MAX));
}

}  // namespace

void Pop3::State::Connect(const char* method, const std::u16string& server,
                          mailcore::MailEngine::Resolution resolution, std::int32_t* pVal) {
    shell.Guard(pVal, [&] {
        lastCommandRetrievedText = false;
        // A connect ends the message record, also one made by MakeDataEx before any engine existed.
        ReleaseRecord();
        if (!engine) engine = std::make_unique<Pop3Engine>();
        Pop3Engine* current = Engine();
        if (!current->IsBusy() && !current->IsConnected()) {
            // Handed over before the connect, so no worker reading the greeting ever races with them.
            current->Socket().SetSendTimeout(sendTimeoutMs);
            current->Socket().SetReceiveTimeout(recvTimeoutMs);
            current->SetDisconnectWait(disconnectWait);
            current->SetSecurity(
                {static_cast<mailcore::Security>(security), mailcore::Utf16ToUtf8(trustFile)});
        }
        const std::string host = WideToCp932(server);
        mailcore::Put(pVal, shell.Connect(method, *current,
                                          [&](Pop3Engine& e) { return e.Connect(host, port, resolution); }));
        NoteTlsVerdict();
    });
}

void Pop3::State::NoteTlsVerdict() {
    if (!engine) return;
    if (const std::int32_t verdict = engine->TakeTlsVerdict(); verdict != 0) lastError = verdict;
}

Pop3::Pop3() : state_(std::make_unique<State>()) {}

Pop3::~Pop3() { Destroy(nullptr); }

std::int32_t Pop3::Port() const { return state_->port; }
void Pop3::SetPort(std::int32_t value) { state_->port = value; }
std::int32_t Pop3::SendTimeout() const { return state_->sendTimeoutMs / 1000; }
void Pop3::SetSendTimeout(std::int32_t value) { state_->sendTimeoutMs = SecondsToMs(value); }
std::int32_t Pop3::RecvTimeout() const { return state_->recvTimeoutMs / 1000; }
void Pop3::SetRecvTimeout(std::int32_t value) { state_->recvTimeoutMs = SecondsToMs(value); }
std::u16string Pop3::LogFilename() const {
    return state_->shell.GuardValue(std::u16string(), [&] { return state_->logFilename; });
}
void Pop3::SetLogFilename(const std::u16string& value) {
    state_->shell.Guard([&] { state_->logFilename = value; });
}
std::int32_t Pop3::Sync() const { return state_->sync; }
std::int32_t Pop3::LastError() const { return state_->lastError; }
std::u16string Pop3::LastErrorText() const {
    return state_->shell.GuardValue(std::u16string(),
                                    [&] { return state_->shell.LastErrorText(state_->Idle()); });
}

void Pop3::SetSync(std::int32_t value) {
    if (value == 0 || value == 1) state_->sync = value;
}

std::int32_t Pop3::DecodeCharsets() const { return state_->message.DecodeCharsets() ? 1 : 0; }
void Pop3::SetDecodeCharsets(std::int32_t value) {
    if (value == 0 || value == 1) state_->message.SetDecodeCharsets(value == 1);
}

std::int32_t Pop3::Security() const { return state_->security; }
void Pop3::SetSecurity(std::int32_t value) {
    if (value >= 0 && value <= 2) state_->security = value;
}
std::u16string Pop3::TrustFile() const {
    return state_->shell.GuardValue(std::u16string(), [&] { return state_->trustFile; });
}
void Pop3::SetTrustFile(const std::u16string& value) {
    state_->shell.Guard([&] { state_->trustFile = value; });
}
std::int32_t Pop3::AuthMethod() const { return state_->authMethod; }
void Pop3::SetAuthMethod(std::int32_t value) {
    if (value == 0 || value == 1) state_->authMethod = value;
}

void Pop3::ConnectByName(const std::u16string& strServerName, std::int32_t* pVal) {
    state_->Connect("ConnectByName", strServerName, mailcore::MailEngine::Resolution::kByName, pVal);
}

void Pop3::ConnectByAddr(const std::u16string& strServerAddr, std::int32_t* pVal) {
    state_->Connect("ConnectByAddr", strServerAddr, mailcore::MailEngine::Resolution::kByAddress, pVal);
}

void Pop3::Destroy(std::int32_t* pVal) {
    state_->shell.Guard(pVal, [&] {
        std::int32_t result = 0;
        if (state_->engine) {
            state_->ReleaseRecord();
            state_->engine->Disconnect();
            // The record of the last command outlives the engine, for a host that logs it after Destroy.
            state_->shell.KeepEngineFailure(state_->engine.get());
            state_->engine.reset();
            result = 1;
        }
        mailcore::Put(pVal, result);
    });
}

void Pop3::Authorize(const std::u16string& strUserName, const std::u16string& strPassword,
                     std::int32_t* pVal) {
    const bool plain = state_->authMethod == 1;
    state_->Run("Authorize", pVal, false, [&](Pop3Engine& e) {
        const std::string user = WideToCp932(strUserName);
        const std::string password = WideToCp932(strPassword);
        return plain ? e.AuthPlain(user, password) : e.Authorize(user, password);
    });
}

void Pop3::USER(const std::u16string& strUserName, std::int32_t* pVal) {
    state_->Run("USER", pVal, false, [&](Pop3Engine& e) { return e.User(WideToCp932(strUserName)); });
}

void Pop3::PASS(const std::u16string& strPassword, std::int32_t* pVal) {
    state_->Run("PASS", pVal, false, [&](Pop3Engine& e) { return e.Pass(WideToCp932(strPassword)); });
}

void Pop3::STAT(std::int32_t* pVal) {
    state_->Run("STAT", pVal, false, [](Pop3Engine& e) { return e.Stat(); });
}

void Pop3::LIST(std::int32_t lNo, std::int32_t* pVal) {
    state_->Run("LIST", pVal, false, [=](Pop3Engine& e) { return e.List(lNo); });
}

void Pop3::LAST(std::int32_t* pVal) {
    state_->Run("LAST", pVal, false, [](Pop3Engine& e) { return e.Last(); });
}

void Pop3::UIDL(std::int32_t lNo, std::int32_t* pVal) {
    state_->Run("UIDL", pVal, false, [=](Pop3Engine& e) { return e.Uidl(lNo); });
}

void Pop3::TOP_(std::int32_t lNo, std::int32_t lLine, std::int32_t* pVal) {
    state_->Run("TOP_", pVal, true, [=](Pop3Engine& e) { return e.Top(lNo, lLine); });
}

void Pop3::RETR(std::int32_t lNo, std::int32_t* pVal) {
    state_->Run("RETR", pVal, true, [=](Pop3Engine& e) { return e.Retr(lNo); });
}

void Pop3::DELE(std::int32_t lNo, std::int32_t* pVal) {
    state_->Run("DELE", pVal, false, [=](Pop3Engine& e) { return e.Dele(lNo); });
}

void Pop3::NOOP(std::int32_t* pVal) {
    state_->Run("NOOP", pVal, false, [](Pop3Engine& e) { return e.Noop(); });
}

void Pop3::RSET(std::int32_t* pVal) {
    state_->Run("RSET", pVal, false, [](Pop3Engine& e) { return e.Rset(); });
}

void Pop3::QUIT(std::int32_t* pVal) {
    state_->Run("QUIT", pVal, false, [](Pop3Engine& e) { return e.Quit(); });
}

void Pop3::GetCount(std::int32_t* pVal) {
    state_->shell.Guard(pVal, [&] {
        const Pop3Engine* engine = state_->Idle();
        mailcore::Put(pVal, engine != nullptr ? engine->Count() : 0);
    });
}

void Pop3::GetNo(std::int32_t lIndex, std::int32_t* pVal) {
    state_->shell.Guard(pVal, [&] {
        const Pop3Engine* engine = state_->Idle();
        mailcore::Put(pVal, engine != nullptr ? engine->GetNo(lIndex) : 0);
    });
}

void Pop3::GetData(std::int32_t lIndex, std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] {
        std::u16string text;
        if (const Pop3Engine* engine = state_->Idle()) {
            if (auto data = engine->GetData(lIndex)) {
                text = Cp932ToWide(*data);
            } else {
                state_->lastError = mailcore::ToInt(mailcore::Pop3LastError::IndexOutOfRange);
            }
        }
        mailcore::Put(pVal, std::move(text));
    });
}

void Pop3::GetMessage(std::u16string* pVal) {
    state_->shell.Guard(pVal, [&] {
        std::u16string text;
        if (const Pop3Engine* engine = state_->Idle()) {
            text =
                Cp932ToWide(state_->lastCommandRetrievedText ? engine->RetrievedText() : engine->LastReply());
        }
        mailcore::Put(pVal, std::move(text));
    });
}

void Pop3::ReleaseData(std::int32_t* /*pVal: left as the caller set it*/) {
    state_->shell.Guard([&] {
        if (Pop3Engine* engine = mailcore::IdleEngine(state_->engine)) {
            engine->ClearResults();
            state_->ReleaseRecord();
        }
    });
}

std::int32_t Pop3::Advise(Pop3Events* sink) {
    return state_->shell.GuardValue(0, [&] { return state_->sinks.Advise(sink); });
}

void Pop3::Unadvise(std::int32_t cookie) {
    state_->shell.Guard([&] { state_->sinks.Unadvise(cookie); });
}

void Pop3::SetWakeUp(std::function<void()> wakeUp) {
    state_->shell.Guard([&] { state_->queue.SetWakeup(std::move(wakeUp)); });
}

std::int32_t Pop3::ProcessEvents() {
    // An asynchronous connect's TLS step ran on the worker: its verdict is LastError before the host hears.
    state_->shell.Guard([&] { state_->NoteTlsVerdict(); });
    return state_->shell.DeliverEvents(state_->queue, state_->sinks);
}

}  // namespace inlark
