// The hosts entry placement and the NameServer lists of both platform families.
#include "clientsetup/hosts_and_dns.h"

#include <gtest/gtest.h>

#include "clientsetup/testing/setup_test_environment.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"

namespace clientsetup {
namespace {

using testing::SetupTestEnvironment;

SetupSettings Gateway() {
  SetupSettings s;
  s.GatewayName = "gate";
  s.GatewayAddress = "192.168.0.1";
  return s;
}

const std::string kEntry = "\n192.168.0.1     gate\n";

TEST(HostsEntry, PlacedAfterLeadingCommentsOrAtTop) {
  EXPECT_EQ(HostsEntry(Gateway()), kEntry);
  struct Case {
    std::vector<std::string> lines;
    std::string expected;
  };
  const Case cases[] = {
      {{"# c\n", "127.0.0.1 localhost\n"}, "# c\n" + kEntry + "127.0.0.1 localhost\n"},
      {{"127.0.0.1 localhost\n", "# later\n"}, kEntry + "127.0.0.1 localhost\n# later\n"},
      {{"# a\n", "# b"}, "# a\n# b\n" + kEntry},
      {{}, kEntry},
      {{"# a\n", "1.2.3.4 x # note\n", "5.6.7.8 y\n"},
       "# a\n1.2.3.4 x # note\n" + kEntry + "5.6.7.8 y\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(InsertHostsEntry(c.lines, kEntry), c.expected);
}

TEST(HostsFile, CreatedWhenMissingAndTheEntryReplacedNotDuplicated) {
  SetupTestEnvironment env;
  AddHostsEntry(Gateway());
  EXPECT_EQ(SetupTestEnvironment::Read(env.hosts_path()), kEntry);
  SetupTestEnvironment::Write(env.hosts_path(), "# hosts\n127.0.0.1 localhost\n");
  AddHostsEntry(Gateway());
  AddHostsEntry(Gateway());
  EXPECT_EQ(SetupTestEnvironment::Read(env.hosts_path()),
            "# hosts\n" + kEntry + "127.0.0.1 localhost\n");
  EXPECT_FALSE(std::filesystem::exists(env.temp_file()));
}

TEST(HostsEntry, ExistingLinesForTheGatewayAreReplaced) {
  struct Case {
    std::vector<std::string> lines;
    std::string expected;
  };
  const Case cases[] = {
      // An old address for the name, in any letter case, becomes the new one in place.
      {{"127.0.0.1 localhost\n", "10.9.9.9\tGATE # old\n", "::1 ip6\n"},
       "127.0.0.1 localhost\n192.168.0.1     gate\n::1 ip6\n"},
      // The name leaves a line it shares; a second line for it goes.
      {{"10.9.9.9 gate other\n", "10.8.8.8 gate\n"}, "10.9.9.9 other\n192.168.0.1     gate\n"},
      // "gateway" is another name; a commented-out entry is no entry.
      {{"10.9.9.9 gateway\n", "# 10.7.7.7 gate\n"}, kEntry + "10.9.9.9 gateway\n# 10.7.7.7 gate\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlaceHostsEntry(c.lines, "192.168.0.1", "gate"), c.expected);
  }
}

TEST(HostsFile, OnlyAnAddressIsWritten) {
  SetupTestEnvironment env;
  SetupTestEnvironment::Write(env.hosts_path(), "127.0.0.1 localhost\n");
  SetupSettings s = Gateway();
  s.GatewayAddress = "localhost";  // a name: resolved first
  RunReport report;
  AddHostsEntry(s, nullptr, &report);
  EXPECT_EQ(SetupTestEnvironment::Read(env.hosts_path()),
            "\n127.0.0.1     gate\n127.0.0.1 localhost\n");
  EXPECT_EQ(report.changed.size(), 1u);
  s.GatewayAddress = "gateway..";  // no name at all
  report = {};
  AddHostsEntry(s, nullptr, &report);
  ASSERT_EQ(report.failed.size(), 1u);
  EXPECT_NE(report.failed[0].find("does not resolve to an IPv4 address"), std::string::npos)
      << report.failed[0];
  EXPECT_EQ(SetupTestEnvironment::Read(env.hosts_path()),
            "\n127.0.0.1     gate\n127.0.0.1 localhost\n");
}

TEST(HostsFile, Win95FamilyUsesWindowsDirectory) {
  SetupTestEnvironment env;
  unsetenv("WAYFARER_HOSTS");
  setenv("WAYFARER_WINVER", "95", 1);
  AddHostsEntry(Gateway());
  EXPECT_EQ(SetupTestEnvironment::Read(env.windows_dir() + "/hosts"), kEntry);
}

TEST(BuildNameServer, GatewayFirstKeepingTwoEntries) {
  struct Case {
    const char* old_value;
    char separator;
    const char* expected;
    bool changed;
  };
  const Case cases[] = {
      {"10.0.0.5,10.0.0.6,10.0.0.7", ',', "192.168.0.1,10.0.0.5,10.0.0.6", true},
      {"10.0.0.5 10.0.0.6", ' ', "192.168.0.1 10.0.0.5 10.0.0.6", true},
      {"10.0.0.5", ' ', "192.168.0.1 10.0.0.5", true},
      {"", ' ', "192.168.0.1", true},
      {" , ", ',', "192.168.0.1", true},
      {"192.168.0.1 10.0.0.5", ' ', "192.168.0.1 10.0.0.5", false},
  };
  for (const Case& c : cases) {
    bool changed = !c.changed;
    EXPECT_EQ(BuildNameServer(c.old_value, "192.168.0.1", c.separator, &changed), c.expected);
    EXPECT_EQ(changed, c.changed) << c.old_value;
  }
}

std::string Value(const platform::RegKey& key, const char* name) {
  std::string text = "<missing>";
  (void)platform::RegQueryString(key, name, &text);
  return text;
}

TEST(NameServers, BothFamiliesWriteTheirKeys) {
  SetupTestEnvironment env;
  platform::RegKey nt;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine, kNameServerKeyNt, &nt), 0);
  ASSERT_EQ(platform::RegSetString(nt, "Domain", "office.lan"), 0);
  ASSERT_EQ(platform::RegSetString(nt, "NameServer", "10.0.0.5 10.0.0.6 " + std::string(200, '9')),
            0);
  EXPECT_EQ(SetNameServers(Gateway()), 0);
  EXPECT_EQ(Value(nt, "NameServer"), "192.168.0.1 10.0.0.5 10.0.0.6");
  EXPECT_EQ(Value(nt, "Domain"), "office.lan");  // a long value is no missing value
  EXPECT_EQ(Value(nt, "EnableDNS"), "1");

  setenv("WAYFARER_WINVER", "95", 1);
  platform::RegKey vxd;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine, kNameServerKey95, &vxd), 0);
  ASSERT_EQ(platform::RegSetString(vxd, "Domain", "old"), 0);
  EXPECT_EQ(SetNameServers(Gateway()), 0);
  EXPECT_EQ(Value(vxd, "NameServer"), "192.168.0.1");
  EXPECT_EQ(Value(vxd, "Domain"), "");
  EXPECT_EQ(Value(vxd, "SearchList"), "");
  ASSERT_EQ(platform::RegDeleteValue(vxd, "EnableDNS"), 0);
  EXPECT_EQ(SetNameServers(Gateway()), 0);  // already first: unchanged, EnableDNS still set
  EXPECT_EQ(Value(vxd, "NameServer"), "192.168.0.1");
  EXPECT_EQ(Value(vxd, "EnableDNS"), "1");
}

TEST(NameServers, MissingKeyShowsDnsSetupFailed) {
  SetupTestEnvironment env;
  platform::testing::MessageRecorder messages;
  EXPECT_EQ(SetNameServers(Gateway()), platform::kErrorFileNotFound);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].caption, "DNS Setup failed");
  EXPECT_EQ(messages.messages()[0].text,
            "Please change the DNS settings for this machine to point to the Wayfarer server "
            "machine.\nError Code = 2\n\nPlease refer to Microsoft Help for more information.");
}

}  // namespace
}  // namespace clientsetup
