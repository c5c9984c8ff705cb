// Browser configurators: the ProxyServer rebuild and the registry values written or skipped.
#include "clientsetup/browser_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "clientsetup/testing/setup_test_environment.h"
#include "platform/registry.h"
#include "platform/testing/message_recorder.h"

namespace clientsetup {
namespace {

using testing::SetupTestEnvironment;

SetupSettings Gateway() {
  SetupSettings s;
  s.GatewayName = "gw";
  return s;
}

platform::RegKey MakeKey(const char* path) {
  platform::RegKey key;
  EXPECT_EQ(platform::RegCreateKey(platform::Hive::kCurrentUser, path, &key), 0);
  return key;
}

TEST(BuildProxyServer, CarriesOnlyTheHttpsEntry) {
  struct Case {
    const char* old_value;
    const char* expected;
  };
  const Case cases[] = {
      {"http=old:8080", "http=gw:80;socks=gw:1080;"},
      {"", "http=gw:80;socks=gw:1080;"},
      {"http=a:1;HTTPS=sec:443;ftp=f:21", "http=gw:80;socks=gw:1080;HTTPS=sec:443"},
      {"https=lower:443", "http=gw:80;socks=gw:1080;"},
      {"ftp=f:21;HTTPS", "http=gw:80;socks=gw:1080;"},  // no value after the token
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildProxyServer(c.old_value, "gw"), c.expected) << c.old_value;
  }
}

TEST(BuildProxyServer, LongEntriesAreKeptWhole) {
  const std::string host(120, 's');
  const std::string gateway(60, 'g');
  const std::string value = BuildProxyServer("HTTPS=" + host + ":443", gateway);
  EXPECT_EQ(value, "http=" + gateway + ":80;socks=" + gateway + ":1080;HTTPS=" + host + ":443");
}

TEST(InternetExplorer, Ie3WritesNewsServerAndProxyList) {
  SetupTestEnvironment env;
  platform::RegKey services = MakeKey(kIeServicesKey);
  platform::RegKey settings = MakeKey(kIeSettingsKey);
  ASSERT_EQ(platform::RegSetString(settings, "ProxyServer", "http=old:8080"), 0);
  ConfigureIE3(Gateway());
  std::string text;
  EXPECT_EQ(platform::RegQueryString(services, "NNTP_Server", &text), 0);
  EXPECT_EQ(text, "gw");
  EXPECT_EQ(platform::RegQueryString(settings, "ProxyServer", &text), 0);
  EXPECT_EQ(text, "http=gw:80;socks=gw:1080;");
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  EXPECT_EQ(platform::RegQueryBytes(settings, "ProxyEnable", &type, &bytes), 0);
  EXPECT_EQ(type, platform::kRegBinary);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 0, 0, 0}));
}

TEST(InternetExplorer, MissingKeyOrValueWritesNothing) {
  SetupTestEnvironment env;
  platform::RegKey settings = MakeKey(kIeSettingsKey);
  ConfigureIE3(Gateway());  // no Services key: the proxy step is not run either
  ConfigureIEProxy(Gateway());  // no ProxyServer value yet
  uint32_t subkeys = 0;
  uint32_t values = 0;
  ASSERT_EQ(platform::RegQueryInfoKey(settings, &subkeys, &values), 0);
  EXPECT_EQ(values, 0u);
}

TEST(Navigator3, WritesBothKeysAndTriesServicesAlone) {
  SetupTestEnvironment env;
  platform::RegKey services = MakeKey(kNavigatorServicesKey);
  ConfigureNavigator3(Gateway());
  std::string text;
  uint32_t number = 0;
  EXPECT_EQ(platform::RegQueryString(services, "SMTP_Server", &text), 0);
  EXPECT_EQ(text, "gw");
  EXPECT_EQ(platform::RegQueryDword(services, "SOCKS_ServerPort", &number), 0);
  EXPECT_EQ(number, 1080u);
  platform::RegKey proxy = MakeKey(kNavigatorProxyKey);
  ConfigureNavigator3(Gateway());
  EXPECT_EQ(platform::RegQueryDword(proxy, "Http_ProxyPort", &number), 0);
  EXPECT_EQ(number, 80u);
  EXPECT_EQ(platform::RegQueryString(proxy, "FTP_Proxy", &text), 0);
  EXPECT_EQ(text, "");
  EXPECT_EQ(platform::RegQueryString(proxy, "HTTP_Proxy", &text), 0);
  EXPECT_EQ(text, "gw");
}

TEST(Mosaic, RewritesIniInWindowsDirectoryAndNeverUsesStaleTempFile) {
  SetupTestEnvironment env;
  // A scratch file left by an earlier step must not become Mosaic.ini.
  SetupTestEnvironment::Write(env.temp_file(), "[Services]\nNNTP_Server=x\n");
  ConfigureMosaic(Gateway());
  EXPECT_FALSE(std::filesystem::exists(env.windows_dir() + "/Mosaic.ini"));
  SetupTestEnvironment::Write(env.windows_dir() + "/Mosaic.ini", "[Services]\nNNTP_Server=n\n");
  ConfigureMosaic(Gateway());
  EXPECT_EQ(SetupTestEnvironment::Read(env.windows_dir() + "/Mosaic.ini"),
            "[Services]\nNNTP_Server=gw:119\n");
  EXPECT_FALSE(std::filesystem::exists(env.temp_file()));
}

TEST(PointCast, DirectoryChecksAndRewriteKeepTempFile) {
  SetupTestEnvironment env;
  platform::testing::MessageRecorder messages;
  const std::string dir = env.root() + "/pcn";
  std::string ini;
  EXPECT_FALSE(AcceptPointCastDirectory(dir, &ini));
  SetupTestEnvironment::Write(dir + "/pcn.ini", "[Proxy Information]\n[X]\n");
  chmod((dir + "/pcn.ini").c_str(), 0444);
  EXPECT_FALSE(AcceptPointCastDirectory(dir, &ini));
  chmod((dir + "/pcn.ini").c_str(), 0644);
  ASSERT_TRUE(AcceptPointCastDirectory(dir, &ini));
  ASSERT_EQ(messages.messages().size(), 2u);
  EXPECT_EQ(messages.messages()[0].caption, "Wrong path specified");
  EXPECT_EQ(messages.messages()[1].caption, "Cannot write to file");
  ConfigurePointCast(Gateway(), ini);
  EXPECT_EQ(SetupTestEnvironment::Read(ini),
            "[Proxy Information]\nHttp_Proxy=gw\nHttp_ProxyPort=80\nSocks_Host=gw\n"
            "Socks_HostPort=1080\n[X]\n");
  EXPECT_TRUE(std::filesystem::exists(env.temp_file()));
}

}  // namespace
}  // namespace clientsetup
