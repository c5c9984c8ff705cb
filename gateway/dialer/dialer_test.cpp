// The dialler over the simulated facility, on a real control thread, with sessions that ask
// for the link the way the engine's DialContext does. The dialler's clock runs 1000 times
// fast unless a test needs real time (a dial of the simulated line is not on that clock), so a
// minute is 60 ms, the idle check comes every 27 ms and a dial may last 90 ms.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "gateway/dialer/dialer_clock.h"
#include "gateway/dialer/dialer_link.h"
#include "gateway/dialer/ensure_dial_up.h"
#include "gateway/engine/control_thread.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/password_scramble.h"
#include "gateway/engine/settings_records.h"
#include "platform/dialup_simulated.h"
#include "platform/registry.h"
#include "platform/resumable_wait.h"
#include "platform/testing/temp_store.h"

namespace dialer {
namespace {

constexpr int kBoundMs = 10000;
constexpr char kProfile[] = "Provider";

// The simulated facility, counting the dials started through it.
class CountingFacility : public platform::SimulatedDialup {
 public:
  long Dial(const platform::DialParams& params, platform::TargetId notify,
            platform::DialHandle* handle) override {
    ++dials;
    return SimulatedDialup::Dial(params, notify, handle);
  }
  std::atomic<int> dials{0};
};

// What a session does before it goes out. 0 link usable, -1 not, -2 never resumed.
int AskForLink() {
  int rc = engine::Link().EnsureDialUp(engine::kDialForSession);
  if (rc != 1) return rc == 0 ? 0 : -1;
  platform::PostMessage(engine::Link().DialerTarget(), engine::kMsgWaitForDial,
                        platform::CurrentThreadId(), 0);
  if (!platform::WaitForResume(kBoundMs)) return -2;
  return engine::Link().LinkStatus();
}

bool WaitUntil(const std::function<bool()>& done) {
  for (int waited = 0; waited < kBoundMs; waited += 5) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

std::vector<int> RunSessions(int n, const std::function<int()>& session) {
  std::vector<int> results(n, -3);
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i) threads.emplace_back([&, i] { results[i] = session(); });
  for (auto& t : threads) t.join();
  return results;
}

class DialerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDialerTimeScale(1000);
    ASSERT_TRUE(control_.Start());
    std::string password = "secret";
    engine::ScramblePassword(1, &password);
    ASSERT_EQ(engine::SaveProfileCredentials(kProfile, "office", password, ""), 0);
  }
  void TearDown() override {
    UninstallDialer();
    control_.Stop();
    SetDialerTimeScale(1);
  }

  void Configure(int dial_on_demand, int retires, int auto_disconnect = 0, int minutes = 0) {
    engine::DiallerSettings s;
    s.DialOnDemand = dial_on_demand;
    s.Retires = retires;
    s.AutoDisconnect = auto_disconnect;
    s.Minutes = minutes;
    s.Profile = kProfile;
    ASSERT_EQ(engine::SaveDiallerSettings(s), 0);
  }
  // The profile's line: connects after delay_ms with the stored password, or fails.
  void Line(unsigned delay_ms, unsigned result = 0, unsigned drop_after_ms = 0,
            const std::string& entry = kProfile) {
    platform::RegKey key;
    ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine,
                                     platform::SimulatorEntriesKeyPath() + "\\" + entry, &key),
              0);
    ASSERT_EQ(platform::RegSetDword(key, "DelayMs", delay_ms), 0);
    ASSERT_EQ(platform::RegSetDword(key, "Result", result), 0);
    ASSERT_EQ(platform::RegSetDword(key, "DropAfterMs", drop_after_ms), 0);
    ASSERT_EQ(platform::RegSetString(key, "Password", "secret"), 0);
  }
  void Install(std::function<int()> count_sessions = [] { return 0; }) {
    auto facility = std::make_unique<CountingFacility>();
    facility_ = facility.get();
    InstallDialer(control_, std::move(facility), std::move(count_sessions));
  }

  platform::testing::TempStore store_;
  engine::ControlThread control_;
  CountingFacility* facility_ = nullptr;
};

TEST_F(DialerTest, WithoutAFacilityTheLinkIsAlwaysUsable) {
  Configure(1, 2);
  InstallDialer(control_, nullptr, [] { return 0; });
  EXPECT_EQ(AskForLink(), 0);
  EXPECT_EQ(LinkStatus(), 0);
}

TEST_F(DialerTest, DialOnDemandOffNeverDials) {
  Configure(0, 2);
  Line(0);
  Install();
  EXPECT_EQ(AskForLink(), 0);
  EXPECT_EQ(LinkStatus(), 0) << "sessions must report their ordinary failure text";
  EXPECT_EQ(facility_->dials, 0);
}

