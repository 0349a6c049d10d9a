#include "mailcore/tls_stream.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace mailcore {
namespace {

struct ContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct MethodFree {
    void operator()(BIO_METHOD* method) const { BIO_meth_free(method); }
};

bool IsNumericAddress(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// The oldest queued TLS library error as text, and the queue emptied.
std::string TakeErrorText() {
    const unsigned long first = ERR_get_error();
    ERR_clear_error();
    if (first == 0) return {};
    const char* reason = ERR_reason_error_string(first);
    return reason != nullptr ? reason : "error " + std::to_string(first);
}

}  // namespace

// One TLS session over the stream below. The library reaches the stream below through a BIO of its own, so
// sends keep the plain stream's MSG_NOSIGNAL and its failures (with their errno) come back unchanged.
struct TlsStream::Session {
    ByteStream* lower = nullptr;
    StreamStatus lowerStatus;  // the last failure of the stream below inside a library call
    std::unique_ptr<BIO_METHOD, MethodFree> method;
    std::unique_ptr<SSL_CTX, ContextFree> context;
    std::unique_ptr<SSL, SslFree> ssl;
    bool established = false;
    Direction readNeeds = Direction::kRead;
    Direction writeNeeds = Direction::kWrite;

    static Session* From(BIO* bio) { return static_cast<Session*>(BIO_get_data(bio)); }

    static int Send(BIO* bio, const char* data, int size) {
        Session* self = From(bio);
        BIO_clear_retry_flags(bio);
        std::size_t sent = 0;
        const StreamStatus status = self->lower->Write(data, static_cast<std::size_t>(size), sent);
        if (!status) {
            self->lowerStatus = status;
            return -1;
        }
        if (sent == 0) {
            BIO_set_retry_write(bio);
            return -1;
        }
        return static_cast<int>(sent);
    }

    static int Receive(BIO* bio, char* buffer, int size) {
        Session* self = From(bio);
        BIO_clear_retry_flags(bio);
        std::size_t received = 0;
        const StreamStatus status = self->lower->Read(buffer, static_cast<std::size_t>(size), received);
        if (status.kind == FailureKind::Closed) return 0;
        if (!status) {
            self->lowerStatus = status;
            return -1;
        }
        if (received == 0) {
            BIO_set_retry_read(bio);
            return -1;
        }
        return static_cast<int>(received);
    }

    static long Control(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

    // Ready for a library call: no stale errors from an earlier one.
    void Begin() {
        ERR_clear_error();
        lowerStatus = {};
    }
};

TlsStream::TlsStream(std::unique_ptr<ByteStream> lower, TlsSettings settings)
    : lower_(std::move(lower)), settings_(std::move(settings)) {}

TlsStream::~TlsStream() = default;

bool TlsStream::Open() {
    session_.reset();
    broken_ = false;
    failure_ = {};
    return lower_->Open();
}

void TlsStream::Close() {
    session_.reset();
    broken_ = false;
    lower_->Close();
}

bool TlsStream::IsEncrypted() const { return session_ != nullptr && session_->established; }

std::string TlsStream::Protocol() const { return IsEncrypted() ? SSL_get_version(session_->ssl.get()) : ""; }

StreamStatus TlsStream::Fail(FailureKind kind, std::string detail, int systemError) {
    failure_ = {};
    failure_.kind = kind;
    failure_.systemError = systemError;
    failure_.detail = std::move(detail);
    // No session means no plain text either: what follows a failed upgrade must not go out unprotected.
    session_.reset();
    broken_ = true;
    return {kind, systemError};
}

StreamStatus TlsStream::Connect(const Endpoint& endpoint, StreamClock::time_point deadline) {
    session_.reset();
    broken_ = false;
    failure_ = {};
    const StreamStatus status = lower_->Connect(endpoint, deadline);
    if (!status || !settings_.implicit) return status;
    return Handshake(endpoint.host, deadline);
}

StreamStatus TlsStream::StartTls(const std::string& host) {
    if (broken_) return {FailureKind::NotConnected, 0};
    if (session_ != nullptr) return Fail(FailureKind::BadArgument, "TLS handshake: already started");
    return Handshake(
        host, StreamClock::now() + std::chrono::milliseconds(std::max(settings_.handshakeTimeoutMs, 0)));
}

StreamStatus TlsStream::Handshake(const std::string& host, StreamClock::time_point deadline) {
    if (host.empty()) return Fail(FailureKind::BadArgument, "TLS handshake: no host name to check");
    if (!lower_->IsConnected()) return Fail(FailureKind::NotConnected, "TLS handshake");
    ERR_clear_error();
    session_ = std::make_unique<Session>();
    Session& session = *session_;
    session.lower = lower_.get();

    session.context.reset(SSL_CTX_new(TLS_client_method()));
    SSL_CTX* context = session.context.get();
    if (context == nullptr) return Fail(FailureKind::Internal, "TLS set-up: " + TakeErrorText());
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // A server that drops the connection without the close alert ends the session like any other close;
    // POP3 and SMTP notice a cut reply themselves.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    if (settings_.trustFile.empty()) {
        if (SSL_CTX_set_default_verify_paths(context) != 1) {
            return Fail(FailureKind::Internal, "TLS set-up: the system's CA store: " + TakeErrorText());
        }
    } else {
        if (SSL_CTX_load_verify_locations(context, settings_.trustFile.c_str(), nullptr) != 1) {
            return Fail(FailureKind::BadArgument,
                        "TLS trust file " + settings_.trustFile + ": " + TakeErrorText());
        }
        // Lets the file hold the server's own certificate rather than the CA that signed it.
        X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(context), X509_V_FLAG_PARTIAL_CHAIN);
    }

