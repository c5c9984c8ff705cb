// The kill message reaches a session in every wait: in its connect (a server that never
// answers the handshake) and while its relay is congested both ways. Real loopback sockets;
// the kill is posted exactly as the console's Kill posts it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/relay_session.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/session_thread.h"
#include "gateway/proxies/tcp_proxies.h"
#include "platform/socket.h"

namespace proxies {
namespace {

using Clock = std::chrono::steady_clock;

// Far below the waits the kill cuts short (a 21 s connect, a relay stuck for minutes).
constexpr auto kKillBound = std::chrono::milliseconds(1000);

platform::Socket Listen(int backlog, uint16_t* port) {
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  EXPECT_EQ(platform::BindLoopback(s, 0), 0);
  EXPECT_EQ(listen(s, backlog), 0);  // 0 is kept (the wrapper would make it 5)
  *port = platform::LocalPort(s);
  return s;
}

std::string SocksConnect(uint16_t port) {
  std::string r = {4, 1, static_cast<char>(port >> 8), static_cast<char>(port & 0xff), 127, 0, 0,
                   1, 0};
  return r;
}

// Waits (bounded) until the gateway closed c; true when it did.
bool SeesClose(platform::Socket c) {
  char buf[65536];
  auto end = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < end) {
    if (platform::WaitReadable(c, 1000) != 1) continue;
    int n = platform::Recv(c, buf, sizeof buf);
    if (n <= 0) return true;
  }
  return false;
}

class SessionKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTcpProxies();
    listener_ = Listen(8, &port_);
  }
  void TearDown() override {
    EXPECT_TRUE(engine::SessionThread::WaitForSessions(10000));
    for (platform::Socket s : owned_) platform::CloseSocket(s);
    platform::CloseSocket(listener_);
  }
  // A SOCKS session for one client; its thread id for the kill.
  platform::ThreadId StartSocks() {
    auto* session = new engine::FmCsHttpService(listener_, -1, engine::kCodeSocks);
    session->set_auto_delete(true);
    EXPECT_TRUE(session->CreateThread());
    return session->thread_id();
  }
  platform::Socket Client() {
    platform::Socket c = platform::CreateSocket(SOCK_STREAM);
    EXPECT_EQ(platform::Connect(c, "127.0.0.1", port_), 0);
    owned_.push_back(c);
    return c;
  }
  // Kills the session and returns how long until its client saw the close.
  Clock::duration KillAndTime(platform::ThreadId session, platform::Socket c) {
    auto began = Clock::now();
    EXPECT_TRUE(platform::PostThreadMessage(session, engine::kMsgKillSession, 0, 0));
    EXPECT_TRUE(SeesClose(c));
    return Clock::now() - began;
  }

  platform::Socket listener_ = platform::kInvalidSocket;
  uint16_t port_ = 0;
  std::vector<platform::Socket> owned_;
};

TEST_F(SessionKillTest, KillEndsASessionWaitingInItsConnect) {
  // A server whose accept queue is full: further handshakes are never answered.
  uint16_t busy_port = 0;
  platform::Socket busy = Listen(0, &busy_port);
  owned_.push_back(busy);
  for (int i = 0; i < 6; ++i) {
    platform::Socket f = platform::CreateSocket(SOCK_STREAM);
    fcntl(f, F_SETFL, O_NONBLOCK);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(busy_port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    [[maybe_unused]] int rc = connect(f, reinterpret_cast<sockaddr*>(&to), sizeof to);
    owned_.push_back(f);
  }
  platform::ThreadId session = StartSocks();
  platform::Socket c = Client();
  std::string request = SocksConnect(busy_port);
  ASSERT_EQ(platform::SendAll(c, request.data(), request.size()), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // now in its connect
  EXPECT_LT(KillAndTime(session, c), kKillBound);
}

TEST_F(SessionKillTest, KillEndsASessionCongestedBothWays) {
  uint16_t flood_port = 0;
  platform::Socket flood = Listen(4, &flood_port);
  owned_.push_back(flood);
  std::thread server([flood] {
    platform::Socket s = platform::Accept(flood);
    std::string chunk(1 << 16, 'd');
    // Writes and never reads, until the gateway goes away.
    while (platform::Send(s, chunk.data(), chunk.size()) > 0) {
    }
    platform::CloseSocket(s);
  });
  platform::ThreadId session = StartSocks();
  platform::Socket c = Client();
  std::string request = SocksConnect(flood_port);
  ASSERT_EQ(platform::SendAll(c, request.data(), request.size()), 0);
  char grant[8];
  ASSERT_EQ(platform::WaitReadable(c, 10000), 1);
  ASSERT_EQ(recv(c, grant, sizeof grant, MSG_WAITALL), 8);
  // The client writes without reading until its own send blocks: both directions are full.
  fcntl(c, F_SETFL, O_NONBLOCK);
  std::string chunk(1 << 16, 'u');
  for (int i = 0; i < 2000; ++i) {
    if (send(c, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) break;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LT(KillAndTime(session, c), kKillBound);
  server.join();
}

}  // namespace
}  // namespace proxies
