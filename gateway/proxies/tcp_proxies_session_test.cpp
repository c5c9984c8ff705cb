// The FTP, Telnet and SOCKS sessions run in this process on real loopback sockets, driven by
// a raw client and, for FTP, a scripted server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <string>
#include <thread>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/proxies/ftp_commands.h"
#include "gateway/proxies/ftp_proxy.h"
#include "gateway/proxies/socks_opening.h"
#include "gateway/proxies/tcp_proxies.h"
#include "gateway/proxies/telnet_proxy.h"

namespace proxies {
namespace {

// Every read of the test waits at most this long, so a broken session fails the test.
constexpr int kReadTimeoutSeconds = 10;

int ListenLoopback(uint16_t* port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 8) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(s);
    return -1;
  }
  *port = ntohs(a.sin_port);
  return s;
}

void SetReadTimeout(int s) {
  timeval tv{kReadTimeoutSeconds, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

int ConnectLoopback(uint16_t port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(s);
    return -1;
  }
  SetReadTimeout(s);
  return s;
}

int AcceptOne(int listener) {
  int s = accept(listener, nullptr, nullptr);
  if (s >= 0) SetReadTimeout(s);
  return s;
}

void SendRaw(int s, const std::string& text) {
  ASSERT_EQ(send(s, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
}

// Reads until the text read ends with want (or the peer closes or falls silent).
std::string ReadUntil(int s, const std::string& want) {
  std::string got;
  char c;
  while (got.size() < want.size() || got.compare(got.size() - want.size(), want.size(), want)) {
    if (recv(s, &c, 1, 0) != 1) break;
    got += c;
  }
  return got;
}

std::string ReadToClose(int s) {
  std::string got;
  char buffer[4096];
  ssize_t n;
  while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) got.append(buffer, static_cast<size_t>(n));
  // A close with unread bytes arrives as a reset; only silence is not a close.
  bool closed = n == 0 || errno == ECONNRESET;
  return closed ? got : got + "<no close>";
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTcpProxies();
    listener_ = ListenLoopback(&port_);
    ASSERT_GE(listener_, 0);
  }
  void TearDown() override {
    if (server_thread_.joinable()) server_thread_.join();
    EXPECT_TRUE(engine::SessionThread::WaitForSessions(kReadTimeoutSeconds * 1000));
    engine::TheAccessRules().Clear();
    close(listener_);
    if (server_listener_ >= 0) close(server_listener_);
  }
  void Start(platform::WorkerThread* session) {
    session->set_auto_delete(true);
    ASSERT_TRUE(session->CreateThread());
  }
  int Client() { return ConnectLoopback(port_); }
  // A scripted server on another loopback port, run on its own thread.
  template <typename Script>
  void RunServer(Script script) {
    server_listener_ = ListenLoopback(&server_port_);
    server_thread_ = std::thread([this, script] {
      int s = AcceptOne(server_listener_);
      if (s >= 0) {
        script(s);
        close(s);
      }
    });
  }

  int listener_ = -1;
  uint16_t port_ = 0;
  int server_listener_ = -1;
  uint16_t server_port_ = 0;
  std::thread server_thread_;
};

TEST_F(SessionTest, FtpRefusesCommandsBeforeLoginThenLogsInAfterMultiLineGreeting) {
  std::string user_seen;
  RunServer([&user_seen](int s) {
    SendRaw(s, "220-Welcome to the test server\r\n");
    SendRaw(s, "   an indented line\r\n220-one more\r\n220 ready\r\n");
    user_seen = ReadUntil(s, "\r\n");
    SendRaw(s, "331 Password required\r\n");
    EXPECT_EQ(ReadUntil(s, "\r\n"), "PASS secret\r\n");
    SendRaw(s, "230 Logged in\r\n");
    EXPECT_EQ(ReadUntil(s, "\r\n"), "QUIT\r\n");
    SendRaw(s, "221 Bye\r\n");
  });
  Start(new FmCsFTPProxy(listener_, -1));
  int c = Client();
  ASSERT_GE(c, 0);
  EXPECT_EQ(ReadUntil(c, "\r\n"),
            "220 Wayfarer v2.0 FTP proxy server ready. User : user@FTPserver.\r\n");
  for (const char* early : {"FEAT\r\n", "AUTH TLS\r\n", "SYST\r\n", "PORT 127,0,0,1,4,1\r\n",
                            "RETR x\r\n"}) {
    SendRaw(c, early);
    EXPECT_EQ(ReadUntil(c, "\r\n"), "500 Not connected to destination.\r\n") << early;
  }
  SendRaw(c, "USER alice\r\n");
  EXPECT_EQ(ReadUntil(c, "\r\n"), "500 Error: user@FTPserver is required.\r\n");
  SendRaw(c, "USER alice@127.0.0.1:" + std::to_string(server_port_) + "\r\n");
  EXPECT_EQ(ReadUntil(c, "\r\n"), "331 Password required\r\n");
  SendRaw(c, "PASS secret\r\n");
  EXPECT_EQ(ReadUntil(c, "\r\n"), "230 Logged in\r\n");
  SendRaw(c, "QUIT\r\n");
  EXPECT_EQ(ReadToClose(c), "221 Bye\r\n");
  close(c);
  server_thread_.join();
  EXPECT_EQ(user_seen, "USER alice\r\n");
}

TEST_F(SessionTest, FtpRefusedTransferClosesDataListenerAndKeepsSession) {
  std::string port_seen;
  RunServer([&port_seen](int s) {
    SendRaw(s, "220 ready\r\n");
    ReadUntil(s, "\r\n");
    SendRaw(s, "230 Logged in\r\n");
    port_seen = ReadUntil(s, "\r\n");
    SendRaw(s, "200 PORT ok\r\n");
    ReadUntil(s, "\r\n");
    SendRaw(s, "425 Can't open data connection\r\n");
    EXPECT_EQ(ReadUntil(s, "\r\n"), "NOOP\r\n");
    SendRaw(s, "200 NOOP ok\r\n");
  });
  Start(new FmCsFTPProxy(listener_, -1));
  int c = Client();
  ReadUntil(c, "\r\n");
  SendRaw(c, "user a@127.0.0.1:" + std::to_string(server_port_) + "\r\n");
  EXPECT_EQ(ReadUntil(c, "\r\n"), "230 Logged in\r\n");
  SendRaw(c, "PORT 127,0,0,1,4,1\r\n");
  EXPECT_EQ(ReadUntil(c, "\r\n"), "200 PORT ok\r\n");
  SendRaw(c, "RETR file\r\n");
  EXPECT_EQ(ReadUntil(c, "\r\n"), "425 Can't open data connection\r\n");
  // A command line longer than the command buffer is refused; the session goes on.
  SendRaw(c, "NOOP " + std::string(3000, 'x') + "\r\n");
  EXPECT_EQ(ReadUntil(c, "\r\n"), "500 Command line too long.\r\n");
  SendRaw(c, "NOOP\r\n");
  EXPECT_EQ(ReadUntil(c, "\r\n"), "200 NOOP ok\r\n");
  close(c);
  server_thread_.join();
  // The server was sent the gateway's own data listener, which is gone after the refusal.
  std::string address;
  int data_port = 0;
  ASSERT_EQ(ParseFtpPort(port_seen, &address, &data_port), 0);
  EXPECT_EQ(address, "127.0.0.1");
  EXPECT_EQ(ConnectLoopback(static_cast<uint16_t>(data_port)), -1);
}

TEST_F(SessionTest, FtpDataConnectionThatNeverComesEndsTheSession) {
  uint16_t client_data_port = 0;
  int client_data = ListenLoopback(&client_data_port);
  RunServer([](int s) {
    SendRaw(s, "220 ready\r\n");
    ReadUntil(s, "\r\n");
    SendRaw(s, "230 Logged in\r\n");
    ReadUntil(s, "\r\n");
    SendRaw(s, "200 PORT ok\r\n");
    ReadUntil(s, "\r\n");
    SendRaw(s, "150 Opening data connection\r\n");  // and never connects
    char c;
    while (recv(s, &c, 1, 0) == 1) {
    }
  });
  Start(new FmCsFTPProxy(listener_, 1));
  int c = Client();
  ReadUntil(c, "\r\n");
  SendRaw(c, "USER a@127.0.0.1:" + std::to_string(server_port_) + "\r\n");
  ReadUntil(c, "\r\n");
  SendRaw(c, "PORT 127,0,0,1," + std::to_string(client_data_port >> 8) + "," +
                 std::to_string(client_data_port & 0xFF) + "\r\n");
  ReadUntil(c, "\r\n");
  SendRaw(c, "RETR file\r\n");
  EXPECT_EQ(ReadToClose(c), "150 Opening data connection\r\n");
  close(c);
  close(client_data);
}

TEST_F(SessionTest, FtpDeniedServerKeepsSessionAndQuitBeforeLoginEndsIt) {
  ASSERT_EQ(engine::AddRule(engine::RuleNumberFor(engine::kCodeFtp), "", "127.0.0.1", ""), 0);
  Start(new FmCsFTPProxy(listener_, -1));
  int c = Client();
  ReadUntil(c, "\r\n");
  SendRaw(c, "USER a@127.0.0.1:21\r\n");
  EXPECT_EQ(ReadUntil(c, "\r\n"), "500 Access Denied. Contact Your Administrator.\r\n");
  SendRaw(c, "QUIT\r\n");
  EXPECT_EQ(ReadToClose(c), "");
  close(c);
}

std::string SocksRequestBytes(uint8_t version, uint8_t command, uint16_t port,
                              const std::string& user) {
  std::string r = {static_cast<char>(version), static_cast<char>(command),
                   static_cast<char>(port >> 8), static_cast<char>(port & 0xFF), 127, 0, 0, 1};
  return r + user + std::string(1, '\0');
}

TEST_F(SessionTest, SocksGrantsWithEightBytesAndKeepsBytesSentAfterTheUserId) {
  RunServer([](int s) {
    std::string got = ReadUntil(s, "hello");
    SendRaw(s, "echo:" + got);
  });
  Start(new engine::FmCsHttpService(listener_, -1, engine::kCodeSocks));
  int c = Client();
  SendRaw(c, SocksRequestBytes(4, 1, server_port_, "someone") + "hello");
  std::string reply = ReadUntil(c, "echo:hello");
  EXPECT_EQ(reply, std::string("\0\x5a\0\0\0\0\0\0", 8) + "echo:hello");
  close(c);
}

TEST_F(SessionTest, Socks5PipelinedGreetingRequestAndDataEachReachTheirReader) {
  RunServer([](int s) {
    std::string got = ReadUntil(s, "hello");
    SendRaw(s, "echo:" + got);
  });
  Start(new engine::FmCsHttpService(listener_, -1, engine::kCodeSocks));
  int c = Client();
  // A client that does not wait for the method reply: nothing after the greeting or the
  // request may be taken as part of it.
  std::string greeting("\5\2\2\0", 4);
  std::string request = std::string("\5\1\0\3\x09", 5) + "127.0.0.1";
  request += {static_cast<char>(server_port_ >> 8), static_cast<char>(server_port_ & 0xFF)};
  SendRaw(c, greeting + request + "hello");
  std::string reply = ReadUntil(c, "echo:hello");
  EXPECT_EQ(reply, std::string("\5\0\5\0\0\1\0\0\0\0\0\0", 12) + "echo:hello");
  close(c);
}

TEST_F(SessionTest, SocksRequestsItDoesNotServeAreClosedWithoutReply) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"version 3", SocksRequestBytes(3, 1, 80, "")},
      {"bind", SocksRequestBytes(4, 2, 80, "")},
      {"no user id", std::string("\4\1\0\x50\x7f\0\0\1", 8)},
      {"user id without end", std::string("\4\1\0\x50\x7f\0\0\1", 8) + std::string(400, 'u')},
      {"short request", std::string("\4\1\0", 3)},
  };
  for (const Case& k : cases) {
    Start(new engine::FmCsHttpService(listener_, -1, engine::kCodeSocks));
    int c = Client();
    SendRaw(c, k.bytes);
    EXPECT_EQ(ReadToClose(c), "") << k.what;
    close(c);
  }
}

