// The FTP session's data transfers in this process on loopback: the PORT rewrite, both
// directions of a transfer between the client's and the server's data connections, and the
// ends a transfer can meet. The server is scripted; the client speaks raw FTP.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstdio>
#include <string>

#include "gateway/proxies/ftp_proxy.h"
#include "gateway/proxies/tcp_proxies.h"
#include "platform/testing/script_server.h"

namespace proxies {
namespace {

using platform::Socket;
using platform::testing::ReadToClose;
using platform::testing::ReadUntil;
using platform::testing::SendText;

// n bytes that differ along the stream, so a lost or repeated block shows.
std::string Pattern(size_t n) {
  std::string out(n, '\0');
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>((i * 7 + i / 4093) & 0xFF);
  return out;
}

// The port of a "PORT h1,h2,h3,h4,p1,p2" line; 0 when it is not one.
int PortOf(const std::string& line) {
  int h[4], p1 = 0, p2 = 0;
  if (std::sscanf(line.c_str(), "PORT %d,%d,%d,%d,%d,%d", &h[0], &h[1], &h[2], &h[3], &p1, &p2) !=
      6) {
    return 0;
  }
  return p1 * 256 + p2;
}

std::string PortCommand(uint16_t port) {
  return "PORT 127,0,0,1," + std::to_string(port >> 8) + "," + std::to_string(port & 0xFF) + "\r\n";
}

class FtpTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTcpProxies();
    listener_ = platform::testing::ListenLoopback();
    ASSERT_NE(listener_, platform::kInvalidSocket);
    client_data_ = platform::testing::ListenLoopback(1);
    ASSERT_NE(client_data_, platform::kInvalidSocket);
  }
  void TearDown() override {
    EXPECT_TRUE(engine::SessionThread::WaitForSessions(platform::testing::kSilenceMs));
    platform::CloseSocket(listener_);
    platform::CloseSocket(client_data_);
  }

  // Logs a client in through a new FTP session to server and sends PORT for data_port
  // (client_data_'s when 0).
  Socket LogInAndSendPort(uint16_t server_port, uint16_t data_port = 0, int idle_timeout = -1) {
    auto* session = new FmCsFTPProxy(listener_, idle_timeout);
    session->set_auto_delete(true);
    EXPECT_TRUE(session->CreateThread());
    Socket c = platform::testing::DialLoopback(platform::LocalPort(listener_));
    ReadUntil(c, "\r\n");
    EXPECT_TRUE(SendText(c, "USER a@127.0.0.1:" + std::to_string(server_port) + "\r\n"));
    EXPECT_EQ(ReadUntil(c, "\r\n"), "230 Logged in\r\n");
    EXPECT_TRUE(
        SendText(c, PortCommand(data_port != 0 ? data_port : platform::LocalPort(client_data_))));
    EXPECT_EQ(ReadUntil(c, "\r\n"), "200 PORT ok\r\n");
    return c;
  }

  // The server's side up to the transfer command: greets, logs in, takes PORT. Returns the
  // port the gateway offered for the data connection.
  static int ServerUpToTransfer(Socket s, std::string* command) {
    (void)SendText(s, "220 ready\r\n");
    ReadUntil(s, "\r\n");
    (void)SendText(s, "230 Logged in\r\n");
    int port = PortOf(ReadUntil(s, "\r\n"));
    (void)SendText(s, "200 PORT ok\r\n");
    *command = ReadUntil(s, "\r\n");
    return port;
  }

  Socket listener_ = platform::kInvalidSocket;
  Socket client_data_ = platform::kInvalidSocket;
};

TEST_F(FtpTransferTest, RetrieveCarriesEveryByteFromTheServerToTheClient) {
  const std::string file = Pattern(3 << 20);
  std::string command;
  int offered = 0;
  platform::testing::ScriptServer server([&](Socket s) {
    offered = ServerUpToTransfer(s, &command);
    (void)SendText(s, "150 Opening data connection\r\n");
    Socket data = platform::testing::DialLoopback(static_cast<uint16_t>(offered));
    (void)SendText(data, file);
    platform::CloseSocket(data);
    (void)SendText(s, "226 Transfer complete\r\n");
    ReadUntil(s, "\r\n");
  });
  Socket c = LogInAndSendPort(server.port());
  ASSERT_TRUE(SendText(c, "RETR big\r\n"));
  EXPECT_EQ(ReadUntil(c, "\r\n"), "150 Opening data connection\r\n");
  ASSERT_EQ(platform::WaitReadable(client_data_, platform::testing::kSilenceMs), 1);
  Socket data = platform::Accept(client_data_);
  std::string got = ReadToClose(data);
  platform::CloseSocket(data);
  EXPECT_EQ(got.size(), file.size());
  EXPECT_TRUE(got == file) << "the bytes differ";
  EXPECT_EQ(ReadUntil(c, "\r\n"), "226 Transfer complete\r\n");
  platform::CloseSocket(c);
  EXPECT_EQ(command, "RETR big\r\n");
  // The server was offered the gateway's own data listener, not the client's port.
  EXPECT_NE(offered, 0);
  EXPECT_NE(offered, platform::LocalPort(client_data_));
}

