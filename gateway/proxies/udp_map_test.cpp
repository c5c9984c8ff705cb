// The UDP mapping session on loopback: replies to the client that sent last, registration
// under the first sender, the hand-back of the socket, the idle end and an unresolved target.
#include "gateway/proxies/udp_map.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <memory>
#include <string>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/session_registry.h"

namespace proxies {
namespace {

constexpr int kWaitMs = 5000;

platform::Socket LoopbackUdp() {
  platform::Socket s = platform::CreateSocket(SOCK_DGRAM);
  EXPECT_NE(s, platform::kInvalidSocket);
  EXPECT_EQ(platform::BindLoopback(s, 0), 0);
  return s;
}

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// One datagram within the wait, "" when none came.
std::string Receive(platform::Socket s, sockaddr_in* from = nullptr, int wait_ms = kWaitMs) {
  if (platform::WaitReadable(s, wait_ms) != 1) return "";
  char buf[512];
  int n = platform::RecvFrom(s, buf, sizeof buf, from);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

void Send(platform::Socket s, const std::string& text, const sockaddr_in& to) {
  ASSERT_EQ(platform::SendTo(s, text.data(), text.size(), to), static_cast<int>(text.size()));
}

int CountFor(const std::string& name) {
  int count = 0;
  engine::ForEachSessionLine([&](const engine::SessionLine& line) {
    if (line.service_name == name) count += line.count;
  });
  return count;
}

class UdpMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    listening_ = LoopbackUdp();
    destination_ = LoopbackUdp();
    netmsg_ = platform::CreateTarget();
    auto e = std::make_unique<engine::ServiceEntry>();
    e->ServiceType = "UDP Mapped Link";
    e->MappingName = "udp-test";
    e->IsActive = 1;
    e->PortNum = platform::LocalPort(listening_);
    e->DefaultHost = "127.0.0.1";
    e->DefaultHostPortNum = platform::LocalPort(destination_);
    e->ProtocolType = 1;
    e->listening_socket = listening_;
    e->service_code = engine::kCodeUdpMappedLink;
    e->resolved_target = engine::kUnresolved;
    entry_ = e.get();
    engine::Services().Append(std::move(e));
    mapping_ = LoopbackAddress(platform::LocalPort(listening_));
  }
  void TearDown() override {
    engine::Services().Clear();
    platform::DestroyTarget(netmsg_);
    platform::CloseSocket(listening_);
    platform::CloseSocket(destination_);
  }
  void Start(int idle_timeout) {
    session_ = new CUDPMap(listening_, netmsg_, idle_timeout);
    session_->set_auto_delete(false);
    ASSERT_TRUE(session_->CreateThread());
  }
  void Finish() {
    ASSERT_TRUE(platform::WorkerThread::WaitForAll(10000));
    session_->Join();
    delete session_;
  }
  // True when the socket was handed back: the next datagram is reported to netmsg_.
  bool ReportedToNetMsg() {
    platform::SetTimer(netmsg_, 1, kWaitMs);  // bounds the wait
    platform::Message msg;
    bool reported = false;
    while (platform::GetMessage(&msg)) {
      if (msg.message == engine::kMsgUdpMappedRead && msg.target == netmsg_) reported = true;
      if (reported || msg.message == platform::kWmTimer) break;
    }
    platform::KillTimer(netmsg_, 1);
    return reported;
  }

  platform::Socket listening_ = platform::kInvalidSocket;
  platform::Socket destination_ = platform::kInvalidSocket;
  platform::TargetId netmsg_ = 0;
  engine::ServiceEntry* entry_ = nullptr;
  sockaddr_in mapping_{};
  CUDPMap* session_ = nullptr;
};

TEST_F(UdpMapTest, RepliesGoToTheClientThatSentLast) {
  platform::Socket a = LoopbackUdp();
  platform::Socket b = LoopbackUdp();
  Send(a, "one", mapping_);
  Start(-1);
  sockaddr_in outbound{};
  ASSERT_EQ(Receive(destination_, &outbound), "one");
  EXPECT_EQ(CountFor("udp-test"), 1);
  Send(destination_, "reply-one", outbound);
  EXPECT_EQ(Receive(a), "reply-one");

  Send(b, "two", mapping_);
  ASSERT_EQ(Receive(destination_, &outbound), "two");
  Send(destination_, "reply-two", outbound);
  EXPECT_EQ(Receive(b), "reply-two");
  EXPECT_EQ(Receive(a, nullptr, 200), "");  // nothing strays to the earlier client
  EXPECT_EQ(CountFor("udp-test"), 1);       // still listed once, under the first sender

  ASSERT_TRUE(platform::PostThreadMessage(session_->thread_id(), engine::kMsgKillSession, 0, 0));
  Finish();
  EXPECT_EQ(CountFor("udp-test"), 0);
  Send(a, "three", mapping_);
  EXPECT_TRUE(ReportedToNetMsg());
  platform::CloseSocket(a);
  platform::CloseSocket(b);
}

TEST_F(UdpMapTest, IdleSessionEndsAndHandsTheSocketBack) {
  platform::Socket a = LoopbackUdp();
  Send(a, "ping", mapping_);
  Start(1);
  ASSERT_EQ(Receive(destination_), "ping");
  Finish();  // ends by itself once idle for the time-out
  Send(a, "later", mapping_);
  EXPECT_TRUE(ReportedToNetMsg());
  platform::CloseSocket(a);
}

TEST_F(UdpMapTest, UnresolvedTargetDropsTheDatagramAndHandsTheSocketBack) {
  entry_->resolved_target.clear();  // an earlier resolution of DefaultHost failed
  platform::Socket a = LoopbackUdp();
  Send(a, "lost", mapping_);
  Start(-1);
  Finish();
  unsigned long waiting = 1;
  ASSERT_EQ(platform::BytesWaiting(listening_, &waiting), 0);
  EXPECT_EQ(waiting, 0u);  // taken off, so it is not reported again and again
  EXPECT_EQ(Receive(destination_, nullptr, 200), "");
  Send(a, "retry", mapping_);
  EXPECT_TRUE(ReportedToNetMsg());
  platform::CloseSocket(a);
}

}  // namespace
}  // namespace proxies
