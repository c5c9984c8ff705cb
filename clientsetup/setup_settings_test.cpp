// The utility's own stored values and the POP account name.
#include "clientsetup/setup_settings.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/testing/temp_store.h"

namespace clientsetup {
namespace {

TEST(SetupSettings, PopAccountNameAndVersionText) {
  SetupSettings s;
  s.UserName = "ann";
  s.Pop3Server = "mailhost";
  EXPECT_EQ(PopAccountName(s), "ann<mailhost>");
  EXPECT_EQ(AboutVersionText(), "Wayfarer Version 2.0 Build 34");
  EXPECT_EQ(WorkstationKeyPath(),
            "Software\\Wayfarer Computer Products Ltd.\\Wayfarer\\2.0\\Workstation");
}

TEST(Workstation, SavedValuesComeBack) {
  platform::testing::TempStore store;
  SetupSettings fresh;
  EXPECT_EQ(LoadWorkstation(&fresh), platform::kErrorFileNotFound);
  SetupSettings s;
  s.UserName = "ann";
  s.Pop3Server = "mailhost";
  s.ReturnAddress = "ann@example.org";
  s.GatewayName = "gate";
  s.GatewayAddress = "192.168.0.1";
  EXPECT_EQ(SaveWorkstation(s), 0);
  SetupSettings loaded;
  EXPECT_EQ(LoadWorkstation(&loaded), 0);
  EXPECT_EQ(loaded.UserName, "ann");
  EXPECT_EQ(loaded.ReturnAddress, "ann@example.org");
  EXPECT_EQ(loaded.GatewayAddress, "192.168.0.1");
}

TEST(Workstation, UnreadableValueLeavesFieldAsItWas) {
  platform::testing::TempStore store;
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kCurrentUser, WorkstationKeyPath(), &key), 0);
  ASSERT_EQ(platform::RegSetString(key, "Gateway Name", std::string(49, 'n')), 0);
  ASSERT_EQ(platform::RegSetString(key, "User Name", std::string(50, 'u')), 0);  // 51 bytes
  SetupSettings s;
  s.UserName = "kept";
  s.Pop3Server = "kept too";
  EXPECT_EQ(LoadWorkstation(&s), 0);
  EXPECT_EQ(s.GatewayName, std::string(49, 'n'));
  EXPECT_EQ(s.UserName, "kept");
  EXPECT_EQ(s.Pop3Server, "kept too");
}

}  // namespace
}  // namespace clientsetup
