// The line reader over the TLS stream: an upgrade in the middle of a conversation, with plain text that
// someone in the path appended to the server's go-ahead.
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "mailcore/mail_socket.h"
#include "mailcore/tcp_stream.h"
#include "mailcore/tests/tls_test_server.h"
#include "mailcore/tls_stream.h"

namespace mailcore {
namespace {

using testing::MakeCertificate;
using testing::TestCertificate;
using testing::TlsTestServer;

TEST(TlsMailSocket, PlainTextAppendedToTheGoAheadIsNeverReadAsTls) {
    const TestCertificate ca = MakeCertificate({.commonName = "Test CA", .subjectAltName = "", .isCa = true});
    const std::string caFile = std::string(TEST_BINARY_DIR) + "/tls-socket-ca-" + std::to_string(::getpid());
    ASSERT_EQ(ca.WritePem(caFile), "");
    const TestCertificate identity = MakeCertificate({}, &ca);
    TlsTestServer server(
        identity,
        [](SSL* ssl) {
            static constexpr char kSecured[] = "+OK secured\r\n";
            std::size_t sent = 0;
            SSL_write_ex(ssl, kSecured, sizeof kSecured - 1, &sent);
        },
        "+OK Begin TLS negotiation\r\n+OK injected\r\n");

    MailSocket socket(
        std::make_unique<TlsStream>(std::make_unique<TcpStream>(), TlsSettings{.trustFile = caFile}));
    ASSERT_EQ(socket.Open(), 1);
    socket.SetReceiveTimeout(10000);
    socket.SetSendTimeout(10000);
    ASSERT_EQ(socket.ConnectToName("127.0.0.1", server.Port()), 1);
    std::string reply;
    ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine));
    EXPECT_EQ(reply, "+OK Begin TLS negotiation\r\n");
    ASSERT_EQ(socket.StartTls("127.0.0.1"), 1) << FailureText(socket.LastFailure());
    ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine)) << FailureText(socket.LastFailure());
    EXPECT_EQ(reply, "+OK secured\r\n");
    socket.Close();
    EXPECT_EQ(server.Finish(), "");
    ::unlink(caFile.c_str());
}

TEST(TlsMailSocket, RefusedUpgradeIsRecordedAndNothingMoreGoesOut) {
    const TestCertificate ca = MakeCertificate({.commonName = "Test CA", .subjectAltName = "", .isCa = true});
    const std::string caFile = std::string(TEST_BINARY_DIR) + "/tls-socket-ca2-" + std::to_string(::getpid());
    ASSERT_EQ(ca.WritePem(caFile), "");
    TlsTestServer server(
        MakeCertificate({}, &ca), [](SSL*) {}, "+OK Begin TLS negotiation\r\n");

    MailSocket socket(
        std::make_unique<TlsStream>(std::make_unique<TcpStream>(), TlsSettings{.trustFile = caFile}));
    ASSERT_EQ(socket.Open(), 1);
    socket.SetReceiveTimeout(10000);
    socket.SetSendTimeout(10000);
    ASSERT_EQ(socket.ConnectToName("127.0.0.1", server.Port()), 1);
    std::string reply;
    ASSERT_TRUE(socket.ReadReply(reply, ReplyMode::OneLine));
    EXPECT_EQ(socket.StartTls("mail.example.org"), 0);
    EXPECT_EQ(socket.LastFailure().kind, FailureKind::CertificateVerify) << FailureText(socket.LastFailure());
    EXPECT_EQ(socket.LastFailure().detail, "TLS mail.example.org");
    EXPECT_LE(socket.SendText("PASS secret\r\n"), 0);
    socket.Close();
    EXPECT_NE(server.Finish(), "");
    ::unlink(caFile.c_str());
}

}  // namespace
}  // namespace mailcore
