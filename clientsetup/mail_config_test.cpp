// Mail configurators: Eudora's INI lines, the account keys, the help-only clients.
#include "clientsetup/mail_config.h"

#include <gtest/gtest.h>

#include "clientsetup/testing/setup_test_environment.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"

namespace clientsetup {
namespace {

using testing::SetupTestEnvironment;

SetupSettings Mail() {
  SetupSettings s;
  s.GatewayName = "gate";
  s.GatewayAddress = "192.168.0.1";
  s.UserName = "ann";
  s.Pop3Server = "pop.isp.net";
  s.ReturnAddress = "ann@isp.net";
  return s;
}

std::string ReadString(const char* path, const char* name) {
  platform::RegKey key;
  std::string text = "<missing>";
  if (platform::RegOpenKey(platform::Hive::kCurrentUser, path, &key) == 0) {
    (void)platform::RegQueryString(key, name, &text);
  }
  return text;
}

TEST(EudoraLines, ReplacesOnlyItsThreeLines) {
  const std::vector<std::string> lines = {"[Settings]\n", "POPAccount=old@x\n",
                                          "ReturnAddress=a@b", "Other=1\n"};
  EXPECT_EQ(RewriteEudoraLines(lines, Mail()),
            "[Settings]\nPOPAccount=ann<pop.isp.net>@gate\nReturnAddress=ann@isp.net\nOther=1\n");
  // No SMTPServer line: none is added.
  EXPECT_EQ(RewriteEudoraLines({"Other=1\n"}, Mail()), "Other=1\n");
}

TEST(Eudora, IniFoundFromLastPieceOfCommandLine) {
  SetupTestEnvironment env;
  const std::string ini = env.root() + "/eudora/eudora.ini";
  SetupTestEnvironment::Write(ini, "SMTPServer=old\n");
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kCurrentUser, kEudoraCommandLineKey, &key), 0);
  ASSERT_EQ(platform::RegSetString(key, "current", "/opt/eudora/eudora.exe  " + ini + " "), 0);
  std::string path;
  ASSERT_EQ(EudoraIniPath(&path), 0);
  EXPECT_EQ(path, ini);
  ConfigureEudora(Mail());
  EXPECT_EQ(SetupTestEnvironment::Read(ini), "SMTPServer=gate\n");
  ASSERT_EQ(platform::RegSetString(key, "current", "   "), 0);
  EXPECT_EQ(EudoraIniPath(&path), platform::kErrorFileNotFound);
}

TEST(InternetMail, CreatesMailKeyAndGatewaySubkeys) {
  SetupTestEnvironment env;
  ConfigureInternetMail(Mail());
  EXPECT_EQ(ReadString(kInternetMailKey, "Default POP3 Server"), "gate");
  EXPECT_EQ(ReadString(kInternetMailKey, "Reply To"), "ann@isp.net");
  EXPECT_EQ(ReadString("Software\\Microsoft\\Internet Mail and News\\Mail\\POP3\\gate", "Account"),
            "ann<pop.isp.net>");
  platform::RegKey smtp;
  ASSERT_EQ(platform::RegOpenKey(platform::Hive::kCurrentUser,
                                 "Software\\Microsoft\\Internet Mail and News\\Mail\\SMTP\\gate",
                                 &smtp), 0);
  uint32_t port = 0;
  EXPECT_EQ(platform::RegQueryDword(smtp, "Port", &port), 0);
  EXPECT_EQ(port, 25u);
}

TEST(Netscape3Mail, NeedsItsMailKey) {
  SetupTestEnvironment env;
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kCurrentUser, kNetscapeUserKey, &key), 0);
  ConfigureNetscape3Mail(Mail());
  EXPECT_EQ(ReadString(kNetscapeUserKey, "Reply_To"), "<missing>");
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kCurrentUser, kNetscapeMailKey, &key), 0);
  ConfigureNetscape3Mail(Mail());
  EXPECT_EQ(ReadString(kNetscapeMailKey, "POP Name"), "ann<pop.isp.net>");
  EXPECT_EQ(ReadString(kNetscapeUserKey, "Reply_To"), "ann@isp.net");
}

TEST(OutlookExpress, WritesDefaultAccountOnly) {
  SetupTestEnvironment env;
  const std::string account = std::string(kAccountManagerKey) + "\\Accounts\\00000001";
  platform::RegKey manager;
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kCurrentUser, account, &key), 0);
  ConfigureOutlookExpress(Mail());  // no "Default Mail Account": unchanged
  EXPECT_EQ(ReadString(account.c_str(), "POP3 Server"), "<missing>");
  ASSERT_EQ(platform::RegOpenKey(platform::Hive::kCurrentUser, kAccountManagerKey, &manager), 0);
  ASSERT_EQ(platform::RegSetString(manager, "Default Mail Account", "00000001"), 0);
  ConfigureOutlookExpress(Mail());
  EXPECT_EQ(ReadString(account.c_str(), "POP3 User Name"), "ann<pop.isp.net>");
  EXPECT_EQ(ReadString(account.c_str(), "SMTP Reply To Email Address"), "ann@isp.net");
  uint32_t type = 1;
  EXPECT_EQ(platform::RegQueryDword(key, "Connection Type", &type), 0);
  EXPECT_EQ(type, 0u);
}

TEST(HelpOnlyClients, ShowMessageThenTopic) {
  platform::testing::MessageRecorder messages;
  std::vector<int> topics;
  ShowExchangeHelp([&](int context) { topics.push_back(context); });
  ShowPegasusHelp([&](int context) { topics.push_back(context); });
  ASSERT_EQ(messages.messages().size(), 2u);
  EXPECT_EQ(messages.messages()[0].caption, "Configuring MSExchange");
  EXPECT_EQ(messages.messages()[1].text,
            "Wayfarer Client Setup Utility cannot setup Pegasus Mail automatically.\n\n"
            "Help on configuring Pegasus Mail will be displayed to assist you.");
  EXPECT_EQ(messages.messages()[1].icon, platform::MessageIcon::kNone);
  EXPECT_EQ(topics, (std::vector<int>{200001, 200002}));
}

}  // namespace
}  // namespace clientsetup
