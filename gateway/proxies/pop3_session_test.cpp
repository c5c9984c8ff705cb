// The POP3 session in this process on loopback: the client's first line at its length limit,
// and what the server is told. The scripted server listens on POP3's own port 110, which is
// ours in the private network namespace the test runs in (see cmake/WayfarerTest.cmake).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/proxies/tcp_proxies.h"
#include "platform/testing/script_server.h"

namespace proxies {
namespace {

using platform::Socket;
using platform::testing::ReadToClose;
using platform::testing::ReadUntil;
using platform::testing::SendText;

class Pop3SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("WAYFARER_PRIVATE_NETWORK") == nullptr) {
      GTEST_SKIP() << "needs port 110: run inside a private network namespace";
    }
    server_ = std::make_unique<platform::testing::ScriptServer>(
        [this](Socket s) {
          (void)SendText(s, "+OK test server\r\n");
          seen_ = ReadUntil(s, "\r\n");
          (void)SendText(s, "+OK logged in\r\n");
          seen_ += ReadUntil(s, "\r\n");
          (void)SendText(s, "+OK bye\r\n");
        },
        110);
    ASSERT_NE(server_->port(), 0);
    RegisterTcpProxies();
    listener_ = platform::testing::ListenLoopback();
    ASSERT_NE(listener_, platform::kInvalidSocket);
  }
  void TearDown() override {
    EXPECT_TRUE(engine::SessionThread::WaitForSessions(platform::testing::kSilenceMs));
    server_.reset();
    if (listener_ != platform::kInvalidSocket) platform::CloseSocket(listener_);
  }
  // Sends first_line through a new POP3 session; what the client got until the close.
  std::string Login(const std::string& first_line) {
    auto* session = new engine::FmCsHttpService(listener_, -1, engine::kCodePop3);
    session->set_auto_delete(true);
    EXPECT_TRUE(session->CreateThread());
    Socket c = platform::testing::DialLoopback(platform::LocalPort(listener_));
    EXPECT_EQ(ReadUntil(c, "\r\n"), "+OK pop3 ready\r\n");
    EXPECT_TRUE(SendText(c, first_line));
    std::string got = ReadUntil(c, "\r\n");
    if (got == "+OK logged in\r\n") {
      EXPECT_TRUE(SendText(c, "QUIT\r\n"));
    }
    got += ReadToClose(c);
    platform::CloseSocket(c);
    return got;
  }
  // "USER aaa...<127.0.0.1>\r\n" of exactly length bytes.
  static std::string FirstLine(size_t length) {
    return "USER " + std::string(length - 18, 'a') + "<127.0.0.1>\r\n";
  }

  Socket listener_ = platform::kInvalidSocket;
  std::string seen_;  // the server's view of the login, written by the server's thread
  std::unique_ptr<platform::testing::ScriptServer> server_;
};

TEST_F(Pop3SessionTest, FirstLineOfExactlyTheLimitLogsIn) {
  std::string line = FirstLine(512);
  ASSERT_EQ(line.size(), 512u);
  EXPECT_EQ(Login(line), "+OK logged in\r\n+OK bye\r\n");
  EXPECT_TRUE(engine::SessionThread::WaitForSessions(platform::testing::kSilenceMs));
  std::string account = line.substr(5, line.find('<') - 5);
  EXPECT_EQ(seen_, "USER " + account + "\r\nQUIT\r\n");
}

TEST_F(Pop3SessionTest, FirstLineOneByteOverTheLimitIsAFormatViolation) {
  EXPECT_EQ(Login(FirstLine(513)), "-ERR POP3 User Format Violation Give :User<Domain>\r\n");
  EXPECT_EQ(server_->connections(), 0) << "the server is never asked";
}

}  // namespace
}  // namespace proxies
