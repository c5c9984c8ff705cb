// The configuration run's order of checks, its stops and what a help-only run leaves behind.
#include "clientsetup/configuration_run.h"

#include <gtest/gtest.h>

#include "clientsetup/hosts_and_dns.h"
#include "clientsetup/testing/setup_test_environment.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"

namespace clientsetup {
namespace {

using platform::testing::MessageRecorder;
using testing::SetupTestEnvironment;

SetupSettings Filled() {
  SetupSettings s;
  s.GatewayName = "gate";
  s.GatewayAddress = "192.168.0.1";
  s.UserName = "ann";
  s.Pop3Server = "pop";
  s.ReturnAddress = "ann@isp";
  return s;
}

struct FakeProbes {
  int ping = 0;
  int search = 0;
  std::vector<std::string> searched;
  std::vector<int> help;
  SetupHooks Hooks() {
    SetupHooks hooks;
    hooks.test_gateway = [this] { return ping; };
    hooks.find_process = [this](const std::string& name) {
      searched.push_back(name);
      return search;
    };
    hooks.show_help = [this](int context) { help.push_back(context); };
    return hooks;
  }
};

bool WorkstationStored() {
  platform::RegKey key;
  return platform::RegOpenKey(platform::Hive::kCurrentUser, WorkstationKeyPath(), &key) == 0;
}

TEST(ConfigurationRun, MissingDetailsStopBeforeAnything) {
  SetupTestEnvironment env;
  MessageRecorder messages;
  FakeProbes probes;
  SetupSettings s = Filled();
  s.GatewayAddress.clear();
  EXPECT_EQ(RunConfiguration(s, probes.Hooks()), kRunStopped);
  s = Filled();
  s.Eudora = 1;
  s.ReturnAddress.clear();
  EXPECT_EQ(RunConfiguration(s, probes.Hooks()), kRunStopped);
  ASSERT_EQ(messages.texts().size(), 2u);
  EXPECT_EQ(messages.texts()[0], "Please Fill Gateway Machine details");
  EXPECT_EQ(messages.messages()[1].caption, "POP3 details not filled");
  EXPECT_FALSE(std::filesystem::exists(env.hosts_path()));
}

TEST(ConfigurationRun, RefusedGatewayTestChangesNothing) {
  SetupTestEnvironment env;
  MessageRecorder messages(platform::kIdNo);
  FakeProbes probes;
  probes.ping = -1;
  SetupSettings s = Filled();
  s.IE4 = 1;
  EXPECT_EQ(RunConfiguration(s, probes.Hooks()), kRunStopped);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].buttons, platform::MessageButtons::kYesNo);
  EXPECT_FALSE(std::filesystem::exists(env.hosts_path()));
  EXPECT_FALSE(WorkstationStored());
}

TEST(ConfigurationRun, RunningOrUnsearchableCommunicatorStops) {
  SetupTestEnvironment env;
  MessageRecorder messages;
  FakeProbes probes;
  SetupSettings s = Filled();
  s.CommunicatorMail = 1;
  for (int search : {1, -1}) {
    probes.search = search;
    EXPECT_EQ(RunConfiguration(s, probes.Hooks()), kRunStopped);
  }
  EXPECT_EQ(messages.texts().back(),
            "Please ensure that Netscape Communicator is not running before you continue.");
  EXPECT_EQ(probes.searched.front(), "netscape.exe");
}

TEST(ConfigurationRun, OutlookExpressStopsOnlyWhenFound) {
  SetupTestEnvironment env;
  MessageRecorder messages;
  FakeProbes probes;
  SetupSettings s = Filled();
  s.OutlookExpress = 1;
  probes.search = 1;
  EXPECT_EQ(RunConfiguration(s, probes.Hooks()), kRunStopped);
  EXPECT_EQ(messages.texts().back(),
            "Please ensure that Outlook Express is not running before you continue.");
  probes.search = -1;  // a search that cannot be made does not stop Outlook Express
  EXPECT_EQ(RunConfiguration(s, probes.Hooks()), 1);
  EXPECT_TRUE(WorkstationStored());
  EXPECT_EQ(messages.messages().back().caption, "Setup Complete");
  EXPECT_EQ(messages.texts().back(), "This workstation is now configured for Wayfarer");
}

TEST(ConfigurationRun, HelpOnlyClientsEditHostsAndDnsButStoreNothing) {
  SetupTestEnvironment env;
  MessageRecorder messages;
  FakeProbes probes;
  platform::RegKey tcpip;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine, kNameServerKeyNt, &tcpip), 0);
  SetupSettings s;
  s.GatewayName = "gate";
  s.GatewayAddress = "192.168.0.1";
  s.Exchange = 1;
  s.Pegasus = 1;
  EXPECT_EQ(RunConfiguration(s, probes.Hooks()), 0);
  EXPECT_EQ(SetupTestEnvironment::Read(env.hosts_path()), "\n192.168.0.1     gate\n");
  std::string name_server;
  EXPECT_EQ(platform::RegQueryString(tcpip, "NameServer", &name_server), 0);
  EXPECT_EQ(name_server, "192.168.0.1");
  EXPECT_EQ(probes.help, (std::vector<int>{200001, 200002}));
  EXPECT_FALSE(WorkstationStored());
  for (const std::string& text : messages.texts()) {
    EXPECT_EQ(text.find("now configured"), std::string::npos);
  }
}

}  // namespace
}  // namespace clientsetup
