// Lookout reading back a client that the client setup utility has just configured on a private
// settings store: every section the configuration run wrote shows the gateway.
#include <gtest/gtest.h>

#include "clientsetup/configuration_run.h"
#include "clientsetup/testing/setup_test_environment.h"
#include "diagnostics/diag_report.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"

namespace diagnostics {
namespace {

using clientsetup::testing::SetupTestEnvironment;
using platform::Hive;

void Set(Hive hive, const std::string& key, const std::string& name, const std::string& value) {
  platform::RegKey k;
  ASSERT_EQ(platform::RegCreateKey(hive, key, &k), 0);
  ASSERT_EQ(platform::RegSetString(k, name, value), 0);
}

void CreateKey(Hive hive, const std::string& key) {
  platform::RegKey k;
  ASSERT_EQ(platform::RegCreateKey(hive, key, &k), 0);
}

// The client programs as installed before the configuration run.
void InstallClients(const SetupTestEnvironment& env) {
  SetupTestEnvironment::Write(env.hosts_path(), "# hosts\n127.0.0.1 localhost\n");
  Set(Hive::kLocalMachine, "System\\CurrentControlSet\\Services\\Tcpip\\Parameters", "NameServer",
      "10.0.0.5 10.0.0.6 10.0.0.7");
  const std::string nav = "Software\\Netscape\\Netscape Navigator\\";
  for (const char* sub : {"Proxy Information", "Services", "Mail", "User"}) {
    CreateKey(Hive::kCurrentUser, nav + sub);
  }
  Set(Hive::kLocalMachine, nav + "Users", "CurrentUser", "ann");
  Set(Hive::kLocalMachine, nav + "Users\\ann", "DirRoot", env.root() + "/ns");
  SetupTestEnvironment::Write(env.root() + "/ns/Prefs.js",
                              "user_pref(\"network.proxy.http\", \"old\");\n");
  CreateKey(Hive::kCurrentUser, "Software\\Microsoft\\Internet Explorer\\Services");
  Set(Hive::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
      "ProxyServer", "http=old:8080");
  Set(Hive::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "Version", "4.0");
  SetupTestEnvironment::Write(env.root() + "/eudora.ini",
                              "[Settings]\nPOPAccount=x\nSMTPServer=y\nReturnAddress=z\n");
  Set(Hive::kCurrentUser, "Software\\Qualcomm\\Eudora\\CommandLine", "current",
      "eudora.exe " + env.root() + "/eudora.ini");
}

// The lines of the section with this heading, up to the next heading.
std::string Section(const std::string& report, const std::string& name) {
  size_t start = report.find("SECTION : " + name + "\n");
  if (start == std::string::npos) return "";
  size_t end = report.find("SECTION : ", start + 1);
  return report.substr(start, end == std::string::npos ? end : end - start);
}

TEST(OutfitterRoundTrip, ReportShowsTheGatewayInEverySectionTheRunWrote) {
  SetupTestEnvironment env;
  platform::testing::MessageRecorder messages;
  InstallClients(env);
  clientsetup::SetupSettings s;
  s.GatewayName = "gate";
  s.GatewayAddress = "192.168.0.1";
  s.UserName = "ann";
  s.Pop3Server = "mailhost";
  s.ReturnAddress = "ann@isp";
  s.IE3 = s.IE4 = s.Navigator3 = s.Communicator = 1;
  s.Eudora = s.Netscape3Mail = s.CommunicatorMail = 1;
  clientsetup::SetupHooks hooks = clientsetup::DefaultHooks([] { return 0; }, false);
  hooks.find_process = [](const std::string&) { return 0; };
  ASSERT_EQ(clientsetup::RunConfiguration(s, hooks), 1);

  platform::SnmpAgent agent([](std::vector<platform::InterfaceEntry>* out) {
    *out = {{"lo", 1, true, 0x7F000001, 0xFF000000}};
    return 0;
  });
  const std::string path = env.root() + "/report.txt";
  ASSERT_EQ(WriteDiagReport(path, &agent), 0);
  const std::string report = SetupTestEnvironment::Read(path);

  EXPECT_EQ(Section(report, "Hosts File"),
            "SECTION : Hosts File\n192.168.0.1     gate\n127.0.0.1 localhost\n\n\n");
  EXPECT_EQ(Section(report, "DNS Search Order"),
            "SECTION : DNS Search Order\nNameServer          = 192.168.0.1 10.0.0.5 10.0.0.6\n"
            "EnableDNS           = 1\n\n\n");
  EXPECT_EQ(Section(report, "Netscape Navigator 3.x"),
            "SECTION : Netscape Navigator 3.x\n"
            "Connection Type     = Manual Proxy Configuration\n"
            "Http Proxy          = gate\nHttp Proxy Port     = 80\n"
            "Ftp Proxy           = \nFtp Proxy Port      = 0\n"
            "News Proxy          = gate\nNews Proxy Port     = 119\n"
            "Socks Proxy         = gate\nSocks Proxy Port    = 1080\n"
            "POP3 Proxy          = gate\nSMTP Proxy          = gate\n"
            "POP3 Account Name   = ann<mailhost>\nReply To            = ann@isp\n\n\n");
  EXPECT_EQ(Section(report, "Netscape Communicator 4.x"),
            "SECTION : Netscape Communicator 4.x\n"
            "Http Proxy Port     = 80\nFtp Proxy Port      = 21\n"
            "Socks Proxy Port    = 1080\nNews Proxy Port     = 119\n"
            "Connection Type     = Manual Proxy Configuration\n"
            "Http Proxy          = gate\nFtp Proxy           = \n"
            "News Proxy          = gate\nSocks Proxy         = gate\n"
            "POP3 Proxy          = gate\nSMTP Proxy          = gate\n"
            "POP3 Account Name   = ann<mailhost>\nReply To            = ann@isp\n\n\n");
  EXPECT_EQ(Section(report, "Internet Explorer"),
            "SECTION : Internet Explorer\nVersion             = 4.0\n"
            "http=gate:80;socks=gate:1080;\nProxy is Enabled\n\n");
  EXPECT_EQ(Section(report, "Eudora Mail Client"),
            "SECTION : Eudora Mail Client\nPOPAccount=ann<mailhost>@gate\nSMTPServer=gate\n"
            "ReturnAddress=ann@isp\n\n");
}

}  // namespace
}  // namespace diagnostics
