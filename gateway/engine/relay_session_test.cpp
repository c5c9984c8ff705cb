// The engine in-process on a private store: a mapped link's sessions as the console sees
// them (counts up and down), the kill message, and the access denial of a mapping.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "gateway/engine/config_store.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/listeners.h"
#include "gateway/engine/net_dispatcher.h"
#include "gateway/engine/rule_list.h"
#include "gateway/engine/security_page.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/session_registry.h"
#include "gateway/engine/session_thread.h"
#include "platform/testing/echo_server.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

using platform::Socket;
using platform::testing::Echoes;
using platform::testing::EchoServer;

class RelaySessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(echo_.port(), 0);
    ASSERT_EQ(WriteDefaultConfiguration(), 0);
    ASSERT_EQ(Services().Load(), 0);
    Services().ForEach([](ServiceEntry& e) { e.IsActive = 0; });
    Socket probe = platform::CreateSocket(SOCK_STREAM);
    ASSERT_EQ(platform::BindLoopback(probe, 0), 0);
    port_ = platform::LocalPort(probe);
    platform::CloseSocket(probe);
    auto m = std::make_unique<ServiceEntry>();
    m->ServiceType = "TCP Mapped Link";
    m->MappingName = "Echo";
    m->PortNum = port_;
    m->IsActive = 1;
    m->ListenCapacity = 8;
    m->DefaultHost = "127.0.0.1";
    m->DefaultHostPortNum = echo_.port();
    m->ProtocolType = 0;
    m->index = 10;
    ASSERT_EQ(CreateServiceEntry(10, *m), 0);
    Services().Append(std::move(m));
    console_ = platform::CreateTarget();
    SetConsoleTarget(console_);
    ASSERT_EQ(StartListeners(), 0);
  }
  void TearDown() override {
    Services().CloseAllListeners();
    StopNetMessageQueue();
    KillAllSessions();
    EXPECT_TRUE(SessionThread::WaitForSessions(5000));
    SetConsoleTarget(0);
    DrainCounts(0);
    platform::DestroyTarget(console_);
    Services().Clear();
  }

  Socket Connect() {
    Socket c = platform::CreateSocket(SOCK_STREAM);
    EXPECT_EQ(platform::Connect(c, "127.0.0.1", port_), 0);
    return c;
  }

  // Waits for n notices and returns their counts (negative for removals).
  std::vector<int> DrainCounts(size_t n, int wait_ms = 10000) {
    std::vector<int> counts;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    platform::Message msg;
    while (counts.size() < n && std::chrono::steady_clock::now() < deadline) {
      if (!platform::PeekMessage(&msg, true)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      std::unique_ptr<SessionNotice> notice(reinterpret_cast<SessionNotice*>(msg.lparam));
      EXPECT_EQ(notice->service_name, "Echo");
      EXPECT_EQ(notice->client_address, "127.0.0.1");
      counts.push_back(msg.message == kMsgSessionAdded ? notice->count : -notice->count);
    }
    while (n == 0 && platform::PeekMessage(&msg, true)) {
      delete reinterpret_cast<SessionNotice*>(msg.lparam);
    }
    return counts;
  }

  platform::testing::TempStore store_;
  EchoServer echo_;
  uint16_t port_ = 0;
  platform::TargetId console_ = 0;
};

TEST_F(RelaySessionTest, ThreeSessionsCountUpAndDownAsTheyComeAndGo) {
  std::vector<Socket> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(Connect());
    ASSERT_TRUE(Echoes(clients.back()));
  }
  EXPECT_EQ(DrainCounts(3), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(CountSessions(), 1);
  // Each close is seen (its notice arrives) before the next client closes.
  std::vector<int> down;
  for (Socket c : clients) {
    platform::CloseSocket(c);
    std::vector<int> one = DrainCounts(1);
    down.insert(down.end(), one.begin(), one.end());
  }
  EXPECT_EQ(down, (std::vector<int>{-2, -1, 0}));
  EXPECT_TRUE(SessionThread::WaitForSessions(5000));
  EXPECT_EQ(CountSessions(), 0);
}

// Connections that wait in the listener's backlog together are taken in one go; each still
// gets a session of its own.
TEST_F(RelaySessionTest, ClientsConnectingAtOnceEachGetTheirOwnSession) {
  constexpr int kClients = 8;  // the mapping's backlog
  std::vector<Socket> clients;
  for (int i = 0; i < kClients; ++i) clients.push_back(Connect());
  for (Socket c : clients) EXPECT_TRUE(Echoes(c));
  std::vector<int> up = DrainCounts(kClients);
  ASSERT_EQ(up.size(), static_cast<size_t>(kClients));
  EXPECT_EQ(up.back(), kClients);
  for (Socket c : clients) platform::CloseSocket(c);
  EXPECT_EQ(DrainCounts(kClients).back(), 0);
}

TEST_F(RelaySessionTest, KillEndsEverySessionOfThePair) {
  std::vector<Socket> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(Connect());
    ASSERT_TRUE(Echoes(clients.back()));
  }
  ASSERT_EQ(DrainCounts(3).size(), 3u);
  EXPECT_EQ(KillSession("127.0.0.1", "Echo"), 0);
  EXPECT_EQ(DrainCounts(3), (std::vector<int>{-2, -1, 0}));
  for (Socket c : clients) {
    char byte;
    ASSERT_EQ(platform::WaitReadable(c, 5000), 1);
    EXPECT_LE(platform::Recv(c, &byte, 1), 0) << "the gateway closed the connection";
    platform::CloseSocket(c);
  }
}

TEST_F(RelaySessionTest, DeniedMappingGetsTheTextAndIsNeverRegistered) {
  RuleRecord deny{6, "All", "127.0.0.1", ""};
  ASSERT_GE(SecureRule(deny), 0);
  Socket c = Connect();
  std::string got;
  char buf[256];
  int n;
  while (platform::WaitReadable(c, 5000) == 1 && (n = platform::Recv(c, buf, sizeof buf)) > 0) {
    got.append(buf, static_cast<size_t>(n));
  }
  EXPECT_EQ(got, std::string("Access Denied Contact Admin ", 29) +
                     "Wayfarer v2.0 E-10026: Could not connect to server.\r\n");
  platform::CloseSocket(c);
  EXPECT_TRUE(DrainCounts(1, 300).empty()) << "a denied link posts no notice";
  LoadRules();  // the store of the next test has no rules
}

}  // namespace
}  // namespace engine
