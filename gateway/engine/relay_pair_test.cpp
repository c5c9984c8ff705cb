// RelayPair over real loopback connections, driven by this thread's queue: a close waits for
// the bytes held for the other side, a slow reader is served to the end, and a destination
// that takes nothing for the whole stall limit ends the pair.
#include "gateway/engine/relay_pair.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/message_queue.h"

namespace engine {
namespace {

constexpr unsigned kMsgRelay = platform::kWmUser + 9;

// Two connected sockets: the application's end and the gateway's end.
struct Link {
  platform::Socket app = platform::kInvalidSocket;
  platform::Socket gw = platform::kInvalidSocket;
  Link() {
    platform::Socket l = platform::CreateSocket(SOCK_STREAM);
    EXPECT_EQ(platform::BindLoopback(l, 0), 0);
    EXPECT_EQ(platform::Listen(l, 2), 0);
    app = platform::CreateSocket(SOCK_STREAM);
    EXPECT_EQ(platform::Connect(app, "127.0.0.1", platform::LocalPort(l)), 0);
    gw = platform::Accept(l);
    platform::CloseSocket(l);
  }
  ~Link() {
    for (platform::Socket s : {app, gw}) {
      if (s != platform::kInvalidSocket) platform::CloseSocket(s);
    }
  }
};

// Runs the pair on this thread until it is over or limit passes.
// Messages of other targets (an earlier pair's) are left alone, as the session loop does.
RelayPair::Result Drive(RelayPair& pair, platform::TargetId target, std::chrono::seconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    platform::Message msg;
    if (!platform::GetMessageWithin(&msg, 100) || msg.target != target) continue;
    RelayPair::Result r = RelayPair::Result::kGoOn;
    if (msg.message == kMsgRelay) {
      r = pair.OnSocketEvent(static_cast<platform::Socket>(msg.wparam), msg.lparam);
    } else if (msg.message == platform::kWmTimer && msg.wparam == kRelayWatchTimer) {
      r = pair.OnWatchTimer();
    }
    if (r != RelayPair::Result::kGoOn) return r;
  }
  return RelayPair::Result::kGoOn;
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7919) >> 8);
  return s;
}

