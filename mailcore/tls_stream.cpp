#include "mailcore/tls_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace mailcore {
namespace {

struct ContextFree {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
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
    unsigned long first = ERR_get_error();
    ERR_clear_error();
    if (first == 0) return {};
    const char* reason = ERR_reason_error_string(first);
    return reason != nullptr ? reason : "error " + std::to_string(first);
}

Failure MakeFailure(FailureKind kind, std::string detail, int systemError = 0) {
    Failure failure;
    failure.kind = kind;
    failure.systemError = systemError;
    failure.detail = std::move(detail);
    return failure;
}

}  // namespace

// The library's own socket layer would write with plain write(), and a server that has gone would raise
// SIGPIPE in the host program; this one sends with MSG_NOSIGNAL and keeps the errno of a failed call.
struct TlsStream::Impl {
    int fd = -1;
    int lastErrno = 0;
    std::unique_ptr<BIO_METHOD, MethodFree> method;
    std::unique_ptr<SSL_CTX, ContextFree> context;
    std::unique_ptr<SSL, SslFree> ssl;

    static Impl* From(BIO* bio) { return static_cast<Impl*>(BIO_get_data(bio)); }

    static int Send(BIO* bio, const char* data, int size) {
        Impl* self = From(bio);
        BIO_clear_retry_flags(bio);
        const ssize_t n = ::send(self->fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            BIO_set_retry_write(bio);
        } else {
            self->lastErrno = errno;
        }
        return -1;
    }

    static int Receive(BIO* bio, char* buffer, int size) {
        Impl* self = From(bio);
        BIO_clear_retry_flags(bio);
        const ssize_t n = ::recv(self->fd, buffer, static_cast<std::size_t>(size), 0);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            BIO_set_retry_read(bio);
        } else {
            self->lastErrno = errno;
        }
        return -1;
    }

    static long Control(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }
};

TlsStream::TlsStream(int socketFd, int wakeFd)
    : fd_(socketFd), wakeFd_(wakeFd), impl_(std::make_unique<Impl>()) {
    impl_->fd = socketFd;
}

TlsStream::~TlsStream() = default;

Result<void> TlsStream::Handshake(const std::string& host, const TlsSettings& settings,
                                  Clock::time_point deadline) {
    if (impl_->ssl) return MakeFailure(FailureKind::BadArgument, "TLS handshake: already started");
    if (host.empty()) return MakeFailure(FailureKind::BadArgument, "TLS handshake: no host name to check");
    ERR_clear_error();

    impl_->context.reset(SSL_CTX_new(TLS_client_method()));
    SSL_CTX* context = impl_->context.get();
    if (context == nullptr) return MakeFailure(FailureKind::Internal, "TLS set-up: " + TakeErrorText());
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // A server that drops the connection without the close alert ends the session like any other close;
    // POP3 and SMTP notice a cut reply themselves.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    if (settings.trustFile.empty()) {
        if (SSL_CTX_set_default_verify_paths(context) != 1) {
            return MakeFailure(FailureKind::Internal,
                               "TLS set-up: the system's CA store: " + TakeErrorText());
        }
    } else {
        if (SSL_CTX_load_verify_locations(context, settings.trustFile.c_str(), nullptr) != 1) {
            return MakeFailure(FailureKind::BadArgument,
                               "TLS trust file " + settings.trustFile + ": " + TakeErrorText());
        }
        // Lets the file hold the server's own certificate rather than the CA that signed it.
        X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(context), X509_V_FLAG_PARTIAL_CHAIN);
    }

    impl_->method.reset(BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "mail socket"));
    BIO_METHOD* method = impl_->method.get();
    if (method == nullptr || BIO_meth_set_write(method, &Impl::Send) != 1 ||
        BIO_meth_set_read(method, &Impl::Receive) != 1 || BIO_meth_set_ctrl(method, &Impl::Control) != 1) {
        return MakeFailure(FailureKind::Internal, "TLS set-up: " + TakeErrorText());
    }
    impl_->ssl.reset(SSL_new(context));
    SSL* ssl = impl_->ssl.get();
    BIO* bio = ssl != nullptr ? BIO_new(method) : nullptr;
    if (bio == nullptr) return MakeFailure(FailureKind::Internal, "TLS set-up: " + TakeErrorText());
    BIO_set_data(bio, impl_.get());
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);

    if (IsNumericAddress(host)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) != 1) {
            return MakeFailure(FailureKind::BadArgument, "TLS handshake: not an address: " + host);
        }
    } else {
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(ssl, host.c_str()) != 1 || SSL_set_tlsext_host_name(ssl, host.c_str()) != 1) {
            return MakeFailure(FailureKind::BadArgument, "TLS handshake: not a host name: " + host);
        }
    }

    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || (!(flags & O_NONBLOCK) && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0)) {
        return MakeFailure(FailureKind::Io, "TLS handshake", errno);
    }

    for (;;) {
        ERR_clear_error();
        impl_->lastErrno = 0;
        const int result = SSL_connect(ssl);
        if (result == 1) break;
        const int code = SSL_get_error(ssl, result);
        Direction direction;
        if (code == SSL_ERROR_WANT_READ) {
            direction = Direction::kRead;
        } else if (code == SSL_ERROR_WANT_WRITE) {
            direction = Direction::kWrite;
        } else {
            return HandshakeFailure(code);
        }
        if (Result<void> ready = WaitUntil(direction, deadline, "TLS handshake"); !ready) return ready;
    }
    established_ = true;
    return {};
}

