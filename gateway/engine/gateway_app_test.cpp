// Start-up on a private store, the single-instance rule, dial-up binding and the shut-down
// question.
#include "gateway/engine/gateway_app.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "gateway/engine/service_list.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

TEST(GatewayApp, StartsOnAFreshStoreWithTheDefaultServices) {
  platform::testing::TempStore store;
  platform::testing::MessageRecorder recorder;
  GatewayApp app({});
  ASSERT_EQ(app.InitInstance(), GatewayApp::Start::kRunning);
  EXPECT_EQ(Services().size(), 10u);
  EXPECT_EQ(app.dialup(), platform::DialupProvider::kNone);
  EXPECT_TRUE(recorder.messages().empty()) << "no dial-up is no message";
  EXPECT_TRUE(app.Shutdown(false));
  EXPECT_EQ(Services().size(), 0u);
}

TEST(GatewayApp, SecondStartOnTheSameStoreAsksTheFirstForItsConsole) {
  platform::testing::TempStore store;
  std::atomic<int> shown{0};
  StartupHooks hooks;
  hooks.show_console = [&] { ++shown; };
  int listeners_started = 0;
  GatewayApp first(hooks);
  ASSERT_EQ(first.InitInstance(), GatewayApp::Start::kRunning);

  StartupHooks second_hooks;
  second_hooks.start_listeners = [&](ControlThread&) { ++listeners_started; };
  GatewayApp second(second_hooks);
  EXPECT_EQ(second.InitInstance(), GatewayApp::Start::kAlreadyRunning);
  EXPECT_EQ(listeners_started, 0) << "the second start touches no socket";
  for (int i = 0; i < 500 && shown == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(shown, 1);
  first.Shutdown(false);
}

TEST(GatewayApp, DialupIsBoundOnlyForAKnownProvider) {
  platform::testing::TempStore store;
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine, platform::RemoteAccessKeyPath(),
                                   &key), platform::kErrorSuccess);
  EXPECT_EQ(platform::DetectDialupProvider(), platform::DialupProvider::kNone);
  ASSERT_EQ(platform::RegSetString(key, "Provider", "simulated"), platform::kErrorSuccess);
  EXPECT_EQ(platform::DetectDialupProvider(), platform::DialupProvider::kSimulated);
  ASSERT_EQ(platform::RegSetString(key, "Provider", "pppd"), platform::kErrorSuccess);
  EXPECT_EQ(platform::DetectDialupProvider(), platform::DialupProvider::kPppd);
  ASSERT_EQ(platform::RegSetString(key, "Provider", "modem.dll"), platform::kErrorSuccess);
  EXPECT_EQ(platform::DetectDialupProvider(), platform::DialupProvider::kNone);
}

TEST(GatewayApp, ShutdownAsksOnlyWithLiveSessionsAndNoCancels) {
  platform::testing::TempStore store;
  int sessions = 0;
  StartupHooks hooks;
  hooks.count_sessions = [&] { return sessions; };
  GatewayApp app(hooks);
  ASSERT_EQ(app.InitInstance(), GatewayApp::Start::kRunning);
  {
    platform::testing::MessageRecorder no(platform::kIdNo);
    sessions = 2;
    EXPECT_FALSE(app.Shutdown(true));
    ASSERT_EQ(no.texts().size(), 1u);
    EXPECT_EQ(no.texts()[0], "2 active client session(s). Close anyway?");
    EXPECT_EQ(Services().size(), 10u) << "No cancels everything";
  }
  platform::testing::MessageRecorder yes(platform::kIdYes);
  EXPECT_TRUE(app.Shutdown(true));
  EXPECT_EQ(Services().size(), 0u);
  sessions = 0;
}

TEST(GatewayApp, ExitWithoutSessionsAsksNothing) {
  platform::testing::TempStore store;
  platform::testing::MessageRecorder recorder(platform::kIdNo);
  GatewayApp app({});
  ASSERT_EQ(app.InitInstance(), GatewayApp::Start::kRunning);
  EXPECT_TRUE(app.Shutdown(true));
  EXPECT_TRUE(recorder.messages().empty());
}

}  // namespace
}  // namespace engine
