#include "testing/scripted_server/scripted_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <system_error>
#include <vector>

namespace {

using scripted::Milliseconds;
using scripted::Script;
using scripted::ScriptedServer;

// A bare blocking client, so these tests do not depend on the socket class they help to test.
class RawClient {
  public:
    explicit RawClient(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { Close(); }
    bool Connected() const { return connected_; }
    void Send(const std::string& text) {
        ASSERT_EQ(::send(fd_, text.data(), text.size(), 0), ssize_t(text.size()));
    }
    // Reads until `count` bytes arrived or the peer closed.
    std::string Read(std::size_t count) {
        std::string out;
        char buffer[4096];
        while (out.size() < count) {
            ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, count - out.size()), 0);
            if (n <= 0) break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

TEST(ScriptedServer, PlaysRepliesAndRecordsExactBytes) {
    ScriptedServer server(
        Script().Reply("+OK hi\r\n", {1, 2, 5}, Milliseconds(1)).Expect("NOOP\r\n").Reply("+OK\r\n"));
    RawClient client(server.Port());
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(client.Read(8), "+OK hi\r\n");
    client.Send("NOOP\r\n");
    EXPECT_EQ(client.Read(5), "+OK\r\n");
    client.Send("trailing bytes");
    client.Close();
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_EQ(server.Received(0), "NOOP\r\ntrailing bytes");
    EXPECT_TRUE(server.Failures().empty());
}

TEST(ScriptedServer, ReportsAnUnexpectedLine) {
    ScriptedServer server(Script().Expect("STAT\r\n").Reply("+OK\r\n"));
    RawClient client(server.Port());
    client.Send("LIST\r\n");
    client.Close();
    ASSERT_TRUE(server.WaitForFinished(1));
    ASSERT_EQ(server.Failures().size(), 1u);
    EXPECT_NE(server.Failures()[0].find("LIST\\r\\n"), std::string::npos);
}

TEST(ScriptedServer, EveryConnectionRunsTheWholeScript) {
    ScriptedServer server(Script().Reply("+OK\r\n").Drop());
    for (int i = 0; i < 3; ++i) {
        RawClient client(server.Port());
        EXPECT_EQ(client.Read(100), "+OK\r\n");  // ends at the drop
    }
    EXPECT_TRUE(server.WaitForFinished(3));
    EXPECT_EQ(server.Accepted(), 3u);
}

TEST(ScriptedServer, ExpectThroughSkipsLinesUpToTheGivenOne) {
    ScriptedServer server(Script().ExpectThrough(".\r\n").Reply("250 ok\r\n"));
    RawClient client(server.Port());
    client.Send("Subject: x\r\n\r\n");
    client.Send("..dot\r\n.\r\n");
    EXPECT_EQ(client.Read(8), "250 ok\r\n");
    client.Close();
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_TRUE(server.Failures().empty());
}

TEST(ScriptedServer, ConnectionsPlayTheirOwnScriptsThenTheLast) {
    ScriptedServer server({Script().Reply("first\r\n").Drop(), Script().Reply("second\r\n").Drop(),
                           Script().Reply("later\r\n").Drop()});
    std::vector<std::string> got;
    for (int i = 0; i < 4; ++i) got.push_back(RawClient(server.Port()).Read(100));
    EXPECT_EQ(got, (std::vector<std::string>{"first\r\n", "second\r\n", "later\r\n", "later\r\n"}));
}

TEST(ScriptedServer, ListensOnAGivenPort) {
    std::uint16_t port = 0;
    {
        ScriptedServer probe(Script{});
        port = probe.Port();
    }
    ScriptedServer server(Script().Reply("+OK\r\n").Drop(), port);
    EXPECT_EQ(server.Port(), port);
    EXPECT_EQ(RawClient(port).Read(100), "+OK\r\n");
    EXPECT_THROW(ScriptedServer(Script{}, port), std::system_error);
}

TEST(ScriptedServer, FloodsWithLines) {
    ScriptedServer server(Script().Flood(30, 'a', 8));
    RawClient client(server.Port());
    std::string got = client.Read(30);
    EXPECT_EQ(got.size(), 30u);
    EXPECT_EQ(got.substr(0, 20), "aaaaaaaa\r\naaaaaaaa\r\n");
}

TEST(ScriptedServer, StopEndsASilentConnectionAfterTheGrace) {
    ScriptedServer server(Script().Silence());
    RawClient client(server.Port());
    client.Send("x\r\n");
    server.Stop(Milliseconds(50));
    EXPECT_EQ(server.Received(0), "x\r\n");
}

}  // namespace