    session.method.reset(BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "mail byte stream"));
    BIO_METHOD* method = session.method.get();
    if (method == nullptr || BIO_meth_set_write(method, &Session::Send) != 1 ||
        BIO_meth_set_read(method, &Session::Receive) != 1 ||
        BIO_meth_set_ctrl(method, &Session::Control) != 1) {
        return Fail(FailureKind::Internal, "TLS set-up: " + TakeErrorText());
    }
    session.ssl.reset(SSL_new(context));
    SSL* ssl = session.ssl.get();
    BIO* bio = ssl != nullptr ? BIO_new(method) : nullptr;
    if (bio == nullptr) return Fail(FailureKind::Internal, "TLS set-up: " + TakeErrorText());
    BIO_set_data(bio, &session);
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);

    if (IsNumericAddress(host)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) != 1) {
            return Fail(FailureKind::BadArgument, "TLS handshake: not an address: " + host);
        }
    } else {
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(ssl, host.c_str()) != 1 || SSL_set_tlsext_host_name(ssl, host.c_str()) != 1) {
            return Fail(FailureKind::BadArgument, "TLS handshake: not a host name: " + host);
        }
    }

    for (;;) {
        session.Begin();
        const int result = SSL_connect(ssl);
        if (result == 1) break;
        const int code = SSL_get_error(ssl, result);
        Direction direction;
        if (code == SSL_ERROR_WANT_READ) {
            direction = Direction::kRead;
        } else if (code == SSL_ERROR_WANT_WRITE) {
            direction = Direction::kWrite;
        } else {
            const long verified = SSL_get_verify_result(ssl);
            if (verified != X509_V_OK) {
                ERR_clear_error();
                return Fail(FailureKind::CertificateVerify,
                            std::string("server certificate: ") + X509_verify_cert_error_string(verified));
            }
            std::string reason = TakeErrorText();
            // A reset is the server refusing TLS as much as a close is: both fail the handshake.
            const int systemError = session.lowerStatus.systemError;
            if (reason.empty()) {
                reason = session.lowerStatus.Ok() || session.lowerStatus.kind == FailureKind::Closed
                             ? "the server closed the connection"
                             : "the connection failed";
            }
            return Fail(FailureKind::TlsHandshake, "TLS handshake: " + reason, systemError);
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - StreamClock::now()).count();
        const StreamStatus ready =
            lower_->Wait(direction, static_cast<std::int32_t>(std::clamp<long long>(left, 0, INT_MAX)));
        if (!ready) return Fail(ready.kind, "TLS handshake", ready.systemError);
    }
    session.established = true;
    return {};
}

StreamStatus TlsStream::Read(char* buffer, std::size_t size, std::size_t& received) {
    received = 0;
    if (broken_) return {FailureKind::NotConnected, 0};
    if (session_ == nullptr) return lower_->Read(buffer, size, received);
    Session& session = *session_;
    session.Begin();
    const int result = SSL_read_ex(session.ssl.get(), buffer, size, &received);
    if (result == 1) return {};
    return Outcome(result, session.readNeeds, "TLS read: ");
}

StreamStatus TlsStream::Write(const char* data, std::size_t size, std::size_t& sent) {
    sent = 0;
    if (broken_) return {FailureKind::NotConnected, 0};
    if (session_ == nullptr) return lower_->Write(data, size, sent);
    if (size == 0) return {};
    Session& session = *session_;
    session.Begin();
    const int result = SSL_write_ex(session.ssl.get(), data, size, &sent);
    if (result == 1) return {};
    return Outcome(result, session.writeNeeds, "TLS write: ");
}

StreamStatus TlsStream::Outcome(int result, Direction& needs, const char* what) {
    switch (SSL_get_error(session_->ssl.get(), result)) {
        case SSL_ERROR_WANT_READ:
            needs = Direction::kRead;
            return {};
        case SSL_ERROR_WANT_WRITE:
            needs = Direction::kWrite;
            return {};
        case SSL_ERROR_ZERO_RETURN:
            return {FailureKind::Closed, 0};
        case SSL_ERROR_SYSCALL:
            return session_->lowerStatus.Ok() ? StreamStatus{FailureKind::Closed, 0} : session_->lowerStatus;
        default:
            failure_ = {FailureKind::Io, EPROTO, "", what + TakeErrorText()};
            return {FailureKind::Io, EPROTO};
    }
}

StreamStatus TlsStream::Wait(Direction direction, std::int32_t timeoutMs) {
    if (broken_) return {FailureKind::NotConnected, 0};
    if (session_ == nullptr) return lower_->Wait(direction, timeoutMs);
    if (direction == Direction::kRead && SSL_pending(session_->ssl.get()) > 0) return {};
    // TLS may need the other direction of the socket to make progress: the one the last call asked for.
    return lower_->Wait(direction == Direction::kRead ? session_->readNeeds : session_->writeNeeds,
                        timeoutMs);
}

std::size_t TlsStream::Pending() {
    if (session_ == nullptr) return lower_->Pending();
    return static_cast<std::size_t>(SSL_pending(session_->ssl.get()));
}

}  // namespace mailcore