Failure TlsStream::HandshakeFailure(int code) {
    SSL* ssl = impl_->ssl.get();
    const long verified = SSL_get_verify_result(ssl);
    if (verified != X509_V_OK) {
        ERR_clear_error();
        return MakeFailure(FailureKind::CertificateVerify,
                           std::string("server certificate: ") + X509_verify_cert_error_string(verified));
    }
    std::string reason = TakeErrorText();
    // A reset here is the server refusing TLS as much as a close is: both fail the handshake.
    const int systemError = code == SSL_ERROR_SYSCALL ? impl_->lastErrno : 0;
    if (reason.empty()) {
        reason = systemError != 0 ? "the connection failed" : "the server closed the connection";
    }
    return MakeFailure(FailureKind::TlsHandshake, "TLS handshake: " + reason, systemError);
}

Result<void> TlsStream::WaitUntil(Direction direction, Clock::time_point deadline, const char* what) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd fds[2] = {{fd_, static_cast<short>(direction == Direction::kRead ? POLLIN : POLLOUT), 0},
                         {wakeFd_, POLLIN, 0}};
        const int n =
            ::poll(fds, wakeFd_ >= 0 ? 2 : 1, static_cast<int>(std::clamp<long long>(left, 0, INT_MAX)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return MakeFailure(FailureKind::Io, what, errno);
        }
        if (wakeFd_ >= 0 && fds[1].revents != 0) return MakeFailure(FailureKind::Cancelled, what);
        // An error or hang-up counts as ready: the next call reports it.
        if (fds[0].revents != 0) return {};
        if (left <= 0) return MakeFailure(FailureKind::TimedOut, what);
    }
}

Result<std::size_t> TlsStream::Read(char* buffer, std::size_t size) {
    if (!established_) return MakeFailure(FailureKind::NotConnected, "TLS read");
    ERR_clear_error();
    impl_->lastErrno = 0;
    std::size_t received = 0;
    SSL* ssl = impl_->ssl.get();
    const int result = SSL_read_ex(ssl, buffer, size, &received);
    if (result == 1) return received;
    switch (SSL_get_error(ssl, result)) {
        case SSL_ERROR_WANT_READ:
            readNeeds_ = Direction::kRead;
            return std::size_t{0};
        case SSL_ERROR_WANT_WRITE:
            readNeeds_ = Direction::kWrite;
            return std::size_t{0};
        case SSL_ERROR_ZERO_RETURN:
            return MakeFailure(FailureKind::Closed, "TLS read");
        case SSL_ERROR_SYSCALL:
            if (impl_->lastErrno != 0) return MakeFailure(FailureKind::Io, "TLS read", impl_->lastErrno);
            return MakeFailure(FailureKind::Closed, "TLS read");
        default:
            return MakeFailure(FailureKind::Io, "TLS read: " + TakeErrorText(), EPROTO);
    }
}

Result<std::size_t> TlsStream::Write(const char* data, std::size_t size) {
    if (!established_) return MakeFailure(FailureKind::NotConnected, "TLS write");
    if (size == 0) return std::size_t{0};
    ERR_clear_error();
    impl_->lastErrno = 0;
    std::size_t sent = 0;
    SSL* ssl = impl_->ssl.get();
    const int result = SSL_write_ex(ssl, data, size, &sent);
    if (result == 1) return sent;
    switch (SSL_get_error(ssl, result)) {
        case SSL_ERROR_WANT_READ:
            writeNeeds_ = Direction::kRead;
            return std::size_t{0};
        case SSL_ERROR_WANT_WRITE:
            writeNeeds_ = Direction::kWrite;
            return std::size_t{0};
        case SSL_ERROR_ZERO_RETURN:
            return MakeFailure(FailureKind::Closed, "TLS write");
        case SSL_ERROR_SYSCALL:
            if (impl_->lastErrno != 0) return MakeFailure(FailureKind::Io, "TLS write", impl_->lastErrno);
            return MakeFailure(FailureKind::Closed, "TLS write");
        default:
            return MakeFailure(FailureKind::Io, "TLS write: " + TakeErrorText(), EPROTO);
    }
}

Result<void> TlsStream::Wait(Direction direction, int timeoutMs) {
    if (!established_) return MakeFailure(FailureKind::NotConnected, "TLS wait");
    if (direction == Direction::kRead && Pending() > 0) return {};
    const Direction socketDirection = direction == Direction::kRead ? readNeeds_ : writeNeeds_;
    return WaitUntil(socketDirection, Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0)),
                     direction == Direction::kRead ? "TLS read" : "TLS write");
}

std::size_t TlsStream::Pending() const {
    return established_ ? static_cast<std::size_t>(SSL_pending(impl_->ssl.get())) : 0;
}

void TlsStream::Shutdown() {
    if (!established_) return;
    ERR_clear_error();
    SSL_shutdown(impl_->ssl.get());
    ERR_clear_error();
    established_ = false;
}

std::string TlsStream::Protocol() const {
    return established_ ? SSL_get_version(impl_->ssl.get()) : std::string();
}

}  // namespace mailcore
