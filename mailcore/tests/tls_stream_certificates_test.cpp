// The TLS stream against a TLS server of the test's own, with certificates made for each case: what the
// checks must refuse and what they must let through, and data moved both ways in bulk.
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <string>

#include "mailcore/tests/tls_test_client.h"
#include "mailcore/tests/tls_test_server.h"
#include "mailcore/tls_stream.h"

namespace mailcore {
namespace {

using testing::CertificateRequest;
using testing::MakeCertificate;
using testing::StatusText;
using testing::TestCertificate;
using testing::TlsTestClient;
using testing::TlsTestServer;

class TlsStreamCertificates : public ::testing::Test {
  protected:
    void SetUp() override {
        ca_ = MakeCertificate({.commonName = "Test CA", .subjectAltName = "", .isCa = true});
        caFile_ = std::string(TEST_BINARY_DIR) + "/tls-ca-" + std::to_string(::getpid()) + ".pem";
        ASSERT_EQ(ca_.WritePem(caFile_), "");
    }
    void TearDown() override { ::unlink(caFile_.c_str()); }

    // Implicit TLS with a server that shows `identity`, as the client that connected to `host`. The
    // failure's detail goes to `detail`, what the server's side of the handshake came to to `serverSide`.
    StreamStatus Connect(const TestCertificate& identity, const std::string& host,
                         const std::string& trustFile, std::string* detail = nullptr,
                         std::string* serverSide = nullptr) {
        TlsTestServer server(identity, [](SSL*) {});
        TlsTestClient client({.trustFile = trustFile, .implicit = true});
        const StreamStatus status = client.Connect(host, server.Port());
        if (detail != nullptr) *detail = client.TlsFailure().detail;
        client.Stream().Close();
        const std::string error = server.Finish();
        if (serverSide != nullptr) *serverSide = error;
        return status;
    }

    TestCertificate ca_;
    std::string caFile_;
};

TEST_F(TlsStreamCertificates, RefusedWithTheReason) {
    struct Row {
        const char* name;
        CertificateRequest request;
        bool signedByCa;
        std::string host;
        const char* why;
    };
    const Row rows[] = {
        {"expired",
         {.validFromSeconds = -172800, .validToSeconds = -86400},
         true,
         "127.0.0.1",
         "certificate has expired"},
        {"not yet valid",
         {.validFromSeconds = 86400, .validToSeconds = 172800},
         true,
         "localhost",
         "certificate is not yet valid"},
        {"self-signed", {}, false, "localhost", "self-signed certificate"},
        {"for another name",
         {.subjectAltName = "DNS:mail.example.org"},
         true,
         "localhost",
         "hostname mismatch"},
        {"for a name, reached by address",
         {.subjectAltName = "DNS:localhost"},
         true,
         "127.0.0.1",
         "IP address mismatch"},
        {"common name only", {.subjectAltName = ""}, true, "mail.example.org", "hostname mismatch"},
        {"wildcard for a deeper name",
         {.subjectAltName = "DNS:*.example.org"},
         true,
         "a.b.example.org",
         "hostname mismatch"},
    };
    for (const Row& row : rows) {
        const TestCertificate identity = MakeCertificate(row.request, row.signedByCa ? &ca_ : nullptr);
        std::string detail;
        std::string serverSide;
        const StreamStatus status = Connect(identity, row.host, caFile_, &detail, &serverSide);
        EXPECT_EQ(status.kind, FailureKind::CertificateVerify) << row.name << ": " << StatusText(status);
        EXPECT_NE(detail.find(row.why), std::string::npos) << row.name << ": " << detail;
        EXPECT_NE(serverSide, "") << row.name << ": the server saw a finished handshake";
    }
}

TEST_F(TlsStreamCertificates, AcceptedWhenChainAndNameFit) {
    struct Row {
        const char* name;
        CertificateRequest request;
        std::string host;
        bool trustLeafItself;
    };
    const Row rows[] = {
        {"by address", {}, "127.0.0.1", false},
        {"by name", {}, "localhost", false},
        {"name in another case", {}, "LocalHost", false},
        {"wildcard", {.subjectAltName = "IP:127.0.0.1,DNS:*.example.org"}, "mail.example.org", false},
        {"the server's own certificate as the trust file", {}, "localhost", true},
    };
    for (const Row& row : rows) {
        const TestCertificate identity = MakeCertificate(row.request, &ca_);
        std::string trust = caFile_;
        if (row.trustLeafItself) {
            trust = caFile_ + ".leaf";
            ASSERT_EQ(identity.WritePem(trust), "");
        }
        std::string detail;
        const StreamStatus status = Connect(identity, row.host, trust, &detail);
        if (row.trustLeafItself) ::unlink(trust.c_str());
        EXPECT_TRUE(status) << row.name << ": " << StatusText(status) << ": " << detail;
    }
}

TEST_F(TlsStreamCertificates, SystemStoreDoesNotKnowTheTestCa) {
    const TestCertificate identity = MakeCertificate({}, &ca_);
    const StreamStatus status = Connect(identity, "localhost", "");
    EXPECT_EQ(status.kind, FailureKind::CertificateVerify) << StatusText(status);
}

TEST_F(TlsStreamCertificates, BulkDataBothWaysThenTheCloseAlert) {
    const TestCertificate identity = MakeCertificate({}, &ca_);
    std::string payload(4 << 20, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + i / 4096);
    // Takes the whole payload, then sends it back, then ends the session with the close alert.
    TlsTestServer server(identity, [size = payload.size()](SSL* ssl) {
        std::string echoed(size, '\0');
        std::size_t have = 0;
        while (have < size) {
            std::size_t got = 0;
            if (SSL_read_ex(ssl, echoed.data() + have, size - have, &got) != 1) return;
            have += got;
        }
        std::size_t sent = 0;
        SSL_write_ex(ssl, echoed.data(), echoed.size(), &sent);
    });
    TlsTestClient client({.trustFile = caFile_, .implicit = true});
    const StreamStatus connected = client.Connect("localhost", server.Port());
    ASSERT_TRUE(connected) << StatusText(connected) << ": " << client.TlsFailure().detail;
    ASSERT_EQ(client.Send(payload), "");

    std::string back;
    char chunk[65536];
    for (;;) {
        std::size_t received = 0;
        const StreamStatus status = client.Stream().Read(chunk, sizeof chunk, received);
        if (!status) {
            EXPECT_EQ(status.kind, FailureKind::Closed) << StatusText(status);
            break;
        }
        back.append(chunk, received);
        if (received == 0) {
            const StreamStatus ready = client.Stream().Wait(ByteStream::Direction::kRead, 10000);
            ASSERT_TRUE(ready) << StatusText(ready);
        }
    }
    EXPECT_EQ(server.Finish(), "");
    EXPECT_TRUE(back == payload) << back.size() << " of " << payload.size() << " bytes came back";
}

}  // namespace
}  // namespace mailcore
