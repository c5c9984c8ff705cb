// The dialogs driven offscreen on a private store, Windows directory and hosts file: a full
// run, a help-only run that keeps the utility open, a refused gateway test, the toggles, and
// screenshots of every dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "clientsetup/browser_config.h"
#include "clientsetup/hosts_and_dns.h"
#include "clientsetup/mail_config.h"
#include "clientsetup/main_dialog.h"
#include "clientsetup/testing/setup_test_environment.h"
#include "platform/icmp_echo.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/run_all_tests.h"

namespace clientsetup {
namespace {

using platform::Hive;
using platform::testing::MessageRecorder;
using testing::SetupTestEnvironment;

template <typename T>
T* Control(QWidget* dialog, int id) {
  T* control = dialog->findChild<T*>(QString("ctl%1").arg(id));
  EXPECT_NE(control, nullptr) << id;
  return control;
}

void Fill(QWidget* dialog, const char* name, const char* address) {
  const std::pair<int, const char*> texts[] = {
      {1008, name}, {1009, address}, {1015, "ann"}, {1016, "pop.isp.net"}, {1018, "ann@isp.net"}};
  for (const auto& [id, text] : texts) Control<QLineEdit>(dialog, id)->setText(text);
}

std::string Value(Hive hive, const std::string& path, const char* name) {
  platform::RegKey key;
  std::string text = "<missing>";
  if (platform::RegOpenKey(hive, path, &key) == 0) (void)platform::RegQueryString(key, name, &text);
  return text;
}

void Set(Hive hive, const std::string& path, const char* name, const std::string& text) {
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(hive, path, &key), 0);
  if (name != nullptr) {
    ASSERT_EQ(platform::RegSetString(key, name, text), 0);
  }
}

bool WorkstationStored() {
  platform::RegKey key;
  return platform::RegOpenKey(Hive::kCurrentUser, WorkstationKeyPath(), &key) == 0;
}

// Help pages go to a recording opener instead of a browser.
void UseRecordingOpener(const SetupTestEnvironment& env) {
  const std::string bin = env.root() + "/bin";
  SetupTestEnvironment::Write(bin + "/xdg-open",
                              "#!/bin/sh\necho \"$1\" >> " + env.root() + "/opened\n");
  std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
  setenv("PATH", bin.c_str(), 1);
}

class DialogsTest : public ::testing::Test {
 protected:
  void SetUp() override { old_path_ = getenv("PATH") ? getenv("PATH") : ""; }
  void TearDown() override { setenv("PATH", old_path_.c_str(), 1); }
  std::string old_path_;
};

TEST_F(DialogsTest, FullRunConfiguresEveryInstalledClient) {
  SetupTestEnvironment env;
  MessageRecorder messages;
  Set(Hive::kCurrentUser, kIeServicesKey, nullptr, "");
  Set(Hive::kCurrentUser, kIeSettingsKey, "ProxyServer", "http=old:8080;HTTPS=sec:443");
  Set(Hive::kCurrentUser, kNavigatorProxyKey, nullptr, "");
  Set(Hive::kCurrentUser, kNavigatorServicesKey, nullptr, "");
  const std::string users = "Software\\Netscape\\Netscape Navigator\\Users";
  Set(Hive::kLocalMachine, users, "CurrentUser", "ann");
  Set(Hive::kLocalMachine, users + "\\ann", "DirRoot", env.root() + "/profile");
  SetupTestEnvironment::Write(env.root() + "/profile/Prefs.js", "user_pref(\"a\", 1);\n");
  SetupTestEnvironment::Write(env.windows_dir() + "/Mosaic.ini", "[Services]\nNNTP_Server=n\n");
  SetupTestEnvironment::Write(env.root() + "/eudora.ini", "POPAccount=x\n");
  Set(Hive::kCurrentUser, kEudoraCommandLineKey, "current", "eudora.exe " + env.root() + "/eudora.ini");
  Set(Hive::kCurrentUser, kAccountManagerKey, "Default Mail Account", "acct");
  Set(Hive::kCurrentUser, std::string(kAccountManagerKey) + "\\Accounts\\acct", nullptr, "");
  Set(Hive::kLocalMachine, kNameServerKeyNt, "NameServer", "10.0.0.5");

  CSetupInfoDlg dialog;
  dialog.show();
  Fill(&dialog, "gate", "127.0.0.1");
  for (int id : {1004, 1028, 1003, 1025, 1020, 1012, 1013, 1026, 1027}) {
    Control<QCheckBox>(&dialog, id)->click();
  }
  Control<QPushButton>(&dialog, 1)->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 1);
  EXPECT_EQ(Value(Hive::kCurrentUser, kIeSettingsKey, "ProxyServer"),
            "http=gate:80;socks=gate:1080;HTTPS=sec:443");
  EXPECT_EQ(Value(Hive::kCurrentUser, kNavigatorProxyKey, "HTTP_Proxy"), "gate");
  const std::string prefs = SetupTestEnvironment::Read(env.root() + "/profile/Prefs.js");
  EXPECT_NE(prefs.find("user_pref(\"network.proxy.http\", \"gate\");\n"), std::string::npos);
  EXPECT_NE(prefs.find("user_pref(\"mail.pop_name\", \"ann<pop.isp.net>\");\n"), std::string::npos);
  EXPECT_EQ(SetupTestEnvironment::Read(env.windows_dir() + "/Mosaic.ini"),
            "[Services]\nNNTP_Server=gate:119\n");
  EXPECT_EQ(SetupTestEnvironment::Read(env.root() + "/eudora.ini"),
            "POPAccount=ann<pop.isp.net>@gate\n");
  EXPECT_EQ(Value(Hive::kCurrentUser, kInternetMailKey, "Default SMTP Server"), "gate");
  EXPECT_EQ(Value(Hive::kCurrentUser, std::string(kAccountManagerKey) + "\\Accounts\\acct",
                  "POP3 Server"), "gate");
  EXPECT_EQ(Value(Hive::kLocalMachine, kNameServerKeyNt, "NameServer"), "127.0.0.1 10.0.0.5");
  EXPECT_EQ(SetupTestEnvironment::Read(env.hosts_path()), "\n127.0.0.1     gate\n");
  EXPECT_EQ(Value(Hive::kCurrentUser, WorkstationKeyPath(), "Gateway Name"), "gate");
  EXPECT_EQ(Value(Hive::kCurrentUser, WorkstationKeyPath(), "User Name"), "ann");
  EXPECT_EQ(messages.texts().back(), "This workstation is now configured for Wayfarer");
}

