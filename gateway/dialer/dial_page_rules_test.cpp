// The Dial page's rules on a private store over the simulated facility: the save step's
// messages and what it stores, the phone-book refresh, and Dial / Stop / status by hand.
#include "gateway/dialer/dial_page_rules.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "gateway/dialer/dial_by_hand.h"
#include "gateway/dialer/dialer_link.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/control_thread.h"
#include "gateway/engine/settings_records.h"
#include "gateway/engine/store_access.h"
#include "platform/dialup_simulated.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace dialer {
namespace {

using platform::testing::MessageRecorder;

void AddEntry(const std::string& entry, unsigned delay_ms = 0) {
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine,
                                   platform::SimulatorEntriesKeyPath() + "\\" + entry, &key),
            0);
  ASSERT_EQ(platform::RegSetDword(key, "DelayMs", delay_ms), 0);
  platform::RegCloseKey(key);
}

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 2000 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

class DialPageRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.Start());
    InstallDialer(control_, std::make_unique<platform::SimulatedDialup>(), [] { return 0; });
  }
  void TearDown() override {
    UninstallDialer();
    control_.Stop();
  }
  static DialForm Filled(const std::string& profile) {
    DialForm form;
    form.dial_on_demand = true;
    form.retries = "2";
    form.auto_disconnect = true;
    form.minutes = "5";
    form.name = "office";
    form.password = "s3cret";
    form.domain = "WORK";
    form.profile = profile;
    return form;
  }

  platform::testing::TempStore store_;
  engine::ControlThread control_;
};

TEST_F(DialPageRulesTest, SaveStoresTheSettingsAndAScrambledPasswordThatLoadsBack) {
  DialForm form = Filled("Provider");
  ASSERT_EQ(SaveDialForm(&form), 0);
  engine::DiallerSettings stored;
  ASSERT_EQ(engine::LoadDiallerSettings(&stored), 0);
  EXPECT_EQ(stored.DialOnDemand, 1);
  EXPECT_EQ(stored.Retires, 2);
  EXPECT_EQ(stored.Minutes, 5);
  EXPECT_EQ(stored.Profile, "Provider");
  std::string name, password, domain;
  ASSERT_EQ(engine::LoadProfileCredentials("Provider", &name, &password, &domain), 0);
  EXPECT_NE(password, "s3cret") << "the stored password is scrambled";
  EXPECT_EQ(password.size(), 8u);
  const DialForm back = LoadDialForm();
  EXPECT_EQ(back.password, "s3cret");
  EXPECT_EQ(back.name, "office");
  EXPECT_EQ(back.domain, "WORK");
  EXPECT_EQ(back.minutes, "5");
}

TEST_F(DialPageRulesTest, FailedSavesShowTheirMessageAndWriteNothing) {
  struct Case {
    std::string profile;
    bool auto_disconnect;
    const char* minutes;
    const char* retries;
    const char* message;
    bool dial_on_demand_after;
  };
  const Case cases[] = {
      {"", false, "5", "2", kE10016, false},
      {"Provider", true, "0", "2", kE10023, true},
      {"Provider", true, "-3", "2", kE10023, true},
      {"Provider", false, "x", "2", kIntegerMessage, true},
      {"Provider", false, "5", "", kIntegerMessage, true},
  };
  for (const Case& c : cases) {
    MessageRecorder recorder;
    DialForm form = Filled(c.profile);
    form.auto_disconnect = c.auto_disconnect;
    form.minutes = c.minutes;
    form.retries = c.retries;
    EXPECT_EQ(SaveDialForm(&form), -1) << c.message;
    ASSERT_EQ(recorder.texts().size(), 1u) << c.message;
    EXPECT_EQ(recorder.texts()[0], c.message);
    EXPECT_EQ(form.dial_on_demand, c.dial_on_demand_after) << c.message;
    engine::DiallerSettings stored;
    EXPECT_EQ(engine::LoadDiallerSettings(&stored), -1) << "nothing written: " << c.message;
  }
}

