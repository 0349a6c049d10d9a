// The secure parts of the POP3 engine: the STLS upgrade after the greeting, the verdict a failed TLS step
// leaves, and the SASL PLAIN log-in.

#include <utility>

#include "pop3/pop3_engine.h"

namespace inlark {

namespace {

using mailcore::FailureKind;
using mailcore::kResultBadArgument;
using mailcore::kResultPasswordTooLong;
using mailcore::kResultUserTooLong;

// The failure records name the command without its response, which carries the password.
constexpr std::string_view kAuthPlain = "AUTH PLAIN";

FailureKind RefusalKind(std::string_view reply) {
    return reply.starts_with("-ERR") ? FailureKind::NegativeReply : FailureKind::MalformedReply;
}

}  // namespace

void Pop3Engine::SetSecurity(const mailcore::ConnectionSecurity& security) {
    security_ = security.mode;
    Socket().SetSecurity(security);
}

std::int32_t Pop3Engine::Connect(const std::string& server, std::int32_t port, Resolution resolution) {
    tlsVerdict_.store(0, std::memory_order_release);
    host_ = server;
    const std::int32_t result = MailEngine::Connect(server, port, resolution);
    // An implicit handshake fails inside the connect, on this thread.
    if (result == mailcore::kResultFailure && security_ == mailcore::Security::kImplicit) NoteTlsFailure();
    return result;
}

bool Pop3Engine::AfterGreeting() {
    if (security_ != mailcore::Security::kStartTls) return true;
    if (!IsPositive(LastReply())) {
        // Refused before any TLS step, as a synchronous connect tells it.
        RecordReplyFailure(RefusalKind(LastReply()), LastReply(), "greeting");
        return false;
    }
    return StartTls();
}

bool Pop3Engine::StartTls() {
    const std::string line = CommandLine(Pop3Word::kStls);
    const bool agreed = Positive(line);
    if (agreed && Socket().StartTls(host_) > 0) return true;
    if (agreed) {
        RecordTransportFailure(Socket().LastFailure().detail);
        NoteTlsFailure();
    }
    // A refusal, a close or a failed handshake all end here: nothing more goes out in plain text.
    if (tlsVerdict_.load(std::memory_order_acquire) == 0) {
        tlsVerdict_.store(mailcore::ToInt(mailcore::Pop3LastError::TlsFailed), std::memory_order_release);
    }
    return false;
}

void Pop3Engine::NoteTlsFailure() {
    const mailcore::Failure* tls = Socket().TlsLayerFailure();
    if (tls == nullptr) return;
    const auto verdict = tls->kind == FailureKind::CertificateVerify
                             ? mailcore::Pop3LastError::CertificateRejected
                             : mailcore::Pop3LastError::TlsFailed;
    tlsVerdict_.store(mailcore::ToInt(verdict), std::memory_order_release);
}

std::int32_t Pop3Engine::AuthPlain(const std::string& user, const std::string& password) {
    if (user.empty() || !mailcore::FitsOnCommandLine(user) || !mailcore::FitsOnCommandLine(password)) {
        return kResultBadArgument;
    }
    if (user.size() > kMaxSaslCredentialLength) return kResultUserTooLong;
    if (password.size() > kMaxSaslCredentialLength) return kResultPasswordTooLong;
    return Execute([this, user, password] { return PlainExchange(user, password); });
}

bool Pop3Engine::PlainExchange(const std::string& user, const std::string& password) {
    const std::string response = PlainResponse(user, password) + "\r\n";
    const std::string detail(kAuthPlain);
    if (Transport().SendText(detail + " " + response) <= 0) {
        RecordTransportFailure(detail);
        SetLastReply({});
        return false;
    }
    if (!ReadStatusLine(detail)) return false;
    // A server that wants the response after an empty challenge gets it on a line of its own.
    if (IsContinuation(LastReply())) {
        if (Transport().SendText(response) <= 0) {
            RecordTransportFailure(detail);
            SetLastReply({});
            return false;
        }
        if (!ReadStatusLine(detail)) return false;
    }
    if (IsPositive(LastReply())) return true;
    RecordReplyFailure(RefusalKind(LastReply()), LastReply(), detail);
    return false;
}

}  // namespace inlark
