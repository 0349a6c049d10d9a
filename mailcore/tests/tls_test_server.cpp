#include "mailcore/tests/tls_test_server.h"

#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <pthread.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <stdexcept>

namespace mailcore::testing {
namespace {

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    Check(extension != nullptr, "extension");
    const int added = X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
    Check(added == 1, "adding an extension");
}

}  // namespace

void KeyFree::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
void CertificateFree::operator()(X509* certificate) const { X509_free(certificate); }

std::string TestCertificate::WritePem(const std::string& path) const {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return "cannot write " + path;
    const bool ok = PEM_write_X509(file, certificate.get()) == 1;
    return std::fclose(file) == 0 && ok ? "" : "cannot write " + path;
}

TestCertificate MakeCertificate(const CertificateRequest& request, const TestCertificate* issuer) {
    TestCertificate made;
    made.key.reset(EVP_EC_gen("P-256"));
    Check(made.key != nullptr, "key");
    made.certificate.reset(X509_new());
    X509* certificate = made.certificate.get();
    Check(certificate != nullptr, "certificate");
    std::random_device random;
    Check(X509_set_version(certificate, X509_VERSION_3) == 1 &&
              ASN1_INTEGER_set(X509_get_serialNumber(certificate), static_cast<long>(random() >> 1)) == 1 &&
              X509_gmtime_adj(X509_getm_notBefore(certificate), request.validFromSeconds) != nullptr &&
              X509_gmtime_adj(X509_getm_notAfter(certificate), request.validToSeconds) != nullptr &&
              X509_set_pubkey(certificate, made.key.get()) == 1,
          "fields");
    X509_NAME* name = X509_get_subject_name(certificate);
    Check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                     reinterpret_cast<const unsigned char*>(request.commonName.c_str()), -1,
                                     -1, 0) == 1,
          "name");
    X509* signer = issuer != nullptr ? issuer->certificate.get() : certificate;
    Check(X509_set_issuer_name(certificate, X509_get_subject_name(signer)) == 1, "issuer");
    AddExtension(certificate, signer, NID_basic_constraints, request.isCa ? "critical,CA:TRUE" : "CA:FALSE");
    AddExtension(certificate, signer, NID_subject_key_identifier, "hash");
    if (!request.subjectAltName.empty()) {
        AddExtension(certificate, signer, NID_subject_alt_name, request.subjectAltName);
    }
    EVP_PKEY* signingKey = issuer != nullptr ? issuer->key.get() : made.key.get();
    Check(X509_sign(certificate, signingKey, EVP_sha256()) > 0, "signature");
    return made;
}

TlsTestServer::TlsTestServer(const TestCertificate& identity, Session session, std::string plainPrelude)
    : TlsTestServer(identity, std::move(session), PlainPhase([prelude = std::move(plainPrelude)](int fd) {
                        return prelude.empty() || ::send(fd, prelude.data(), prelude.size(), MSG_NOSIGNAL) ==
                                                      static_cast<ssize_t>(prelude.size());
                    })) {}

TlsTestServer::TlsTestServer(const TestCertificate& identity, Session session, PlainPhase plainPhase)
    : listen_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!listen_ || ::bind(listen_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_.get(), 1) != 0 ||
        ::getsockname(listen_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("test TLS server: no listening socket");
    }
    port_ = ntohs(address.sin_port);

    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr || SSL_CTX_use_certificate(context, identity.certificate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context, identity.key.get()) != 1) {
        SSL_CTX_free(context);
        throw std::runtime_error("test TLS server: no context");
    }
    thread_ = std::thread([this, context, session = std::move(session), plain = std::move(plainPhase)] {
        // The library writes with write(): a client that has gone must not end the test program.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        UniqueFd connection(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        SSL* ssl = connection ? SSL_new(context) : nullptr;
        if (ssl == nullptr) {
            handshakeError_ = "no connection";
        } else if (plain && !plain(connection.get())) {
            handshakeError_ = "plain-text part failed";
        } else if (SSL_set_fd(ssl, connection.get()) != 1 || SSL_accept(ssl) != 1) {
            const unsigned long error = ERR_get_error();
            const char* reason = ERR_reason_error_string(error);
            handshakeError_ = reason != nullptr ? reason : "handshake failed";
        } else {
            session(ssl);
            SSL_shutdown(ssl);
        }
        ERR_clear_error();
        SSL_free(ssl);
        SSL_CTX_free(context);
    });
}

TlsTestServer::~TlsTestServer() { static_cast<void>(Finish()); }

std::string TlsTestServer::Finish() {
    if (thread_.joinable()) {
        // Wakes an accept that no client will ever satisfy.
        ::shutdown(listen_.get(), SHUT_RDWR);
        thread_.join();
    }
    return handshakeError_;
}

}  // namespace mailcore::testing