TEST_F(DialPageRulesTest, RefreshDropsAVanishedProfileAndItsCredentialsOnly) {
  AddEntry("Alpha");
  AddEntry("Beta");
  DialForm form = Filled("Gone");
  ASSERT_EQ(SaveDialForm(&form), 0);
  ASSERT_EQ(engine::SaveProfileCredentials("Beta", "b", "", ""), 0);
  MessageRecorder recorder;
  std::vector<std::string> entries;
  ASSERT_EQ(RefreshProfiles(&form, &entries), 0);
  EXPECT_EQ(entries, (std::vector<std::string>{"Alpha", "Beta"}));
  ASSERT_EQ(recorder.texts().size(), 1u);
  EXPECT_EQ(recorder.texts()[0], kE10018);
  EXPECT_FALSE(form.dial_on_demand);
  EXPECT_EQ(form.profile, "Alpha") << "the first entry is shown";
  engine::DiallerSettings stored;
  ASSERT_EQ(engine::LoadDiallerSettings(&stored), 0);
  EXPECT_EQ(stored.DialOnDemand, 0);
  EXPECT_EQ(stored.Profile, "");
  std::string name, password, domain;
  EXPECT_EQ(engine::LoadProfileCredentials("Gone", &name, &password, &domain), -1);
  EXPECT_EQ(engine::LoadProfileCredentials("Beta", &name, &password, &domain), 0);
}

TEST_F(DialPageRulesTest, CaptionCutsLongNamesToTenCharacters) {
  EXPECT_EQ(AuthenticationCaption("TwelveChars!"), "Authentication for TwelveChar...");
  EXPECT_EQ(AuthenticationCaption("TenCharsOk"), "Authentication for TenCharsOk");
  EXPECT_EQ(AuthenticationCaption(""), "Authentication");
}

TEST_F(DialPageRulesTest, DialByHandConnectsAndStopAsksAboutLiveSessions) {
  AddEntry("Provider", 30);
  DialForm form = Filled("Provider");
  form.password.clear();
  ASSERT_EQ(SaveDialForm(&form), 0);
  {
    MessageRecorder recorder;
    std::string status;
    EXPECT_EQ(DialByHand("", &status), -1);
    EXPECT_EQ(recorder.texts(), std::vector<std::string>{kE10016});
  }
  std::string status;
  ASSERT_EQ(DialByHand("Provider", &status), 0);
  EXPECT_EQ(status, "modemSimulated modem");
  {
    MessageRecorder recorder;
    EXPECT_EQ(DialByHand("Provider", &status), -1);
    EXPECT_EQ(recorder.texts(), std::vector<std::string>{kE10027});
  }
  ASSERT_TRUE(WaitFor([] {
    return DialStatusLine() == "Connected to Provider at IP - 10.0.0.1 from IP -  10.0.0.2";
  })) << DialStatusLine();
  {
    MessageRecorder no(platform::kIdNo);
    EXPECT_EQ(StopByHand(2), -1);
    EXPECT_EQ(no.texts(), std::vector<std::string>{"2 active client session(s). Close anyway?"});
  }
  EXPECT_NE(DialStatusLine(), kOffline) << "No keeps the line";
  MessageRecorder yes(platform::kIdYes);
  EXPECT_EQ(StopByHand(2), 0);
  EXPECT_EQ(DialStatusLine(), kOffline);
}

TEST_F(DialPageRulesTest, DialOfAMissingEntryShowsTheFacilitysText) {
  DialForm form = Filled("Nowhere");
  ASSERT_EQ(SaveDialForm(&form), 0);
  std::string status;
  EXPECT_EQ(DialByHand("Nowhere", &status), -1);
  EXPECT_EQ(status, "The phone book entry does not exist.");
  EXPECT_EQ(DialStatusLine(), kOffline);
}

}  // namespace
}  // namespace dialer
