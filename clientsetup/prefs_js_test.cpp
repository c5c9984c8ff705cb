// Prefs.js lines, the rewrite and its file procedure under a store-given DirRoot.
#include "clientsetup/prefs_js.h"

#include <gtest/gtest.h>

#include "clientsetup/scratch_file.h"
#include "clientsetup/testing/setup_test_environment.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"

namespace clientsetup {
namespace {

using testing::SetupTestEnvironment;

SetupSettings Settings() {
  SetupSettings s;
  s.GatewayName = "gate";
  s.UserName = "ann";
  s.Pop3Server = "pop.isp.net";
  s.ReturnAddress = "ann@isp.net";
  return s;
}

void RegisterProfile(const std::string& dir) {
  platform::RegKey key;
  ASSERT_EQ(platform::RegCreateKey(platform::Hive::kLocalMachine,
                                   "Software\\Netscape\\Netscape Navigator\\Users", &key), 0);
  ASSERT_EQ(platform::RegSetString(key, "CurrentUser", "ann"), 0);
  ASSERT_EQ(platform::RegCreateKey(key, "ann", &key), 0);
  ASSERT_EQ(platform::RegSetString(key, "DirRoot", dir), 0);
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

TEST(PrefsLines, NumberAndTextFormats) {
  EXPECT_EQ(NumberPrefLine("user_pref(\"network.proxy.http_port\", ", 80),
            "user_pref(\"network.proxy.http_port\", 80);\n");
  EXPECT_EQ(TextPrefLine("user_pref(\"network.proxy.http\", \"", "gateway"),
            "user_pref(\"network.proxy.http\", \"gateway\");\n");
}

TEST(PrefsRewriteLines, DropsOldPreferencesKeepsOthersAndAppends) {
  const std::string long_line = "user_pref(\"browser.startup.homepage\", \"" +
                                std::string(3000, 'h') + "\");\n";
  const std::vector<std::string> lines = {
      "// comment\n", "user_pref(\"network.proxy.http_port\", 8080);\n", long_line,
      "user_pref(\"network.proxy.ftp_port\", 2121);"};
  const std::string out = RewritePrefsLines(lines, CommunicatorProxyPrefs(Settings()));
  EXPECT_EQ(out.substr(0, 11 + long_line.size()), "// comment\n" + long_line);
  EXPECT_EQ(Count(out, "\n"), 11u);
  EXPECT_EQ(Count(out, "8080"), 0u);
  EXPECT_NE(out.find("user_pref(\"network.proxy.ftp\", \"\");\n"), std::string::npos);
}

TEST(PrefsFile, BothStepsTwiceLeaveFourteenLinesOnce) {
  SetupTestEnvironment env;
  platform::testing::MessageRecorder messages;
  const std::string dir = env.root() + "/profile";
  RegisterProfile(dir);
  const std::string kept = "user_pref(\"x\", \"" + std::string(2000, 'k') + "\");\n";
  SetupTestEnvironment::Write(dir + "/Prefs.js", "// header\n" + kept);
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(RewritePrefsFile(CommunicatorProxyPrefs(Settings())), 0);
    EXPECT_EQ(RewritePrefsFile(CommunicatorMailPrefs(Settings())), 0);
  }
  const std::string text = SetupTestEnvironment::Read(dir + "/Prefs.js");
  EXPECT_EQ(Count(text, "\n"), 2u + 14u);
  EXPECT_EQ(text.substr(0, 10 + kept.size()), "// header\n" + kept);
  EXPECT_EQ(Count(text, "user_pref(\"mail.pop_name\", \"ann<pop.isp.net>\");\n"), 1u);
  EXPECT_EQ(Count(text, "user_pref(\"network.hosts.socks_serverport\", 1080);\n"), 1u);
  EXPECT_FALSE(std::filesystem::exists(env.temp_file()));
  EXPECT_TRUE(messages.messages().empty());
}

TEST(PrefsFile, MissingProfileOrFileShowsTemporaryFileMessage) {
  SetupTestEnvironment env;
  platform::testing::MessageRecorder messages;
  EXPECT_EQ(RewritePrefsFile(CommunicatorProxyPrefs(Settings())), -1);
  RegisterProfile(env.root() + "/nothing-here");
  EXPECT_EQ(RewritePrefsFile(CommunicatorProxyPrefs(Settings())), -1);
  ASSERT_EQ(messages.messages().size(), 2u);
  EXPECT_EQ(messages.messages()[0].caption, "Wayfarer");
  EXPECT_EQ(messages.messages()[0].text, "A Temporary file could not be opened.");
}

TEST(NetscapePrefsPath, ReportsTheFailingReadAndRefusesOverlongUser) {
  SetupTestEnvironment env;
  std::string path;
  EXPECT_EQ(NetscapePrefsPath(&path), platform::kErrorFileNotFound);
  RegisterProfile("C:\\Netscape\\Users\\ann");
  ASSERT_EQ(NetscapePrefsPath(&path), 0);
  EXPECT_EQ(path, "C:/Netscape/Users/ann/Prefs.js");
  platform::RegKey key;
  ASSERT_EQ(platform::RegOpenKey(platform::Hive::kLocalMachine,
                                 "Software\\Netscape\\Netscape Navigator\\Users", &key), 0);
  ASSERT_EQ(platform::RegSetString(key, "CurrentUser", std::string(600, 'u')), 0);
  EXPECT_EQ(NetscapePrefsPath(&path), platform::kErrorMoreData);
}

}  // namespace
}  // namespace clientsetup
