#pragma once
// Certificates made in memory and a one-connection TLS server on 127.0.0.1, for tests of what the real
// servers cannot be made to do: certificates out of date or for other names, bulk data both ways, the
// close alert.

#include <openssl/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "mailcore/unique_fd.h"

namespace mailcore::testing {

struct KeyFree {
    void operator()(EVP_PKEY* key) const;
};
struct CertificateFree {
    void operator()(X509* certificate) const;
};

struct TestCertificate {
    std::unique_ptr<EVP_PKEY, KeyFree> key;
    std::unique_ptr<X509, CertificateFree> certificate;

    // Written to `path` as PEM; empty on success, else what went wrong.
    [[nodiscard]] std::string WritePem(const std::string& path) const;
};

struct CertificateRequest {
    std::string commonName = "localhost";
    std::string subjectAltName = "IP:127.0.0.1,DNS:localhost";  // empty: none
    long validFromSeconds = -3600;                              // from now
    long validToSeconds = 86400;
    bool isCa = false;
};

// Signed by `issuer`, or by its own key when `issuer` is null. A failure throws std::runtime_error.
[[nodiscard]] TestCertificate MakeCertificate(const CertificateRequest& request,
                                              const TestCertificate* issuer = nullptr);

class TlsTestServer {
  public:
    // Runs with the session once the handshake succeeded; returns to end it (with the close alert).
    using Session = std::function<void(SSL* ssl)>;

    // The plain-text part of a conversation before the handshake, on the connection's descriptor; false
    // ends the connection without one.
    using PlainPhase = std::function<bool(int fd)>;

    // Serves one connection: `plainPrelude` in plain text first, then the handshake with `identity`.
    TlsTestServer(const TestCertificate& identity, Session session, std::string plainPrelude = {});
    // The same with a plain-text exchange (an SMTP EHLO and STARTTLS) before the handshake.
    TlsTestServer(const TestCertificate& identity, Session session, PlainPhase plainPhase);
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    [[nodiscard]] std::uint16_t Port() const { return port_; }
    // Joins the serving thread; what the handshake on the server's side came to ("" when it succeeded).
    [[nodiscard]] std::string Finish();

  private:
    UniqueFd listen_;
    std::uint16_t port_ = 0;
    std::string handshakeError_;
    std::thread thread_;
};

}  // namespace mailcore::testing