// Reads until the peer closes, pausing pause_ms after each read of at most chunk bytes.
std::string ReadAll(platform::Socket s, size_t chunk, int pause_ms) {
  std::string got;
  std::string buf(chunk, '\0');
  for (;;) {
    if (platform::WaitReadable(s, 20000) != 1) return got;
    int n = platform::Recv(s, buf.data(), buf.size());
    if (n <= 0) return got;
    got.append(buf, 0, static_cast<size_t>(n));
    if (pause_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
  }
}

TEST(RelayPair, ServerCloseEndsOnlyAfterAHeldAnswerReachedASlowClient) {
  RelayPair::SetStallLimitForTesting(std::chrono::seconds(5));
  Link client, server;
  // Small buffers towards the client: most of the answer is held by the relay when the
  // server closes.
  int small = 64 * 1024;
  setsockopt(client.gw, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  setsockopt(client.app, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  platform::TargetId target = platform::CreateTarget();
  RelayPair pair;
  ASSERT_EQ(pair.Start(client.gw, server.gw, target, kMsgRelay), 0);
  std::string answer = Pattern(6 << 20);
  std::thread origin([&] {
    ASSERT_EQ(platform::SendAll(server.app, answer.data(), answer.size(), 100000, 50), 0);
    shutdown(server.app, SHUT_WR);
  });
  std::string got;
  std::thread reader([&] { got = ReadAll(client.app, 256 * 1024, 20); });
  std::thread closer([&] {
    origin.join();
    // The client closes its side once it has everything: the pair is then over.
    reader.join();
    shutdown(client.app, SHUT_WR);
  });
  EXPECT_EQ(Drive(pair, target, std::chrono::seconds(60)), RelayPair::Result::kDone);
  closer.join();
  EXPECT_TRUE(got == answer) << got.size() << " of " << answer.size() << " bytes";
  pair.Stop();
  platform::DestroyTarget(target);
  RelayPair::SetStallLimitForTesting(kRelayStallLimit);
}

TEST(RelayPair, DestinationThatTakesNothingForTheStallLimitEndsThePair) {
  RelayPair::SetStallLimitForTesting(std::chrono::milliseconds(300));
  Link client, server;
  platform::TargetId target = platform::CreateTarget();
  RelayPair pair;
  ASSERT_EQ(pair.Start(client.gw, server.gw, target, kMsgRelay), 0);
  std::atomic<bool> stop{false};
  std::thread flood([&] {
    std::string chunk(1 << 16, 'f');
    while (!stop && platform::Send(server.app, chunk.data(), chunk.size()) > 0) {
    }
  });
  // The client never reads.
  EXPECT_EQ(Drive(pair, target, std::chrono::seconds(30)), RelayPair::Result::kFailed);
  EXPECT_GT(pair.HeldFor(RelayPair::kDown), 0u);
  pair.Stop();
  stop = true;
  shutdown(server.app, SHUT_RDWR);
  shutdown(server.gw, SHUT_RDWR);
  flood.join();
  platform::DestroyTarget(target);
  RelayPair::SetStallLimitForTesting(kRelayStallLimit);
}

// A session thread keeps its relays' empty pipes for the next session: the next pair must
// carry its own bytes only, never what an earlier pair left held for a reader that did not read.
TEST(RelayPair, NextPairOnTheThreadCarriesOnlyItsOwnBytes) {
  {
    platform::TargetId target = platform::CreateTarget();
    Link client, server;
    RelayPair stuck;
    ASSERT_EQ(stuck.Start(client.gw, server.gw, target, kMsgRelay), 0);
    std::string stale(4 << 20, 's');
    std::thread origin([&] {
      [[maybe_unused]] int rc = platform::SendAll(server.app, stale.data(), stale.size(), 20, 50);
    });
    // The client never reads: the pair ends up holding bytes for it.
    EXPECT_EQ(Drive(stuck, target, std::chrono::seconds(1)), RelayPair::Result::kGoOn);
    EXPECT_GT(stuck.HeldFor(RelayPair::kDown), 0u);
    stuck.Stop();
    shutdown(server.app, SHUT_RDWR);
    shutdown(server.gw, SHUT_RDWR);
    origin.join();
    platform::DestroyTarget(target);
  }
  for (int round = 0; round < 3; ++round) {
    // Each session has its own target, as in the gateway: events of an earlier pair's
    // sockets, whose numbers the next pair reuses, must not reach the next pair.
    platform::TargetId target = platform::CreateTarget();
    Link client, server;
    RelayPair pair;
    ASSERT_EQ(pair.Start(client.gw, server.gw, target, kMsgRelay), 0);
    std::string answer = Pattern(100000 + round);
    std::string request = "request " + std::to_string(round);
    std::string got_request;
    std::thread origin([&] {
      got_request = ReadAll(server.app, 4096, 0);
      ASSERT_EQ(platform::SendAll(server.app, answer.data(), answer.size(), 10000, 0), 0);
      shutdown(server.app, SHUT_WR);
    });
    std::string got;
    std::thread app([&] {
      ASSERT_EQ(platform::SendAll(client.app, request.data(), request.size(), 10000, 0), 0);
      shutdown(client.app, SHUT_WR);
      got = ReadAll(client.app, 64 * 1024, 0);
    });
    EXPECT_EQ(Drive(pair, target, std::chrono::seconds(20)), RelayPair::Result::kDone);
    origin.join();
    app.join();
    EXPECT_EQ(got_request, request) << "round " << round;
    EXPECT_TRUE(got == answer) << "round " << round << ": " << got.size() << " bytes";
    pair.Stop();
    platform::DestroyTarget(target);
  }
}

}  // namespace
}  // namespace engine