TEST_F(FtpTransferTest, StoreCarriesEveryByteFromTheClientToTheServer) {
  const std::string file = Pattern(2 << 20);
  std::string stored;
  platform::testing::ScriptServer server([&](Socket s) {
    std::string command;
    int offered = ServerUpToTransfer(s, &command);
    (void)SendText(s, "150 Ready for data\r\n");
    Socket data = platform::testing::DialLoopback(static_cast<uint16_t>(offered));
    stored = ReadToClose(data);
    platform::CloseSocket(data);
    (void)SendText(s, "226 Stored\r\n");
    ReadUntil(s, "\r\n");
  });
  Socket c = LogInAndSendPort(server.port());
  ASSERT_TRUE(SendText(c, "STOR up\r\n"));
  EXPECT_EQ(ReadUntil(c, "\r\n"), "150 Ready for data\r\n");
  ASSERT_EQ(platform::WaitReadable(client_data_, platform::testing::kSilenceMs), 1);
  Socket data = platform::Accept(client_data_);
  ASSERT_TRUE(SendText(data, file));
  platform::CloseSocket(data);
  EXPECT_EQ(ReadUntil(c, "\r\n"), "226 Stored\r\n");
  platform::CloseSocket(c);
  EXPECT_EQ(stored.size(), file.size());
  EXPECT_TRUE(stored == file) << "the bytes differ";
}

TEST_F(FtpTransferTest, ServerDroppingTheDataMidwayEndsTheTransferNotTheSession) {
  platform::testing::ScriptServer server([&](Socket s) {
    std::string command;
    int offered = ServerUpToTransfer(s, &command);
    (void)SendText(s, "150 Opening data connection\r\n");
    Socket data = platform::testing::DialLoopback(static_cast<uint16_t>(offered));
    (void)SendText(data, "first half");
    platform::CloseSocket(data);
    (void)SendText(s, "426 Connection closed; transfer aborted\r\n");
    EXPECT_EQ(ReadUntil(s, "\r\n"), "NOOP\r\n");
    (void)SendText(s, "200 NOOP ok\r\n");
  });
  Socket c = LogInAndSendPort(server.port());
  ASSERT_TRUE(SendText(c, "RETR big\r\n"));
  EXPECT_EQ(ReadUntil(c, "\r\n"), "150 Opening data connection\r\n");
  ASSERT_EQ(platform::WaitReadable(client_data_, platform::testing::kSilenceMs), 1);
  Socket data = platform::Accept(client_data_);
  EXPECT_EQ(ReadToClose(data), "first half");
  platform::CloseSocket(data);
  EXPECT_EQ(ReadUntil(c, "\r\n"), "426 Connection closed; transfer aborted\r\n");
  ASSERT_TRUE(SendText(c, "NOOP\r\n"));
  EXPECT_EQ(ReadUntil(c, "\r\n"), "200 NOOP ok\r\n");
  platform::CloseSocket(c);
}

TEST_F(FtpTransferTest, ClientDataPortThatRefusesEndsTheSession) {
  // A port nothing listens on: bound, never listening.
  Socket closed = platform::CreateSocket(SOCK_STREAM);
  ASSERT_EQ(platform::BindLoopback(closed, 0), 0);
  uint16_t refused = platform::LocalPort(closed);
  platform::testing::ScriptServer server([&](Socket s) {
    std::string command;
    ServerUpToTransfer(s, &command);
    (void)SendText(s, "150 Opening data connection\r\n");
    ReadToClose(s);
  });
  Socket c = LogInAndSendPort(server.port(), refused, 2);
  ASSERT_TRUE(SendText(c, "RETR big\r\n"));
  EXPECT_EQ(ReadToClose(c), "150 Opening data connection\r\n");
  platform::CloseSocket(c);
  platform::CloseSocket(closed);
}

}  // namespace
}  // namespace proxies
