// The opening waits: a kill ends them and stays queued for the session's loop, other messages
// keep their order, and a connect retried after a time-out gets a fresh socket.
#include "gateway/engine/opening_wait.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <vector>

#include "gateway/engine/engine_messages.h"
#include "platform/message_queue.h"
#include "platform/socket_errors.h"

namespace engine {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return to;
}

platform::Socket Listen(int backlog) {
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  EXPECT_EQ(platform::BindLoopback(s, 0), 0);
  EXPECT_EQ(listen(s, backlog), 0);  // 0 is kept (the wrapper would make it 5)
  return s;
}

TEST(OpeningWait, KillEndsTheWaitAndStaysForTheSessionLoop) {
  ClearOpeningKill();
  platform::Socket quiet = Listen(1);
  platform::Socket c = platform::CreateSocket(SOCK_STREAM);
  ASSERT_EQ(platform::Connect(c, "127.0.0.1", platform::LocalPort(quiet)), 0);
  platform::TargetId target = platform::CreateTarget();
  platform::ThreadId self = platform::CurrentThreadId();
  ASSERT_TRUE(platform::PostMessage(target, kWmUser + 1, 1, 0));
  ASSERT_TRUE(platform::PostThreadMessage(self, kMsgKillSession, 0, 0));
  EXPECT_EQ(WaitInOpening(c, false, 60000), WaitResult::kKilled);
  EXPECT_TRUE(KilledInOpening());
  EXPECT_EQ(PauseInOpening(60000), WaitResult::kKilled) << "later waits end at once too";
  std::vector<unsigned> seen;
  platform::Message msg;
  while (platform::PeekMessage(&msg, true)) seen.push_back(msg.message);
  EXPECT_EQ(seen, (std::vector<unsigned>{kWmUser + 1, kMsgKillSession}));
  ClearOpeningKill();
  platform::DestroyTarget(target);
  platform::CloseSocket(c);
  platform::CloseSocket(quiet);
}

TEST(OpeningWait, ReadableSocketEndsTheWait) {
  ClearOpeningKill();
  platform::Socket l = Listen(1);
  platform::Socket c = platform::CreateSocket(SOCK_STREAM);
  ASSERT_EQ(platform::Connect(c, "127.0.0.1", platform::LocalPort(l)), 0);
  platform::Socket peer = platform::Accept(l);
  ASSERT_EQ(platform::Send(peer, "x", 1), 1);
  EXPECT_EQ(WaitInOpening(c, false, 60000), WaitResult::kReady);
  for (platform::Socket s : {c, peer, l}) platform::CloseSocket(s);
}

TEST(OpeningWait, ConnectRetriedAfterATimeOutGetsAFreshSocket) {
  ClearOpeningKill();
  // A listener whose accept queue is full never answers further handshakes.
  platform::Socket busy = Listen(0);
  std::vector<platform::Socket> fillers;
  for (int i = 0; i < 6; ++i) {
    platform::Socket f = platform::CreateSocket(SOCK_STREAM);
    fcntl(f, F_SETFL, O_NONBLOCK);
    sockaddr_in to = Loopback(platform::LocalPort(busy));
    [[maybe_unused]] int rc = connect(f, reinterpret_cast<sockaddr*>(&to), sizeof to);
    fillers.push_back(f);
  }
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  EXPECT_EQ(ConnectInOpening(s, Loopback(platform::LocalPort(busy)), 200, false),
            platform::kSocketError);
  EXPECT_EQ(platform::LastSocketError(), platform::kWsaETimedOut);
  platform::Socket good = Listen(4);
  EXPECT_EQ(ConnectInOpening(s, Loopback(platform::LocalPort(good)), 5000, true), 0)
      << "the half-open socket of the first attempt must not be reused";
  for (platform::Socket f : fillers) platform::CloseSocket(f);
  for (platform::Socket x : {s, good, busy}) platform::CloseSocket(x);
}

}  // namespace
}  // namespace engine