TEST_F(DialerTest, ThreeSessionsWaitingOnOneDialAreAllResumedWhenItConnects) {
  SetDialerTimeScale(1);
  Configure(1, 0);
  Line(300);
  Install();
  std::vector<int> results = RunSessions(3, [] { return engine::DialContext().EnsureLink(); });
  EXPECT_EQ(results, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(facility_->dials, 1);
  EXPECT_EQ(LinkStatus(), 0);
  EXPECT_EQ(AskForLink(), 0) << "a connected line is used without dialling";
  EXPECT_EQ(facility_->dials, 1);
}

// The window once kept 100 slots; our list has no fixed size, so no session is
// left to its time limit however many wait.
TEST_F(DialerTest, MoreThanAHundredWaitingSessionsAreAllResumed) {
  SetDialerTimeScale(1);
  Configure(1, 0);
  Line(400);
  Install();
  std::vector<int> results = RunSessions(150, AskForLink);
  EXPECT_EQ(std::count(results.begin(), results.end(), 0), 150);
  EXPECT_EQ(facility_->dials, 1);
}

TEST_F(DialerTest, ADeadLineIsRedialledRetiresTimesThenEverySessionFails) {
  Configure(1, 2);
  Line(20, platform::kDialErrorNoAnswer);
  Install();
  std::vector<int> results = RunSessions(4, AskForLink);
  EXPECT_EQ(results, (std::vector<int>{-1, -1, -1, -1}));
  EXPECT_EQ(facility_->dials, 3) << "one dial and two redials";
  std::vector<platform::ActiveConnection> active;
  ASSERT_EQ(facility_->EnumConnections(1, &active), 0);
  EXPECT_TRUE(active.empty());
}

TEST_F(DialerTest, ADialWithoutOutcomeCountsAsFailedAfterItsLimit) {
  Configure(1, 1);
  Line(60000);
  Install();
  EXPECT_EQ(AskForLink(), -1);
  EXPECT_EQ(facility_->dials, 2);
}

TEST_F(DialerTest, ADroppedConnectionIsRedialled) {
  Configure(1, 1);
  Line(0, 0, 100);
  Install();
  EXPECT_EQ(AskForLink(), 0);
  // Each drop is followed by a redial that connects again; the count starts over each time.
  EXPECT_TRUE(WaitUntil([&] { return facility_->dials >= 3; }));
}

TEST_F(DialerTest, AResumeBeforeTheWaitIsKeptAndALateRequestIsAnswered) {
  Configure(1, 0);
  Line(0);
  Install();
  std::thread session([&] {
    ASSERT_EQ(engine::Link().EnsureDialUp(engine::kDialForSession), 1);
    platform::PostMessage(engine::Link().DialerTarget(), engine::kMsgWaitForDial,
                          platform::CurrentThreadId(), 0);
    ASSERT_TRUE(WaitUntil([] { return LinkStatus() == 0; }));
    control_.RunAndWait([] {});  // the connected notification has been handled in full
    EXPECT_TRUE(platform::WaitForResume(kBoundMs));
    // Asking again after the dial ended must not leave the session to its time limit.
    platform::PostMessage(engine::Link().DialerTarget(), engine::kMsgWaitForDial,
                          platform::CurrentThreadId(), 0);
    EXPECT_TRUE(platform::WaitForResume(kBoundMs));
  });
  session.join();
}

TEST_F(DialerTest, AutomaticHangUpWaitsForTheLastSessionAndANewSessionStopsIt) {
  Configure(1, 0, 1, 5);  // 5 minutes: 300 ms here
  Line(0);
  std::atomic<int> checks{0};
  // One idle check without sessions starts the countdown; the next one sees a session again.
  // From check 60 on (at least 1.5 s later) nobody is left.
  Install([&] {
    int n = ++checks;
    return n == 3 || n >= 60 ? 0 : 1;
  });
  EXPECT_EQ(AskForLink(), 0);
  ASSERT_TRUE(WaitUntil([&] { return checks >= 25; }));
  EXPECT_EQ(LinkStatus(), 0) << "hung up although a session had started";
  ASSERT_TRUE(WaitUntil([&] { return LinkStatus() == -1; }));
  EXPECT_EQ(facility_->dials, 1);
  EXPECT_EQ(AskForLink(), 0) << "the next session dials again";
  EXPECT_EQ(facility_->dials, 2);
}

TEST_F(DialerTest, AnOpenPortServesOnlyWhenItsConnectionIsOurProfile) {
  Configure(1, 0);
  Line(0);
  Line(0, 0, 0, "Elsewhere");
  Install();
  platform::DialHandle other = 0;
  platform::DialParams params;
  params.entry = kProfile;
  params.password = "secret";
  ASSERT_EQ(facility_->Dial(params, 0, &other), 0);
  EXPECT_EQ(EnsureDialUp(engine::kDialForSession), 0);
  facility_->HangUp(other);
  params.entry = "Elsewhere";
  ASSERT_EQ(facility_->Dial(params, 0, &other), 0);
  EXPECT_EQ(EnsureDialUp(engine::kDialForSession), -1);
  facility_->HangUp(other);
}

TEST_F(DialerTest, ShutDownReleasesWaitingSessionsAndStartsNoNewDial) {
  SetDialerTimeScale(1);
  Configure(1, 5);
  Line(60000);
  Install();
  std::atomic<int> result{-3};
  std::thread session([&] { result = AskForLink(); });
  ASSERT_TRUE(WaitUntil([&] { return facility_->dials == 1; }));
  control_.RunAndWait([] {});
  HangUpDialer();
  session.join();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(EnsureDialUp(engine::kDialForSession), -1);
  EXPECT_EQ(facility_->dials, 1);
  std::vector<platform::ActiveConnection> active;
  ASSERT_EQ(facility_->EnumConnections(1, &active), 0);
  EXPECT_TRUE(active.empty());
}

}  // namespace
}  // namespace dialer
