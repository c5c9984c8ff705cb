// The simulated facility: entries and outcomes from the settings store, progress like a modem
// dial, one line, hang-up that silences a dial, handles that are gone afterwards.
#include "platform/dialup_simulated.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/testing/dial_progress.h"
#include "platform/testing/temp_store.h"

namespace platform {
namespace {

using testing::DialProgress;

struct EntryScript {
  unsigned delay_ms = 0;
  unsigned result = 0;
  unsigned drop_after_ms = 0;
  const char* password = nullptr;
};

void AddEntry(const std::string& name, const EntryScript& script) {
  RegKey key;
  ASSERT_EQ(RegCreateKey(Hive::kLocalMachine, SimulatorEntriesKeyPath() + "\\" + name, &key), 0);
  ASSERT_EQ(RegSetDword(key, "DelayMs", script.delay_ms), 0);
  ASSERT_EQ(RegSetDword(key, "Result", script.result), 0);
  ASSERT_EQ(RegSetDword(key, "DropAfterMs", script.drop_after_ms), 0);
  ASSERT_EQ(RegSetString(key, "LocalAddress", "192.0.2.7"), 0);
  ASSERT_EQ(RegSetString(key, "ServerAddress", "192.0.2.1"), 0);
  if (script.password != nullptr) {
    ASSERT_EQ(RegSetString(key, "Password", script.password), 0);
  }
}

DialParams ParamsFor(const std::string& entry, const std::string& password = "") {
  DialParams params;
  params.entry = entry;
  params.user = "office";
  params.password = password;
  return params;
}

TEST(SimulatedDialup, DialGoesThroughTheModemStatesAndReportsTheAddresses) {
  testing::TempStore store;
  AddEntry("Provider", {.delay_ms = 30});
  SimulatedDialup facility;
  DialProgress progress;
  DialHandle handle = 0;
  ASSERT_EQ(facility.Dial(ParamsFor("Provider"), progress.target(), &handle), 0);
  ASSERT_TRUE(progress.WaitForState(kDialConnected));
  EXPECT_EQ(progress.states(), (std::vector<int>{kDialOpenPort, kDialAuthenticate,
                                                 kDialAuthenticated, kDialConnected}));
  LinkAddresses addresses;
  ASSERT_EQ(facility.GetProjection(handle, &addresses), 0);
  EXPECT_EQ(addresses.local, "192.0.2.7");
  EXPECT_EQ(addresses.server, "192.0.2.1");
  std::vector<ActiveConnection> active;
  ASSERT_EQ(facility.EnumConnections(1, &active), 0);
  ASSERT_EQ(active.size(), 1u);
  EXPECT_EQ(active[0].entry, "Provider");

  EXPECT_EQ(facility.HangUp(handle), 0);
  DialStatus status;
  EXPECT_EQ(facility.GetConnectStatus(handle, &status), kDialErrorInvalidHandle);
  EXPECT_EQ(facility.HangUp(handle), kDialErrorInvalidHandle);
  ASSERT_EQ(facility.EnumConnections(1, &active), 0);
  EXPECT_TRUE(active.empty());
}

TEST(SimulatedDialup, FailuresArriveAsDisconnectedWithTheirCode) {
  testing::TempStore store;
  AddEntry("Busy", {.result = kDialErrorNoAnswer});
  AddEntry("Locked", {.password = "secret"});
  AddEntry("Flaky", {.drop_after_ms = 20});
  SimulatedDialup facility;
  struct Case {
    const char* entry;
    const char* password;
    long error;
    bool connects_first;
  } cases[] = {{"Busy", "", kDialErrorNoAnswer, false},
               {"Locked", "wrong", kDialErrorAuthentication, false},
               {"Flaky", "", kDialErrorRemoteDisconnected, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    DialProgress progress;
    DialHandle handle = 0;
    ASSERT_EQ(facility.Dial(ParamsFor(c.entry, c.password), progress.target(), &handle), 0);
    ASSERT_TRUE(progress.WaitForState(kDialDisconnected));
    EXPECT_EQ(progress.last_error(), c.error);
    bool connected = std::find(progress.states().begin(), progress.states().end(),
                               kDialConnected) != progress.states().end();
    EXPECT_EQ(connected, c.connects_first);
    DialStatus status;
    ASSERT_EQ(facility.GetConnectStatus(handle, &status), 0);
    EXPECT_EQ(status.state, kDialDisconnected);
    EXPECT_EQ(status.error, c.error);
    // A line whose dial failed is free again even before the handle is hung up.
    DialHandle next = 0;
    EXPECT_EQ(facility.Dial(ParamsFor("Locked", "secret"), 0, &next), 0);
    EXPECT_EQ(facility.HangUp(next), 0);
    EXPECT_EQ(facility.HangUp(handle), 0);
  }
}

TEST(SimulatedDialup, OneLineAtATime) {
  testing::TempStore store;
  AddEntry("Provider", {.delay_ms = 5000});
  AddEntry("Other", {});
  SimulatedDialup facility;
  DialHandle first = 0, second = 0;
  ASSERT_EQ(facility.Dial(ParamsFor("Provider"), 0, &first), 0);
  EXPECT_EQ(facility.Dial(ParamsFor("Other"), 0, &second), kDialErrorPortAlreadyOpen);
  EXPECT_EQ(second, 0u);
  std::vector<ActiveConnection> active;
  EXPECT_EQ(facility.EnumConnections(0, &active), kDialErrorBufferTooSmall);
  EXPECT_EQ(facility.Dial(ParamsFor("Missing"), 0, &second), kDialErrorEntryNotFound);
  std::vector<std::string> entries;
  ASSERT_EQ(facility.EnumEntries(&entries), 0);
  EXPECT_EQ(entries, (std::vector<std::string>{"Other", "Provider"}));
  EXPECT_EQ(facility.HangUp(first), 0);
}

TEST(SimulatedDialup, HangUpDuringTheDialSilencesItAtOnce) {
  testing::TempStore store;
  AddEntry("Slow", {.delay_ms = 60000});
  SimulatedDialup facility;
  DialProgress progress;
  DialHandle handle = 0;
  ASSERT_EQ(facility.Dial(ParamsFor("Slow"), progress.target(), &handle), 0);
  ASSERT_TRUE(progress.WaitForState(kDialOpenPort));
  // Returns without waiting out the minute: the dial's thread is stopped and joined.
  EXPECT_EQ(facility.HangUp(handle), 0);
  progress.Drain();
  EXPECT_EQ(std::count(progress.states().begin(), progress.states().end(), kDialDisconnected), 0);
  std::vector<std::string> entries;
  EXPECT_EQ(facility.EnumEntries(&entries), 0);
}

TEST(DialupFacility, BindingFollowsTheProvider) {
  EXPECT_EQ(BindDialupFacility(DialupProvider::kNone), nullptr);
  EXPECT_NE(dynamic_cast<SimulatedDialup*>(BindDialupFacility(DialupProvider::kSimulated).get()),
            nullptr);
  std::string text;
  EXPECT_EQ(DialErrorString(kDialErrorPortAlreadyOpen, &text), 0);
  EXPECT_FALSE(text.empty());
  EXPECT_NE(DialErrorString(12345, &text), 0);
}

}  // namespace
}  // namespace platform
