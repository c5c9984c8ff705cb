// Reading preference files as the programs write them, and choosing the POP3 accounts.
#include "clientsetup/mozilla_profiles.h"

#include <gtest/gtest.h>

namespace clientsetup {
namespace {

TEST(MozillaPrefs, ParsedWithQuotesSpacesAndBracketsInTexts) {
  const std::vector<Pref> prefs = ParsePrefs(
      "// comment\nuser_pref(\"a.b\", \"x\\\"y);z\");\nuser_pref( \"n\" ,  5 );\n"
      "user_pref(\"t\", true);user_pref(\"cut\", \"no end");
  ASSERT_EQ(prefs.size(), 3u);
  EXPECT_EQ(prefs[0], (Pref{"a.b", "\"x\\\"y);z\""}));
  EXPECT_EQ(PrefText(prefs[0].second), "x\"y);z");
  EXPECT_EQ(prefs[1], (Pref{"n", "5"}));
  EXPECT_EQ(prefs[2], (Pref{"t", "true"}));
}

TEST(MozillaPrefs, OnlyThePop3AccountsTheSettingsName) {
  SetupSettings s;
  s.GatewayName = "gate";
  s.UserName = "ann";
  s.Pop3Server = "POP.isp.net";
  const std::string prefs_js =
      "user_pref(\"mail.server.server1.type\", \"pop3\");\n"
      "user_pref(\"mail.server.server1.hostname\", \"pop.isp.net\");\n"
      "user_pref(\"mail.server.server1.userName\", \"ann\");\n"
      "user_pref(\"mail.server.server2.type\", \"pop3\");\n"
      "user_pref(\"mail.server.server2.hostname\", \"pop.isp.net\");\n"
      "user_pref(\"mail.server.server2.userName\", \"bob\");\n"
      "user_pref(\"mail.server.server3.type\", \"imap\");\n"
      "user_pref(\"mail.server.server3.hostname\", \"pop.isp.net\");\n"
      "user_pref(\"mail.server.server3.userName\", \"ann\");\n"
      "user_pref(\"mail.server.server14.type\", \"pop3\");\n"
      "user_pref(\"mail.server.server14.hostname\", \"gate\");\n"
      "user_pref(\"mail.server.server14.userName\", \"ann<POP.isp.net>\");\n";
  const std::vector<Pref> expected = {
      {"mail.server.server1.hostname", "\"gate\""},
      {"mail.server.server1.userName", "\"ann<POP.isp.net>\""},
      {"mail.server.server14.hostname", "\"gate\""},
      {"mail.server.server14.userName", "\"ann<POP.isp.net>\""},
  };
  EXPECT_EQ(MailPrefs(s, prefs_js), expected);
  s.Pop3Server.clear();
  EXPECT_TRUE(MailPrefs(s, prefs_js).empty());
}

TEST(MozillaPrefs, UserJsKeepsOtherLinesAndEndsWithOursOnce) {
  const std::vector<Pref> ours = {{"network.proxy.http", "\"gate\""}};
  const std::string once = MergeUserJs(
      "user_pref(\"network.proxy.http\", \"old\");\nuser_pref(\"network.proxy.http_port\", 1)",
      ours);
  EXPECT_EQ(once,
            "user_pref(\"network.proxy.http_port\", 1)\nuser_pref(\"network.proxy.http\", "
            "\"gate\");\n");
  EXPECT_EQ(MergeUserJs(once, ours), once);
}

}  // namespace
}  // namespace clientsetup
