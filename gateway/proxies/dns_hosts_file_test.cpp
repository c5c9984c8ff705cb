// The hosts file as the DNS service reads it: official names, aliases, both address families,
// comments and a file that changes under the service.
#include "gateway/proxies/dns_hosts_file.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "platform/testing/temp_store.h"

namespace proxies {
namespace {

std::string Text(const in_addr& a) { return inet_ntoa(a); }

std::string Text(const in6_addr& a) {
  char buf[INET6_ADDRSTRLEN] = {};
  inet_ntop(AF_INET6, &a, buf, sizeof buf);
  return buf;
}

TEST(DnsHostsFile, NamesAliasesFamiliesAndComments) {
  const HostsFile::Names names = HostsFile::Parse(
      "# a comment line\n"
      "127.0.0.1\tlocalhost\n"
      "192.0.2.20 Official.Test alias.test   # trailing comment\n"
      "2001:db8::20 official.test\n"
      "192.0.2.21 alias.test\n"
      "not-an-address some.test\n"
      "192.0.2.30\n"
      "2001:db8::40 v6only.test\n");
  auto alias = names.find("alias.test");
  ASSERT_NE(alias, names.end());
  EXPECT_EQ(alias->second.official, "Official.Test") << "the first name of the first line";
  ASSERT_EQ(alias->second.v4.size(), 2u);
  EXPECT_EQ(Text(alias->second.v4[0]), "192.0.2.20");
  EXPECT_EQ(Text(alias->second.v4[1]), "192.0.2.21");
  EXPECT_TRUE(alias->second.v6.empty());
  auto official = names.find("official.test");
  ASSERT_NE(official, names.end());
  ASSERT_EQ(official->second.v6.size(), 1u);
  EXPECT_EQ(Text(official->second.v6[0]), "2001:db8::20");
  auto v6only = names.find("v6only.test");
  ASSERT_NE(v6only, names.end());
  EXPECT_TRUE(v6only->second.v4.empty());
  EXPECT_EQ(names.count("some.test"), 0u);
  EXPECT_EQ(names.count("trailing"), 0u);
}

TEST(DnsHostsFile, FindReadsTheFileAgainWhenItChanges) {
  platform::testing::TempStore scratch;
  const std::string path = scratch.dir() + "/hosts";
  { std::ofstream(path) << "192.0.2.1 first.test\n"; }
  HostsFile file(path);
  HostsEntry entry;
  ASSERT_TRUE(file.Find("FIRST.test.", &entry));
  EXPECT_EQ(Text(entry.v4.at(0)), "192.0.2.1");
  EXPECT_FALSE(file.Find("second.test", &entry));
  { std::ofstream(path) << "192.0.2.1 first.test\n192.0.2.2 second.test\n"; }
  ASSERT_TRUE(file.Find("second.test", &entry));
  EXPECT_EQ(Text(entry.v4.at(0)), "192.0.2.2");
  std::remove(path.c_str());
  EXPECT_FALSE(file.Find("first.test", &entry)) << "a missing file lists nothing";
}

}  // namespace
}  // namespace proxies
