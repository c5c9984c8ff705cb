// Whole-report tests: a client configured the way the client setup utility leaves it, a
// machine with nothing configured, and the report file's own failures.
#include "diagnostics/diag_report.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdio>

#include "diagnostics/adapter_sections.h"
#include "diagnostics/report_test_support.h"
#include "platform/testing/message_recorder.h"

namespace diagnostics {
namespace {

using platform::Hive;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class DiagReportTest : public testing::ReportTest {
 protected:
  // Runs the report with the sample agent and returns its text.
  std::string RunReport() {
    platform::SnmpAgent agent = SampleAgent();
    std::string path = store_.dir() + "/Wayfarer.txt";
    EXPECT_EQ(WriteDiagReport(path, &agent), 0);
    return ReadFile(path);
  }

  void ConfigureClient();
};

void DiagReportTest::ConfigureClient() {
  WriteFile("hosts", "# Copyright\n# comment\n\n192.168.0.1     gate\n127.0.0.1 localhost\n");
  const std::string tcpip = "System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
  SetString(Hive::kLocalMachine, tcpip, "NameServer", "192.168.0.1 10.0.0.5");
  SetString(Hive::kLocalMachine, tcpip, "EnableDNS", "1");
  SetString(Hive::kLocalMachine, tcpip, "HostName", "pc7");
  SetString(Hive::kClassesRoot, "HTTP\\shell\\open\\command", "",
            "\"C:\\Program Files\\Netscape\\netscape.exe\" -h \"%1\"");
  const std::string nav = "Software\\Netscape\\Netscape Navigator\\";
  SetDword(Hive::kCurrentUser, nav + "Proxy Information", "Proxy Type", 1);
  SetString(Hive::kCurrentUser, nav + "Proxy Information", "FTP_Proxy", "");
  SetDword(Hive::kCurrentUser, nav + "Proxy Information", "Ftp_ProxyPort", 0);
  SetDword(Hive::kCurrentUser, nav + "Proxy Information", "Http_ProxyPort", 80);
  SetString(Hive::kCurrentUser, nav + "Proxy Information", "HTTP_Proxy", "gate");
  SetDword(Hive::kCurrentUser, nav + "Proxy Information", "News_ProxyPort", 119);
  for (const char* name : {"NNTP_Server", "POP_Server", "SOCKS_Server", "SMTP_Server"}) {
    SetString(Hive::kCurrentUser, nav + "Services", name, "gate");
  }
  SetDword(Hive::kCurrentUser, nav + "Services", "SOCKS_ServerPort", 1080);
  SetString(Hive::kCurrentUser, nav + "Mail", "POP Name", "ann<mailhost>");
  SetString(Hive::kLocalMachine, nav + "Users", "CurrentUser", "ann");
  SetString(Hive::kLocalMachine, nav + "Users\\ann", "DirRoot", store_.dir());
  WriteFile("Prefs.js",
            "// Netscape User Preferences\n"
            "user_pref(\"browser.startup.homepage\", \"http://example.com/\");\n"
            "user_pref(\"mail.identity.useremail\", \"ann@example.com\");\n"
            "user_pref(\"network.hosts.pop_server\", \"gate\");\n"
            "user_pref(\"network.hosts.smtp_server\", \"gate\");\n"
            "user_pref(\"mail.pop_name\", \"ann<mailhost>\");\n"
            "user_pref(\"mail.identity.reply_to\", \"ann@example.com\");\n"
            "user_pref(\"network.proxy.http_port\", 80);\n"
            "user_pref(\"network.proxy.ftp_port\", 21);\n"
            "user_pref(\"network.hosts.socks_serverport\", 1080);\n"
            "user_pref(\"news.server_port\", 119);\n"
            "user_pref(\"network.proxy.type\", 1);\n"
            "user_pref(\"network.proxy.http\", \"gate\");\n"
            "user_pref(\"network.proxy.ftp\", \"\");\n"
            "user_pref(\"network.hosts.nntp_server\", \"gate\");\n"
            "user_pref(\"network.hosts.socks_server\", \"gate\");\n");
  SetString(Hive::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "Version",
            "4.72.3110.8");
  const std::string ie = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  SetString(Hive::kCurrentUser, ie, "ProxyServer", "http=gate:80;socks=gate:1080;");
  SetBinary(Hive::kCurrentUser, ie, "ProxyEnable", {1, 0, 0, 0});
  SetString(Hive::kClassesRoot, "mailto\\shell\\open\\command", "", "C:\\Eudora\\Eudora.exe /m %1");
  std::string ini = WriteFile("eudora.ini",
                              "[Settings]\nRealName=Ann\nReturnAddress=ann@example.com\n"
                              "SMTPServer=gate\nPOPAccount=ann<mailhost>@gate\nPOPAccount=2\n");
  SetString(Hive::kCurrentUser, "Software\\Qualcomm\\Eudora\\CommandLine", "current",
            "C:\\Eudora\\Eudora.exe  " + ini);
  const std::string product = "Software\\Wayfarer Computer Products Ltd.\\Wayfarer\\2.0";
  SetString(Hive::kLocalMachine, product, "Directory", "C:\\Wayfarer");
  SetString(Hive::kLocalMachine, product, "Installed", "1");
  SetDword(Hive::kLocalMachine, product, "BuildNum", 34);
}

TEST_F(DiagReportTest, ConfiguredClientGivesEverySectionInOrder) {
  ConfigureClient();
  const std::string expected =
      "Diagnostic File Created by Wayfarer\n\n"
      "SECTION : Operating System\nOS is Windows NT\n\n"
      "SECTION : Hosts File\n192.168.0.1     gate\n127.0.0.1 localhost\n\n\n"
      "SECTION : DNS Search Order\n"
      "NameServer          = 192.168.0.1 10.0.0.5\n"
      "EnableDNS           = 1\n"
      "HostName            = pc7\n\n\n"
      "SECTION : Default Browser\n"
      "\"C:\\Program Files\\Netscape\\netscape.exe\" -h \"%1\"\n\n"
      "SECTION : Netscape Navigator 3.x\n"
      "Connection Type     = Manual Proxy Configuration\n"
      "Http Proxy          = gate\n"
      "Http Proxy Port     = 80\n"
      "Ftp Proxy           = \n"
      "Ftp Proxy Port      = 0\n"
      "News Proxy          = gate\n"
      "News Proxy Port     = 119\n"
      "Socks Proxy         = gate\n"
      "Socks Proxy Port    = 1080\n"
      "POP3 Proxy          = gate\n"
      "SMTP Proxy          = gate\n"
      "POP3 Account Name   = ann<mailhost>\n"
      "E 109 : Registry Key is Invalid\nError Code = 2\n\n\n"
      "SECTION : Netscape Communicator 4.x\n"
      "POP3 Proxy          = gate\n"
      "SMTP Proxy          = gate\n"
      "POP3 Account Name   = ann<mailhost>\n"
      "Reply To            = ann@example.com\n"
      "Http Proxy Port     = 80\n"
      "Ftp Proxy Port      = 21\n"
      "Socks Proxy Port    = 1080\n"
      "News Proxy Port     = 119\n"
      "Connection Type     = Manual Proxy Configuration\n"
      "Http Proxy          = gate\n"
      "Ftp Proxy           = \n"
      "News Proxy          = gate\n"
      "Socks Proxy         = gate\n\n\n"
      "SECTION : Internet Explorer\n"
      "Version             = 4.72.3110.8\n"
      "http=gate:80;socks=gate:1080;\n"
      "Proxy is Enabled\n\n"
      "SECTION : Default Mail Client\nC:\\Eudora\\Eudora.exe /m %1\n\n"
      "SECTION : Eudora Mail Client\n"
      "ReturnAddress=ann@example.com\nSMTPServer=gate\nPOPAccount=ann<mailhost>@gate\n\n"
      "SECTION : Dial-Up Adapters\nE 109 : Registry Key is Invalid\nError Code = 2\n\n\n"
      "SECTION : Network Adapters\n"
      "IPAddress           IPMask              Adapter is compatible with :\n"
      "10.0.0.5            255.0.0.0           eth0\n"
      "192.168.1.2         255.255.255.0       eth0\n\n"
      "SECTION : Wayfarer\n"
      "Directory           = C:\\Wayfarer\n"
      "Installed           = 1\n"
      "BuildNum            = 34\n\n\n";
  EXPECT_EQ(Lines(RunReport()), Lines(expected));
  EXPECT_EQ(RunReport(), expected);
}

TEST_F(DiagReportTest, MachineWithNothingConfigured) {
  const std::string e109 = "E 109 : Registry Key is Invalid\nError Code = 2\n";
  const std::string expected =
      "Diagnostic File Created by Wayfarer\n\n"
      "SECTION : Operating System\nOS is Windows NT\n\n"
      "E 104 : Could not open hosts file.\n\n"
      "SECTION : DNS Search Order\n" +
      e109 +
      "\n\n"
      "SECTION : Default Browser\n" +
      e109 +
      "\n\n"
      "SECTION : Netscape Navigator 3.x\n" +
      e109 +
      "\n"
      "SECTION : Netscape Communicator 4.x\n" +
      e109 +
      "\n\n"
      "SECTION : Internet Explorer\n" +
      e109 + "SECTION : Default Mail Client\n" + e109 + "SECTION : Eudora Mail Client\n" + e109 +
      "\n"
      "SECTION : Dial-Up Adapters\n" +
      e109 +
      "\n\n"
      "SECTION : Network Adapters\n"
      "IPAddress           IPMask              Adapter is compatible with :\n"
      "10.0.0.5            255.0.0.0           eth0\n"
      "192.168.1.2         255.255.255.0       eth0\n\n"
      "SECTION : Wayfarer\n" +
      e109;
  EXPECT_EQ(Lines(RunReport()), Lines(expected));
  EXPECT_EQ(RunReport(), expected);
}

TEST_F(DiagReportTest, UncreatableReportShowsE102AndWritesNothing) {
  platform::testing::MessageRecorder recorder;
  platform::SnmpAgent agent = SampleAgent();
  EXPECT_EQ(WriteDiagReport(store_.dir() + "/no/such/dir/r.txt", &agent), -1);
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].caption, "Error");
  EXPECT_EQ(recorder.messages()[0].text, "E 102 : Could not open log file");
  EXPECT_EQ(recorder.messages()[0].icon, platform::MessageIcon::kExclamation);
}