TEST_F(DialogsTest, ExchangeOnlyRunKeepsUtilityOpenAndStoresNothing) {
  SetupTestEnvironment env;
  MessageRecorder messages;
  UseRecordingOpener(env);
  CSetupMainDlg main_dialog;
  main_dialog.show();
  QTimer::singleShot(0, [&] {
    CSetupInfoDlg* info = main_dialog.setup_info();
    Fill(info, "gate", "127.0.0.1");
    Control<QCheckBox>(info, 1011)->click();
    Control<QPushButton>(info, 1)->click();
  });
  Control<QPushButton>(&main_dialog, 1)->click();  // runs the modal dialog until it ends
  EXPECT_TRUE(main_dialog.isVisible());
  EXPECT_EQ(main_dialog.setup_info()->result(), 0);
  EXPECT_FALSE(WorkstationStored());
  EXPECT_EQ(SetupTestEnvironment::Read(env.hosts_path()), "\n127.0.0.1     gate\n");
  bool exchange_shown = false;
  for (const auto& message : messages.messages()) {
    exchange_shown = exchange_shown || message.caption == "Configuring MSExchange";
  }
  EXPECT_TRUE(exchange_shown);
  for (int i = 0; i < 500 && !std::filesystem::exists(env.root() + "/opened"); ++i) usleep(10000);
  EXPECT_NE(SetupTestEnvironment::Read(env.root() + "/opened").find("/help/exchange.html"),
            std::string::npos);
}

