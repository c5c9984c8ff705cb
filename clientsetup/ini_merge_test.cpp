// The INI section merges of Mosaic and PointCast.
#include "clientsetup/ini_merge.h"

#include <gtest/gtest.h>


namespace clientsetup {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

SetupSettings Gateway() {
  SetupSettings s;
  s.GatewayName = "gw";
  s.UserName = "ann";
  s.ReturnAddress = "ann@example.org";
  return s;
}

TEST(MosaicMerge, ReplacesKnownKeysAndInsertsMissingOnesBeforeNextHeader) {
  const std::string in =
      "[Main]\nName=old\nHome Page=x\n"
      "[Services]\nNNTP_Server=news:119\n"
      "[proxy information]\ngopher_proxy=g\nhttp_proxy=old:8080\n"
      "[Other]\nName=keep\n";
  EXPECT_EQ(MergeMosaicIni(Lines(in), Gateway()),
            "[Main]\nName=ann\nHome Page=x\nE-mail=ann@example.org\n"
            "[Services]\nNNTP_Server=gw:119\nSMTP_Server=gw:25\n"
            "[proxy information]\ngopher_proxy=\nhttp_proxy=gw:80\n"
            "ftp_proxy=\nwais_proxy=\nAll Others=proxy\n"
            "[Other]\nName=keep\n");
}

TEST(MosaicMerge, LastSectionGetsNothingAppendedAtEndOfFile) {
  const std::string in = "[proxy information]\nhttp_proxy=a\n[Services]\nNNTP_Server=n\n";
  EXPECT_EQ(MergeMosaicIni(Lines(in), Gateway()),
            "[proxy information]\nhttp_proxy=gw:80\nftp_proxy=\nwais_proxy=\n"
            "gopher_proxy=\nAll Others=proxy\n[Services]\nNNTP_Server=gw:119\n");
}

TEST(MosaicMerge, EmptyUserNameLeavesMainUnchanged) {
  SetupSettings s = Gateway();
  s.UserName.clear();
  const std::string in = "[Main]\nName=old\nE-mail=old@x\n[Services]\n";
  EXPECT_EQ(MergeMosaicIni(Lines(in), s),
            "[Main]\nName=old\nE-mail=old@x\n[Services]\n");
}

TEST(MosaicMerge, KeyReplacesOnlyItsFirstLineAndLongLinesStayWhole) {
  const std::string long_value(500, 'v');
  const std::string in = "[Services]\nNNTP_Server=a\nNNTP_Server=b\nX=" + long_value + "\n[End]\n";
  EXPECT_EQ(MergeMosaicIni(Lines(in), Gateway()),
            "[Services]\nNNTP_Server=gw:119\nNNTP_Server=b\nX=" + long_value +
                "\nSMTP_Server=gw:25\n[End]\n");
}

TEST(PointCastMerge, EmptySectionReceivesFourLinesOnceBeforeNextHeader) {
  const std::string in = "[Proxy Information]\nUseProxy=1\n[Other]\nA=9\n";
  EXPECT_EQ(MergePointCastIni(Lines(in), Gateway()),
            "[Proxy Information]\nUseProxy=1\nHttp_Proxy=gw\nHttp_ProxyPort=80\n"
            "Socks_Host=gw\nSocks_HostPort=1080\n[Other]\nA=9\n");
}

TEST(PointCastMerge, PrefixRowsFollowTheChangedLine) {
  // A port line met while its host key is pending becomes the host line; the replace-every
  // port rows change each later line; Ftp rows remove lines.
  const std::string in =
      "[Proxy Information]\nFtp_ProxyPort=21\nFtp_ProxyPort=22\nHttp_ProxyPort=8080\n"
      "Http_ProxyPort=8081\nSocks_HostPort=1\n[Next]\n";
  EXPECT_EQ(MergePointCastIni(Lines(in), Gateway()),
            "[Proxy Information]\nHttp_Proxy=gw\nHttp_ProxyPort=80\nSocks_Host=gw\n"
            "Socks_HostPort=1080\n[Next]\n");
}

TEST(PointCastMerge, SmtpServerReplacedOrInsertedBeforeNextHeader) {
  SetupSettings s = Gateway();
  EXPECT_EQ(MergePointCastIni(Lines("[Browser Settings]\nA=1\nSMTP Server=old\nSMTP Server=o2\n"),
                              s),
            "[Browser Settings]\nA=1\nSMTP Server=gw\nSMTP Server=o2\n");
  EXPECT_EQ(MergePointCastIni(Lines("[Browser Settings]\nA=1\n[Next]\nSMTP Server=old\n"), s),
            "[Browser Settings]\nA=1\nSMTP Server=gw\n[Next]\nSMTP Server=old\n");
  EXPECT_EQ(MergePointCastIni(Lines("[Browser Settings]\nA=1\n"), s),
            "[Browser Settings]\nA=1\n");
}

}  // namespace
}  // namespace clientsetup
