// SplitHostText's bounds and defaults, and ResolveTarget's dotted, named and unknown hosts.
#include "gateway/web/resolve_target.h"

#include <gtest/gtest.h>

#include <string>

namespace web {
namespace {

TEST(SplitHostText, PortsAndDefaults) {
  struct Case {
    const char* text;
    const char* host;
    int port;
  } cases[] = {
      {"host", "host", 80},        {"host:8080", "host", 8080}, {"host:0", "host", 80},
      {"host:", "host", 80},       {"host:22", "host", 22},     {"host:443x", "host", 443},
      {"host:abc", "host", 80},    {"h:65535", "h", 65535},     {"h:000443", "h", 443},
      {"1.2.3.4:1", "1.2.3.4", 1},
  };
  for (const Case& c : cases) {
    std::string host;
    int port = 0;
    ASSERT_EQ(SplitHostText(c.text, &host, &port), 0) << c.text;
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port) << c.text;
  }
}

TEST(SplitHostText, OverlongTextsAndPortsAreRefused) {
  std::string host;
  int port = 0;
  EXPECT_EQ(SplitHostText(std::string(99, 'a'), &host, &port), 0);
  EXPECT_EQ(SplitHostText(std::string(100, 'a'), &host, &port), -1);
  EXPECT_EQ(SplitHostText("h:123456", &host, &port), -1);  // six digits, but above 65535
  EXPECT_EQ(SplitHostText("h:1234567", &host, &port), -1);
  EXPECT_EQ(SplitHostText("h:65536", &host, &port), -1);
}

TEST(SplitHostText, BracketedIpv6LiteralsKeepTheirColons) {
  struct Case {
    const char* text;
    const char* host;
    int port;
  } cases[] = {
      {"[::1]", "::1", 80},
      {"[::1]:8080", "::1", 8080},
      {"[2001:db8::1]:443", "2001:db8::1", 443},
      {"[::ffff:10.0.0.1]:81", "::ffff:10.0.0.1", 81},
      {"[fe80::1]:", "fe80::1", 80},
  };
  for (const Case& c : cases) {
    std::string host;
    int port = 0;
    ASSERT_EQ(SplitHostText(c.text, &host, &port), 0) << c.text;
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port) << c.text;
  }
  std::string host;
  int port = 0;
  for (const char* bad :
       {"[::1", "[::1]8080", "[not-an-address]:80", "[]:80", "[1.2.3.4]:80", "[::1]:65536"}) {
    EXPECT_EQ(SplitHostText(bad, &host, &port), -1) << bad;
  }
}

TEST(ResolveTarget, DottedNamedAndUnknownHosts) {
  engine::DialContext dial(/*without_thread=*/true);
  std::string address = "stale";
  EXPECT_EQ(ResolveTarget("127.0.0.9:81", &address, dial), 81);
  EXPECT_EQ(address, "127.0.0.9");
  EXPECT_EQ(ResolveTarget("localhost", &address, dial), 80);
  EXPECT_EQ(address, "127.0.0.1");
  EXPECT_EQ(ResolveTarget("no-such-host.invalid:8080", &address, dial), kLookupFailed);
  EXPECT_EQ(address, "");
  EXPECT_EQ(ResolveTarget(":8080", &address, dial), kLookupFailed);
  EXPECT_EQ(ResolveTarget("localhost:9999999", &address, dial), kBadHostText);
  EXPECT_EQ(ResolveTarget("[2001:db8::7]:8080", &address, dial), 8080);
  EXPECT_EQ(address, "2001:db8::7");
}

}  // namespace
}  // namespace web