TEST_F(DialogsTest, RefusedGatewayTestChangesNothingOnDisk) {
  SetupTestEnvironment env;
  MessageRecorder messages(platform::kIdNo);
  CSetupInfoDlg dialog;
  dialog.show();
  Fill(&dialog, "gate", "gateway");
  Control<QCheckBox>(&dialog, 1028)->click();
  Control<QPushButton>(&dialog, 1)->click();
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(messages.texts().size(), 1u);
  EXPECT_EQ(messages.texts()[0],
            "The Server could not be located on this network.\nAre you sure to continue ?");
  EXPECT_EQ(Control<QLabel>(&dialog, 1023)->text(), "Bad IP Address");
  EXPECT_FALSE(std::filesystem::exists(env.hosts_path()));
  EXPECT_FALSE(WorkstationStored());
}

TEST_F(DialogsTest, TogglesDefaultsAndTestIndicator) {
  SetupTestEnvironment env;
  MessageRecorder messages;
  Set(Hive::kCurrentUser, WorkstationKeyPath(), "Gateway Name", "stored-gw");
  Set(Hive::kCurrentUser, WorkstationKeyPath(), "Gateway Address", "10.1.1.1");
  CSetupInfoDlg dialog;
  dialog.show();
  EXPECT_EQ(Control<QLineEdit>(&dialog, 1008)->text(), "stored-gw");
  EXPECT_EQ(Control<QLabel>(&dialog, 1023)->text(), "Not Tested");
  QCheckBox* defaults = Control<QCheckBox>(&dialog, 1021);
  defaults->click();
  EXPECT_EQ(dialog.settings().GatewayName, "Wayfarer");
  EXPECT_EQ(dialog.settings().GatewayAddress, "192.168.0.1");
  defaults->click();
  EXPECT_EQ(dialog.settings().GatewayName, "stored-gw");
  EXPECT_EQ(dialog.settings().GatewayAddress, "10.1.1.1");
  EXPECT_FALSE(defaults->isChecked());
  QCheckBox* mosaic = Control<QCheckBox>(&dialog, 1020);
  mosaic->click();
  mosaic->click();
  EXPECT_EQ(dialog.settings().Mosaic, 0);
  EXPECT_EQ(CSetupInfoDlg::HelpContextFor(1009), 132210);
  EXPECT_EQ(CSetupInfoDlg::HelpContextFor(1022), 0);
  platform::IcmpEcho probe;
  if (probe.Open() != 0) GTEST_SKIP() << "neither ping socket nor raw socket may be opened";
  Control<QLineEdit>(&dialog, 1009)->setText("127.0.0.1");
  Control<QPushButton>(&dialog, 1024)->click();
  EXPECT_EQ(Control<QLabel>(&dialog, 1023)->text(), "Test Successful");
  Control<QLineEdit>(&dialog, 1009)->setText("127.0.0.2");
  EXPECT_EQ(Control<QLabel>(&dialog, 1023)->text(), "Not Tested");
}

TEST_F(DialogsTest, Screenshots) {
  SetupTestEnvironment env;
  const std::string dir = WAYFARER_SCREENSHOT_DIR;
  std::filesystem::create_directories(dir);
  CSetupMainDlg main_dialog;
  main_dialog.show();
  EXPECT_TRUE(main_dialog.grab().save(QString::fromStdString(dir + "/outfitter_main.png")));
  CAboutDlg about;
  about.show();
  EXPECT_EQ(about.findChild<QLabel*>("ctl1004")->text(), "Wayfarer Version 2.0 Build 34");
  EXPECT_TRUE(about.grab().save(QString::fromStdString(dir + "/outfitter_about.png")));
  CSetupInfoDlg* info = main_dialog.setup_info();
  info->show();
  Fill(info, "Wayfarer", "192.168.0.1");
  EXPECT_TRUE(info->grab().save(QString::fromStdString(dir + "/outfitter_setup_information.png")));
}

}  // namespace
}  // namespace clientsetup

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return testing_support::RunAllTests();
}
