// The outbound operations against a scripted dial-up side: waiting for a dial, its failure,
// the name cache that spares a dial.
#include "gateway/engine/dial_context.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "gateway/engine/dns_cache.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "platform/resumable_wait.h"
#include "platform/socket_errors.h"

namespace engine {
namespace {

// A dialler on its own thread that answers every wait request at once.
class ScriptedLink : public LinkProvider {
 public:
  ScriptedLink(int ensure_answer, int status) : ensure_answer_(ensure_answer), status_(status) {
    std::atomic<platform::TargetId> ready{0};
    thread_ = std::thread([this, &ready] {
      platform::TargetId target = platform::CreateTarget();
      ready = target;
      platform::Message msg;
      while (platform::GetMessage(&msg)) {
        if (msg.message == kMsgGiveUpDial) break;
        if (msg.message == kMsgWaitForDial) {
          ++waits_;
          platform::ResumeThread(static_cast<platform::ThreadId>(msg.wparam));
        }
      }
    });
    while (ready == 0) std::this_thread::yield();
    target_ = ready;
    SetLinkProvider(this);
  }
  ~ScriptedLink() override {
    SetLinkProvider(nullptr);
    platform::PostMessage(target_, kMsgGiveUpDial, 0, 0);
    thread_.join();
  }
  int EnsureDialUp(int) override { return ++ensures_, ensure_answer_; }
  int LinkStatus() override { return status_; }
  platform::TargetId DialerTarget() override { return target_; }

  std::atomic<int> ensures_{0};
  std::atomic<int> waits_{0};

 private:
  int ensure_answer_;
  int status_;
  platform::TargetId target_ = 0;
  std::thread thread_;
};

TEST(DialContext, SessionWaitsForTheDialAndGoesOnWhenItSucceeded) {
  ScriptedLink link(1, 0);
  DialContext dial;
  EXPECT_EQ(dial.EnsureLink(), 0);
  EXPECT_EQ(link.waits_, 1);
}

TEST(DialContext, FailedDialFailsTheSessionAndNoLinkFailsAtOnce) {
  {
    ScriptedLink failed(1, -1);
    EXPECT_EQ(DialContext().EnsureLink(), -1);
    EXPECT_EQ(failed.waits_, 1);
  }
  ScriptedLink none(-1, 0);
  EXPECT_EQ(DialContext().EnsureLink(), -1);
  EXPECT_EQ(none.waits_, 0);
  std::string address, canonical;
  EXPECT_EQ(DialContext().ResolveHost("localhost", &address, &canonical), -1);
}

TEST(DialContext, ContextWithoutThreadNeverWaits) {
  ScriptedLink link(1, 0);
  EXPECT_EQ(DialContext(true).EnsureLink(), -1);
  EXPECT_EQ(link.waits_, 0);
}

TEST(DialContext, CachedNameInAnotherCaseNeedsNoDial) {
  ScriptedLink link(0, 0);
  DnsCacheClear();
  SetUseDnsCache(1);
  std::string address, canonical;
  ASSERT_EQ(DialContext().ResolveHost("LocalHost", &address, &canonical), 0);
  EXPECT_EQ(address, "127.0.0.1");
  EXPECT_EQ(link.ensures_, 1);
  ASSERT_EQ(DialContext().ResolveHost("LOCALHOST", &address, &canonical), 0);
  EXPECT_EQ(link.ensures_, 1) << "answered from the cache";
  SetUseDnsCache(0);
  ASSERT_EQ(DialContext().ResolveHost("localhost", &address, &canonical), 0);
  EXPECT_EQ(link.ensures_, 2) << "with the cache off every lookup asks the link";
  DnsCacheClear();
}

TEST(DialContext, AddressTextForDottedAndUnknownNames) {
  std::string text = "x";
  EXPECT_EQ(AddressTextFor("192.0.2.1", &text), 0);
  EXPECT_EQ(text, "192.0.2.1");
  EXPECT_EQ(AddressTextFor("no-such-host.invalid", &text), -1);
  EXPECT_EQ(text, "");
}

TEST(DialContext, RefusedConnectIsNotRetried) {
  platform::Socket probe = platform::CreateSocket(SOCK_STREAM);
  ASSERT_EQ(platform::BindLoopback(probe, 0), 0);
  uint16_t port = platform::LocalPort(probe);
  platform::CloseSocket(probe);
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  EXPECT_EQ(DialContext().ConnectOut(s, "127.0.0.1", port), -1);
  EXPECT_EQ(platform::LastSocketError(), platform::kWsaEConnRefused);
  platform::CloseSocket(s);
}

// A listener on ::1 alone: the name's first address, 127.0.0.1, refuses.
TEST(DialContext, FailedFirstAddressGoesOnToTheNamesOthersOnlyWhenScreened) {
  platform::Socket listener = platform::CreateDualStackSocket(SOCK_STREAM);
  sockaddr_in6 at{};
  at.sin6_family = AF_INET6;
  at.sin6_addr = in6addr_loopback;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(platform::Listen(listener, 4), 0);
  const uint16_t port = platform::LocalPort(listener);
  DialContext dial(/*without_thread=*/true);
  dial.RememberTargets({"127.0.0.1", "::1"});
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  EXPECT_EQ(dial.ConnectOut(s, "127.0.0.1", port), -1) << "unscreened: the first address only";
  dial.ScreenTargetsAs(RuleNumberFor(kCodeWww), "127.0.0.1", "");
  EXPECT_EQ(dial.ConnectOut(s, "::1", port), 0)
      << "the address asked for is tried whatever the screen";
  platform::CloseSocket(s);
  s = platform::CreateSocket(SOCK_STREAM);
  ASSERT_EQ(dial.ConnectOut(s, "127.0.0.1", port), 0);
  std::string peer;
  ASSERT_TRUE(platform::PeerAddress(s, &peer));
  EXPECT_EQ(peer, "::1");
  // A remote client is never led into the machine's own loopback by a later address.
  platform::Socket t = platform::CreateSocket(SOCK_STREAM);
  dial.ScreenTargetsAs(RuleNumberFor(kCodeWww), "198.51.100.9", "");
  EXPECT_EQ(dial.ConnectOut(t, "127.0.0.1", port), -1);
  for (platform::Socket x : {s, t, listener}) platform::CloseSocket(x);
}

}  // namespace
}  // namespace engine
