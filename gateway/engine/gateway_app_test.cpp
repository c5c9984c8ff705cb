// Start-up on a private store, the single-instance rule, dial-up binding and the shut-down
// question.
#include "gateway/engine/gateway_app.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "gateway/engine/config_store.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/session_registry.h"
#include "gateway/engine/store_access.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

// Default configuration with every service off, so no test binds the well-known ports.
void QuietServices() {
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  for (int i = 0; i < 10; ++i) {
    platform::RegKey key;
    ASSERT_EQ(OpenNumbered(kKeyService, i, false, &key), 0);
    ASSERT_TRUE(SetDword(key, "IsActive", 0));
  }
}

TEST(GatewayApp, StartsOnAFreshStoreWithTheDefaultServices) {
  platform::testing::TempStore store;
  platform::testing::MessageRecorder recorder;
  QuietServices();
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
  QuietServices();
  GatewayApp first(hooks);
  ASSERT_EQ(first.InitInstance(), GatewayApp::Start::kRunning);

  int dialers_created = 0;
  StartupHooks second_hooks;
  second_hooks.create_dialer = [&](ControlThread&) { ++dialers_created; };
  GatewayApp second(second_hooks);
  EXPECT_EQ(second.InitInstance(), GatewayApp::Start::kAlreadyRunning);
  EXPECT_EQ(dialers_created, 0) << "the second start stops before the engine starts";
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
  QuietServices();
  GatewayApp app({});
  ASSERT_EQ(app.InitInstance(), GatewayApp::Start::kRunning);
  {
    platform::testing::MessageRecorder no(platform::kIdNo);
    ASSERT_EQ(RegisterSessionNamed("10.0.0.1", "WWW", kCodeWww, 101, true), 0);
    ASSERT_EQ(RegisterSessionNamed("10.0.0.2", "FTP", kCodeFtp, 102, true), 0);
    EXPECT_FALSE(app.Shutdown(true));
    ASSERT_EQ(no.texts().size(), 1u);
    EXPECT_EQ(no.texts()[0], "2 active client session(s). Close anyway?");
    EXPECT_EQ(Services().size(), 10u) << "No cancels everything";
  }
  platform::testing::MessageRecorder yes(platform::kIdYes);
  EXPECT_TRUE(app.Shutdown(true));
  EXPECT_EQ(Services().size(), 0u);
  RegisterSessionNamed("10.0.0.1", "WWW", kCodeWww, 101, false);
  RegisterSessionNamed("10.0.0.2", "FTP", kCodeFtp, 102, false);
}

TEST(GatewayApp, ExitWithoutSessionsAsksNothing) {
  platform::testing::TempStore store;
  platform::testing::MessageRecorder recorder(platform::kIdNo);
  QuietServices();
  GatewayApp app({});
  ASSERT_EQ(app.InitInstance(), GatewayApp::Start::kRunning);
  EXPECT_TRUE(app.Shutdown(true));
  EXPECT_TRUE(recorder.messages().empty());
}

}  // namespace
}  // namespace engine