TEST_F(DiagReportTest, FullDiskIsNotReportedAsWritten) {
  platform::testing::MessageRecorder recorder;
  platform::SnmpAgent agent = SampleAgent();
  EXPECT_EQ(WriteDiagReport("/dev/full", &agent), -1);
  EXPECT_EQ(recorder.texts(), std::vector<std::string>{"E 102 : Could not open log file"});
}

// This machine's IPv4 rows other than 127.0.0.1, read here directly with getifaddrs.
std::vector<std::string> MachineAdapterLines() {
  std::vector<std::string> lines;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return lines;
  for (ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
    if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET) continue;
    char address[INET_ADDRSTRLEN];
    char mask[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(ifa->ifa_addr)->sin_addr, address,
              sizeof address);
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(ifa->ifa_netmask)->sin_addr, mask,
              sizeof mask);
    if (std::string(address) == "127.0.0.1") continue;
    char line[128];
    std::snprintf(
        line, sizeof line, "%-20s%-20s%s", address, mask,
        std::string(ifa->ifa_name).substr(0, std::string(ifa->ifa_name).find(':')).c_str());
    lines.push_back(line);
  }
  freeifaddrs(list);
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST_F(DiagReportTest, NetworkAdaptersListThisMachinesAddressesExceptLoopback) {
  platform::SnmpAgent agent;
  std::vector<std::string> lines =
      Lines(Capture([&](ReportWriter& w) { WriteAdapterSections(w, agent); }));
  auto heading = std::find(lines.begin(), lines.end(), "SECTION : Network Adapters");
  ASSERT_NE(heading, lines.end());
  ASSERT_GE(lines.end() - heading, 3);
  EXPECT_EQ(heading[1], "IPAddress           IPMask              Adapter is compatible with :");
  EXPECT_EQ(lines.back(), "");
  std::vector<std::string> rows(heading + 2, lines.end() - 1);
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, MachineAdapterLines());
}

}  // namespace
}  // namespace diagnostics
