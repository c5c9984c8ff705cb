// The product key's layout, the default configuration and single-entry loads and saves.
#include "gateway/engine/config_store.h"

#include <gtest/gtest.h>

#include "gateway/engine/service_list.h"
#include "gateway/engine/settings_records.h"
#include "gateway/engine/store_access.h"
#include "platform/testing/temp_store.h"

namespace engine {
namespace {

using platform::RegKey;

TEST(ConfigStore, KeyPathsOfEverySelector) {
  std::string path;
  ASSERT_EQ(BuildKeyPath(kKeyService, &path), 0);
  EXPECT_EQ(path, "Software\\Wayfarer Computer Products Ltd.\\Wayfarer\\2.0\\Service");
  ASSERT_EQ(BuildKeyPath(kKeyCache, &path), 0);
  EXPECT_EQ(path, "Software\\Wayfarer Computer Products Ltd.\\Wayfarer\\2.0\\Cache");
  EXPECT_EQ(BuildKeyPath(5, &path), -1);
  EXPECT_EQ(BuildKeyPath(7, &path), -1);
}

TEST(ConfigStore, DefaultConfigurationHoldsTenServicesAndTheDiallerValues) {
  platform::testing::TempStore store;
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  int total = -1;
  ASSERT_EQ(ReadTotalServices(&total), 0);
  EXPECT_EQ(total, 10);
  struct Expected {
    const char* type;
    int port, active;
  } expected[] = {{"WWW", 80, 1}, {"Telnet", 23, 1}, {"FTP", 21, 1}, {"Socks", 1080, 1},
                  {"POP3", 110, 1}, {"RealAudio", 1090, 1}, {"SMTP", 25, 0},
                  {"News", 119, 0}, {"IRC", 6667, 0}, {"DNS", 53, 1}};
  for (int i = 0; i < 10; ++i) {
    ServiceEntry e;
    ASSERT_EQ(LoadServiceEntry(i, &e), 0);
    EXPECT_EQ(e.ServiceType, expected[i].type);
    EXPECT_EQ(e.PortNum, expected[i].port);
    EXPECT_EQ(e.IsActive, expected[i].active);
    EXPECT_EQ(e.MappingName, e.ServiceType);
    if (i < 9) {
      EXPECT_EQ(e.TimeoutAfter, 180);
      EXPECT_EQ(e.ListenCapacity, 10);
    }
  }
  ServiceEntry smtp;
  ASSERT_EQ(LoadServiceEntry(6, &smtp), 0);
  EXPECT_EQ(smtp.DefaultHostPortNum, 25);
  EXPECT_EQ(smtp.ProtocolType, 0);
  RegKey dns;
  ASSERT_EQ(OpenNumbered(kKeyService, 9, false, &dns), 0);
  uint32_t v = 0;
  EXPECT_EQ(platform::RegQueryDword(dns, "TimeOut", &v), platform::kErrorFileNotFound);
  EXPECT_EQ(platform::RegQueryDword(dns, "UseDialler", &v), platform::kErrorSuccess);
  DiallerSettings d;
  d.Retires = 9;
  ASSERT_EQ(LoadDiallerSettings(&d), 0);
  EXPECT_EQ(d.Retires, 0);
  EXPECT_EQ(d.Profile, "");
}

TEST(ConfigStore, DefaultsAreNotWrittenOverAnExistingConfiguration) {
  platform::testing::TempStore store;
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  ASSERT_EQ(WriteTotalServices(3), 0);
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  int total = 0;
  ASSERT_EQ(ReadTotalServices(&total), 0);
  EXPECT_EQ(total, 3);
}

TEST(ConfigStore, LoadCutsLongTypesAndFillsEmptyMappingNames) {
  platform::testing::TempStore store;
  RegKey key;
  ASSERT_EQ(OpenNumbered(kKeyService, 0, true, &key), 0);
  ASSERT_TRUE(SetString(key, "ServiceType", "TCP Mapped Link"));
  ASSERT_TRUE(SetString(key, "MappingName", ""));
  ServiceEntry e;
  ASSERT_EQ(LoadServiceEntry(0, &e), 0);
  EXPECT_EQ(e.MappingName, "TCP Mapped Link");

  ASSERT_TRUE(SetString(key, "ServiceType", std::string(40, 'x')));
  ASSERT_EQ(LoadServiceEntry(0, &e), 0);
  EXPECT_EQ(e.ServiceType, std::string(25, 'x'));
  EXPECT_EQ(LoadServiceEntry(1, &e), -1) << "a missing subkey";
}

TEST(ConfigStore, LoadingTheDnsEntrySetsTheProcessWideCacheFlag) {
  platform::testing::TempStore store;
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  RegKey dns;
  ASSERT_EQ(OpenNumbered(kKeyService, 9, false, &dns), 0);
  ASSERT_TRUE(SetDword(dns, "UseDnsCache", 1));
  SetUseDnsCache(0);
  ServiceEntry e;
  ASSERT_EQ(LoadServiceEntry(9, &e), 0);
  EXPECT_EQ(UseDnsCache(), 1);
  SetUseDnsCache(0);
}

TEST(ConfigStore, SaveNeedsAnExistingSubkeyAndCreateSetsTheTotal) {
  platform::testing::TempStore store;
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  ServiceEntry m;
  m.ServiceType = "TCP Mapped Link";
  m.MappingName = "Intranet";
  m.PortNum = 8080;
  m.IsActive = 1;
  m.DefaultHost = "10.1.2.3";
  m.DefaultHostPortNum = 80;
  m.ProtocolType = 0;
  m.index = 10;
  EXPECT_EQ(SaveServiceEntry(m), -1);
  ASSERT_EQ(CreateServiceEntry(10, m), 0);
  int total = 0;
  ASSERT_EQ(ReadTotalServices(&total), 0);
  EXPECT_EQ(total, 11);
  ServiceEntry back;
  ASSERT_EQ(LoadServiceEntry(10, &back), 0);
  EXPECT_EQ(back.MappingName, "Intranet");
  EXPECT_EQ(back.DefaultHost, "10.1.2.3");
  EXPECT_EQ(back.DefaultHostPortNum, 80);
}

TEST(SettingsRecords, ProfileCredentialsNeedAllThreeValues) {
  platform::testing::TempStore store;
  ASSERT_EQ(SaveProfileCredentials("Office ISP", "user", "scrambled", ""), 0);
  std::string name, password, domain;
  ASSERT_EQ(LoadProfileCredentials("office isp", &name, &password, &domain), 0);
  EXPECT_EQ(name, "user");
  RegKey key;
  ASSERT_EQ(OpenSubkey(kKeyDialler, "Office ISP", false, &key), 0);
  ASSERT_EQ(platform::RegDeleteValue(key, "Domain"), platform::kErrorSuccess);
  EXPECT_EQ(LoadProfileCredentials("Office ISP", &name, &password, &domain), -1);
}

TEST(SettingsRecords, MasterPasswordOnAFreshStore) {
  platform::testing::TempStore store;
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  std::string text = "stale";
  EXPECT_EQ(ReadMasterPassword(&text), -1);
  EXPECT_EQ(text, "");
  // A fresh store has no License key; setting the first password must still be kept.
  ASSERT_EQ(WriteMasterPassword("AbCdEf"), 0);
  ASSERT_EQ(ReadMasterPassword(&text), 0);
  EXPECT_EQ(text, "AbCdEf");
}

TEST(SettingsRecords, RulesAppendAndLoadWithTheirWidths) {
  platform::testing::TempStore store;
  ASSERT_EQ(WriteDefaultConfiguration(), 0);
  RuleRecord r{1, "All", "www.example.com", std::string(300, 'k')};
  ASSERT_EQ(AppendRule(r), 0);
  ASSERT_EQ(AppendRule(RuleRecord{2, "10.0.0.5", "All", ""}), 0);
  int total = 0;
  ASSERT_EQ(ReadTotalSecurity(&total), 0);
  EXPECT_EQ(total, 2);
  RuleRecord back;
  ASSERT_EQ(LoadRule(&back, 0), 0);
  EXPECT_EQ(back.HostIP, "www.example.com");
  EXPECT_EQ(back.Data.size(), 255u);
  EXPECT_EQ(SaveRule(r, 5), -1);
}

}  // namespace
}  // namespace engine