TEST_F(SessionTest, SocksDeniedDestinationGetsTheText) {
  ASSERT_EQ(engine::AddRule(engine::RuleNumberFor(engine::kCodeSocks), "", "127.0.0.1", ""), 0);
  Start(new engine::FmCsHttpService(listener_, -1, engine::kCodeSocks));
  int c = Client();
  SendRaw(c, SocksRequestBytes(4, 1, 80, ""));
  EXPECT_EQ(ReadToClose(c), "Access Denied. Contact Your Administrator\r\n");
  close(c);
}

TEST_F(SessionTest, TelnetDeniedHostGetsTextAndPromptAgainThenExitCloses) {
  ASSERT_EQ(engine::AddRule(engine::RuleNumberFor(engine::kCodeTelnet), "", "127.0.0.1", ""), 0);
  Start(new FmCsTelnetProxy(listener_, -1));
  int c = Client();
  EXPECT_EQ(ReadUntil(c, ">"), "Wayfarer (Host Name) >");
  SendRaw(c, "127.0.0.1\r\n");
  EXPECT_EQ(ReadUntil(c, "Wayfarer (Host Name) >"),
            "127.0.0.1\r\nConnecting to destination.....Access Denied\r\n"
            "Contact Your Administrator.\r\nWayfarer (Host Name) >");
  SendRaw(c, "eXit\r\n");
  EXPECT_EQ(ReadToClose(c), "eXit\r\n");
  close(c);
}

}  // namespace
}  // namespace proxies
