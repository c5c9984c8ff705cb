// RewriteRequestLine: absolute URLs to origin form, the host text, CONNECT, malformed lines.
#include "gateway/web/request_line.h"

#include <gtest/gtest.h>

namespace web {
namespace {

struct Rewrite {
  const char* in;
  const char* out;
  const char* host;
};

TEST(RewriteRequestLine, AbsoluteUrlsBecomeOriginForm) {
  const Rewrite cases[] = {
      {"GET http://host/ HTTP/1.0\r\n\r\n", "GET / HTTP/1.0\r\n\r\n", "host"},
      {"GET http://host:8080/a/b HTTP/1.0\r\n\r\n", "GET /a/b HTTP/1.0\r\n\r\n", "host:8080"},
      {"GET http://host HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\n\r\n", "host"},
      {"POST  http://10.0.0.1:22/x?q=1   HTTP/1.0\r\nA: b\r\n\r\nbody",
       "POST /x?q=1 HTTP/1.0\r\nA: b\r\n\r\nbody", "10.0.0.1:22"},
      // A path that starts with the letters HTTP is a path like any other.
      {"GET http://host/HTTPdocs/x HTTP/1.0\r\n\r\n", "GET /HTTPdocs/x HTTP/1.0\r\n\r\n", "host"},
      {"GET http://host/a HTTP/1.0\n\n", "GET /a HTTP/1.0\n\n", "host"},
      // Origin form gives a meaningless host, which then fails the lookup.
      {"GET /a/b HTTP/1.0\r\n\r\n", "GET /b HTTP/1.0\r\n\r\n", "a"},
  };
  for (const Rewrite& c : cases) {
    std::string request = c.in;
    std::string host;
    bool is_connect = true;
    ASSERT_EQ(RewriteRequestLine(&request, &host, &is_connect), 0) << c.in;
    EXPECT_EQ(request, c.out);
    EXPECT_EQ(host, c.host);
    EXPECT_FALSE(is_connect);
  }
}

TEST(RewriteRequestLine, ConnectKeepsOnlyTheMethod) {
  std::string request = "CONNECT secure.example:443 HTTP/1.1\r\nHost: x\r\n\r\n";
  std::string host;
  bool is_connect = false;
  ASSERT_EQ(RewriteRequestLine(&request, &host, &is_connect), 0);
  EXPECT_TRUE(is_connect);
  EXPECT_EQ(host, "secure.example:443");
  EXPECT_EQ(request, "CONNECT");
}

TEST(RewriteRequestLine, MalformedLinesAreRefused) {
  const char* bad[] = {
      "",
      "\r\n\r\n",
      "GET\r\n\r\n",
      "GET http://host/\r\n\r\n",                // no version
      "GET http://host/a\r\nHost: x y\r\n\r\n",  // no version; header blanks don't count
      "GET nohost HTTP/1.0\r\n\r\n",
      "GET http:// HTTP/1.0\r\n\r\n",
      "CONNECT\r\n\r\n",
      "connect host:443 HTTP/1.0\r\n\r\n",  // not CONNECT: the URL has no slash
  };
  for (const char* in : bad) {
    std::string request = in;
    std::string host;
    bool is_connect = false;
    EXPECT_EQ(RewriteRequestLine(&request, &host, &is_connect), -1) << in;
  }
}

}  // namespace
}  // namespace web
