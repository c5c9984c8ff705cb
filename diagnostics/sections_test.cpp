// Single sections: the family's hosts path and name-server key, oversized values and lines,
// damaged preference lines, Internet Explorer's proxy switch and the dial-up adapters.
#include <gtest/gtest.h>

#include <cstdlib>

#include "diagnostics/adapter_sections.h"
#include "diagnostics/client_sections.h"
#include "diagnostics/netscape_sections.h"
#include "diagnostics/report_test_support.h"
#include "diagnostics/system_sections.h"
#include "platform/os_info.h"

namespace diagnostics {
namespace {

using platform::Hive;

class SectionTest : public testing::ReportTest {};

const std::string kE109Lines = "E 109 : Registry Key is Invalid\nError Code = 2\n";
const std::string kE115Lines =
    "E 115 : The data read from the registry was of unexpected              length\n"
    "Error Code = 234\n";

TEST_F(SectionTest, HostsFileOfOnlyCommentsGivesHeadingAndTwoBlankLines) {
  std::string path = WriteFile("hosts", "# one\n#two\n\n\r\n# last without line end");
  EXPECT_EQ(Capture([&](ReportWriter& w) { WriteHostsSection(w, path); }),
            "SECTION : Hosts File\n\n\n");
}

TEST_F(SectionTest, HostsLinesAreCopiedWholeAndEndedByALineEnd) {
  std::string long_line = "10.1.1.1 " + std::string(5000, 'h');
  std::string path = WriteFile("hosts", long_line + "\n  # indented\n10.2.2.2 last");
  EXPECT_EQ(Capture([&](ReportWriter& w) { WriteHostsSection(w, path); }),
            "SECTION : Hosts File\n" + long_line + "\n  # indented\n10.2.2.2 last\n\n\n");
}

TEST_F(SectionTest, Windows95FamilyUsesItsHostsPathAndNameServerKey) {
  ::setenv("WAYFARER_WINVER", "95", 1);
  ::unsetenv("WAYFARER_HOSTS");
  ASSERT_EQ(platform::HostsFilePath(), store_.dir() + "/windows/hosts");
  SetString(Hive::kLocalMachine, "System\\CurrentControlSet\\Services\\VxD\\MSTCP", "NameServer",
            "192.168.0.1,10.0.0.5");
  SetString(Hive::kLocalMachine, "System\\CurrentControlSet\\Services\\Tcpip\\Parameters",
            "NameServer", "wrong");
  bool win95 = false;
  std::string text = Capture([&](ReportWriter& w) {
    win95 = WriteOperatingSystemSection(w);
    WriteDnsSection(w, win95);
  });
  EXPECT_TRUE(win95);
  EXPECT_EQ(text,
            "SECTION : Operating System\nOS is Windows 95\n\n"
            "SECTION : DNS Search Order\nNameServer          = 192.168.0.1,10.0.0.5\n\n\n");
}

TEST_F(SectionTest, ValueLongerThanItsBufferIsReportedNotCut) {
  const std::string ie = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  SetString(Hive::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "Version", "4.0");
  SetString(Hive::kCurrentUser, ie, "ProxyServer", std::string(511, 'p'));
  SetBinary(Hive::kCurrentUser, ie, "ProxyEnable", {0, 0, 0, 0});
  EXPECT_EQ(Capture(WriteExplorerSection),
            "SECTION : Internet Explorer\nVersion             = 4.0\n" + std::string(511, 'p') +
                "\nProxy is Disabled\n\n");
  SetString(Hive::kCurrentUser, ie, "ProxyServer", std::string(512, 'p'));
  EXPECT_EQ(Capture(WriteExplorerSection),
            "SECTION : Internet Explorer\nVersion             = 4.0\n" + kE115Lines);
}

TEST_F(SectionTest, ProxyEnableOtherThanZeroOrOneIsAnErrorWithCodeZero) {
  const std::string ie = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  SetString(Hive::kLocalMachine, "Software\\Microsoft\\Internet Explorer", "Version", "4.0");
  SetString(Hive::kCurrentUser, ie, "ProxyServer", "");
  const std::string start = "SECTION : Internet Explorer\nVersion             = 4.0\n\n";
  SetBinary(Hive::kCurrentUser, ie, "ProxyEnable", {2, 0, 0, 0});
  EXPECT_EQ(Capture(WriteExplorerSection),
            start + "E 112 : Unown Error reading registry\nError Code = 0\n\n\n");
  SetBinary(Hive::kCurrentUser, ie, "ProxyEnable", {});
  EXPECT_EQ(Capture(WriteExplorerSection),
            start + "E 112 : Unown Error reading registry\nError Code = 0\n\n\n");
  SetBinary(Hive::kCurrentUser, ie, "ProxyEnable", {1, 0, 0, 0, 0});
  EXPECT_EQ(Capture(WriteExplorerSection), start + kE115Lines + "\n\n");
}

TEST_F(SectionTest, NavigatorNumberStoredAsTextIsAnErrorNotGarbage) {
  const std::string proxy = "Software\\Netscape\\Netscape Navigator\\Proxy Information";
  SetString(Hive::kCurrentUser, proxy, "Proxy Type", "1");
  std::string text = Capture(WriteNavigatorSection);
  EXPECT_TRUE(
      text.starts_with("SECTION : Netscape Navigator 3.x\n"
                       "E 112 : Unown Error reading registry\nError Code = 87\n"))
      << text;
}

TEST_F(SectionTest, PrefsLinesLongerThanTheOldBufferAreReadWhole) {
  std::string host = std::string(3000, 'g') + ".example";
  SetString(Hive::kLocalMachine, "Software\\Netscape\\Netscape Navigator\\Users", "CurrentUser",
            "ann");
  SetString(Hive::kLocalMachine, "Software\\Netscape\\Netscape Navigator\\Users\\ann", "DirRoot",
            store_.dir());
  WriteFile("Prefs.js", "user_pref(\"network.proxy.http\", \"" + host + "\");\n" +
                            "user_pref(\"network.proxy.type\", 2);\n");
  EXPECT_EQ(Capture(WriteCommunicatorSection),
            "SECTION : Netscape Communicator 4.x\nHttp Proxy          = " + host +
                "\nConnection Type     = Automatic Configuration\n\n\n");
}

TEST_F(SectionTest, PrefsFileMissingAndPrefsPathUnreadable) {
  const std::string users = "Software\\Netscape\\Netscape Navigator\\Users";
  EXPECT_EQ(Capture(WriteCommunicatorSection),
            "SECTION : Netscape Communicator 4.x\n" + kE109Lines + "\n\n");
  SetString(Hive::kLocalMachine, users, "CurrentUser", "ann");
  SetString(Hive::kLocalMachine, users + "\\ann", "DirRoot", store_.dir() + "/none");
  EXPECT_EQ(Capture(WriteCommunicatorSection),
            "SECTION : Netscape Communicator 4.x\n"
            "E 117 : Could not open js file for reading.\n\n\n");
}

TEST_F(SectionTest, DamagedPrefsLines) {
  const std::pair<std::string, std::string> table[] = {
      {"user_pref(\"network.proxy.http\", \"cut\n", "Http Proxy          = cut\n"},
      {"user_pref(\"network.proxy.type\", x1);\n", "Connection Type     = Unknown\n"},
      {"user_pref(\"network.proxy.type\", 7);\r\n", "Connection Type     = Unknown\n"},
      {"user_pref(\"network.proxy.http_port\", 8080);\n", "Http Proxy Port     = 8080\n"},
      {"user_pref(\"mail.identity.useremail\", \"a@b\");\n", ""},
      {"// user_pref(\"network.proxy.ftp\", \"old\");\n", "Ftp Proxy           = old\n"},
  };
  for (const auto& [line, expected] : table) {
    EXPECT_EQ(Capture([&](ReportWriter& w) { WritePrefsLine(w, line); }), expected) << line;
  }
}

TEST_F(SectionTest, EudoraCopiesTheFirstThreeAccountLinesWhole) {
  std::string long_account = "POPAccount=" + std::string(400, 'a') + "@gate";
  std::string ini = WriteFile("e.ini", "popaccount=lower\nSMTPServer=gate\n" + long_account +
                                           "\nReturnAddressX=r\nPOPAccount=fourth\n");
  SetString(Hive::kCurrentUser, "Software\\Qualcomm\\Eudora\\CommandLine", "current",
            "eudora.exe " + ini);
  EXPECT_EQ(Capture(WriteEudoraSection), "SECTION : Eudora Mail Client\nSMTPServer=gate\n" +
                                             long_account + "\nReturnAddressX=r\n\n");
  SetString(Hive::kCurrentUser, "Software\\Qualcomm\\Eudora\\CommandLine", "current",
            "eudora.exe " + store_.dir() + "/missing.ini");
  EXPECT_EQ(Capture(WriteEudoraSection),
            "SECTION : Eudora Mail Client\nE 113 : Could not open INI file for reading.\n");
  SetString(Hive::kCurrentUser, "Software\\Qualcomm\\Eudora\\CommandLine", "current",
            std::string(200, 'c'));
  EXPECT_EQ(Capture(WriteEudoraSection), "SECTION : Eudora Mail Client\n" + kE115Lines + "\n");
}

// A Windows 95 network enumeration with both dial-up adapters; the VPN adapter has no
// TCP/IP binding.
class DialUpTest : public SectionTest {
 protected:
  void SetUp() override {
    SectionTest::SetUp();
    const std::string net = "Enum\\Root\\Net\\";
    SetString(Hive::kLocalMachine, net + "0000", "DeviceDesc", "Dial-Up Adapter");
    SetString(Hive::kLocalMachine, net + "0000\\Bindings", "MSTCP\\0000", "");
    SetString(Hive::kLocalMachine, net + "0000\\Bindings", "VREDIR\\0000", "");
    SetString(Hive::kLocalMachine, net + "0001", "DeviceDesc", "Dial-Up Adapter #2 (VPN Support)");
    SetString(Hive::kLocalMachine, net + "0001\\Bindings", "NETBEUI\\0001", "");
    SetString(Hive::kLocalMachine, net + "0002", "DeviceDesc", "dial-up adapter");
    SetString(Hive::kLocalMachine, "Enum\\Network\\MSTCP\\0000", "Driver", "NetTrans\\0001");
    const std::string cls = "System\\CurrentControlSet\\Services\\Class\\NetTrans\\0001";
    SetString(Hive::kLocalMachine, cls, "IPAddress", "192.168.1.2");
    SetString(Hive::kLocalMachine, cls, "IPMask", "255.255.255.0");
  }
};

TEST_F(DialUpTest, AdaptersAreListedAndTheirAddressLeftOutOfTheNetworkList) {
  platform::SnmpAgent agent = SampleAgent();
  EXPECT_EQ(Capture([&](ReportWriter& w) { WriteAdapterSections(w, agent); }),
            "SECTION : Dial-Up Adapters\n"
            "Dial-Up Adapter\nIPAddress           = 192.168.1.2\n"
            "IPMask              = 255.255.255.0\n\n"
            "Dial-Up Adapter #2 (VPN Support)\n" +
                kE109Lines +
                "\n"
                "SECTION : Network Adapters\n"
                "IPAddress           IPMask              Adapter is compatible with :\n"
                "10.0.0.5            255.0.0.0           eth0\n\n");
}

TEST_F(DialUpTest, OnlyLoopbackAndDialUpAddressesListNoRows) {
  platform::SnmpAgent agent([](std::vector<platform::InterfaceEntry>* out) {
    *out = {{"lo", 1, true, 0x7F000001, 0xFF000000}, {"ppp0", 5, true, 0xC0A80102, 0xFFFFFFFF}};
    return 0;
  });
  std::string text = Capture([&](ReportWriter& w) { WriteAdapterSections(w, agent); });
  EXPECT_TRUE(
      text.ends_with("SECTION : Network Adapters\n"
                     "IPAddress           IPMask              Adapter is compatible "
                     "with :\n\n"))
      << text;
}

}  // namespace
}  // namespace diagnostics
