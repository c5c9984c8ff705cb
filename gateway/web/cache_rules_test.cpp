// The cache's decisions without files: request facts, response classes, names, TTLs.
#include "gateway/web/cache_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "gateway/web/cache_names.h"

namespace web {
namespace {

TEST(CacheRequestFacts, RevalidationModeTable) {
  struct Case {
    const char* request;
    RevalidationMode mode;
  } cases[] = {
      {"GET / HTTP/1.0\r\n\r\n", RevalidationMode::kPlain},
      {"GET / HTTP/1.0\r\nPragma: No-Cache\r\n\r\n", RevalidationMode::kReload},
      {"GET / HTTP/1.0\r\nIf-Modified-Since: x\r\n\r\n", RevalidationMode::kClientConditional},
      {"GET / HTTP/1.0\r\nIf-Modified-Since: x\r\nPragma: no-cache\r\n\r\n",
       RevalidationMode::kClientConditional},
      {"GET / HTTP/1.0\r\nPragma: no-cache\r\nIf-Modified-Since: x\r\n\r\n",
       RevalidationMode::kReload},
      {"GET /no-cache/a HTTP/1.0\r\n\r\n", RevalidationMode::kReload},  // even in the URL
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadRequestFacts(c.request).mode, c.mode) << c.request;
  }
}

TEST(CacheRequestFacts, MethodUrlBrowserAndAuthorization) {
  RequestFacts facts = ReadRequestFacts(
      "get /A/B.gif HTTP/1.0\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 4.01)\r\n"
      "Proxy-Authorization: x\r\n\r\n");
  EXPECT_TRUE(facts.is_get);
  EXPECT_EQ(facts.url, "/A/B.gif");
  EXPECT_TRUE(facts.msie);
  EXPECT_TRUE(facts.authorization);
  EXPECT_FALSE(ReadRequestFacts("POST /a HTTP/1.0\r\n\r\n").is_get);
  EXPECT_FALSE(ReadRequestFacts("HEAD /a HTTP/1.0\r\n\r\n").is_get);
  // "msie" counts only on the User-Agent line.
  EXPECT_FALSE(ReadRequestFacts("GET /msie HTTP/1.0\r\nUser-Agent: curl\r\n\r\n").msie);
}

TEST(ClassifyResponse, StatusAndForbiddingWords) {
  struct Case {
    const char* head;
    int result;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nContent-Type: text/html", 200},
      {"HTTP/1.1 304 Not Modified", 304},
      {"HTTP/1.0 404 Not Found", 404},
      {"HTTP/1.0 302 Found\r\nLocation: /x", -1},
      {"HTTP/1.0 301 Moved", -1},
      {"HTTP/1.0 500 Oops", -1},
      {"garbage without a status line", -1},
      {"HTTP/1.0 200 OK\r\nSet-Cookie: a=b", -1},
      {"HTTP/1.0 200 OK\r\nVary: Accept", -1},
      {"HTTP/1.0 200 OK\r\nWWW-Authenticate: Basic", -1},
      {"HTTP/1.0 200 OK\r\nCache-Control: private, no-cache", -1},
      {"HTTP/1.0 200 OK\r\nX-Note: the word vary anywhere", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyResponse(c.head, std::strlen(c.head)), c.result) << c.head;
  }
}

TEST(ClassifyResponse, ApplicationSubtypesExactUpToCarriageReturn) {
  auto classify = [](const std::string& type) {
    std::string head = "HTTP/1.0 200 OK\r\nContent-Type:" + type + "\r\nX: y";
    return ClassifyResponse(head.data(), head.size());
  };
  EXPECT_EQ(classify(" application/zip"), -1);
  EXPECT_EQ(classify("   Application/Octet-Stream"), -1);
  EXPECT_EQ(classify(" application/x-tar"), -1);
  EXPECT_EQ(classify(" application/zip; name=a"), 200);
  EXPECT_EQ(classify(" application/json"), 200);
  EXPECT_EQ(classify(" text/zip"), 200);
}

TEST(ResponseHead, EndAndDeclaredLength) {
  const char crlf[] = "HTTP/1.0 200 OK\r\nContent-Length: 12\r\n\r\nbody";
  size_t end = FindHeaderEnd(crlf, sizeof crlf - 1);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(HeaderEndLength(crlf, end), 4u);
  EXPECT_EQ(DeclaredContentLength(Lowered(crlf, end)), 12);
  const char lf[] = "HTTP/1.0 200 OK\nX: y\n\nbody";
  end = FindHeaderEnd(lf, sizeof lf - 1);
  EXPECT_EQ(std::string(lf + end + HeaderEndLength(lf, end)), "body");
  EXPECT_EQ(FindHeaderEnd("HTTP/1.0 200 OK\r\nX: y\r\n", 23), std::string::npos);
  EXPECT_EQ(DeclaredContentLength("http/1.0 200 ok\r\ncontent-length: x"), -1);
  EXPECT_EQ(DeclaredContentLength("http/1.0 200 ok\r\nx-content-length: 5"), -1);
}

TEST(CacheNames, HostFormsPortsAndCase) {
  EXPECT_EQ(CacheName("alpha", "/"), "alpha\\~");
  EXPECT_EQ(CacheName("Alpha:8080", "/A/b.GIF"), "alpha~8080\\~A~b.GIF");
  EXPECT_EQ(CacheName("ALPHA", "/x"), CacheName("alpha", "/x"));  // hosts ignore case
  EXPECT_NE(CacheName("alpha", "/x"), CacheName("alpha:80", "/x"));
  EXPECT_TRUE(DynamicName(CacheName("a", "/x?y=1")));
  EXPECT_TRUE(DynamicName(CacheName("a", "/cgi-bin/x")));
  EXPECT_TRUE(DynamicName(CacheName("a", "/CGI-BIN/x")));
  EXPECT_TRUE(DynamicName(CacheName("a", "/page.aspx")));
  EXPECT_TRUE(DynamicName(CacheName("a", "/Page.ASP")));
  EXPECT_FALSE(DynamicName(CacheName("a", "/page.html")));
}

TEST(CacheNames, EveryUrlHasANameOfItsOwn) {
  // Pairs that used to share one name: case, and "/", ":" and "~" all written as "~".
  const char* urls[] = {"/Case.html", "/case.html", "/a/b", "/a~b", "/a:b",  "/a%7Eb",
                        "/a%2Fb",     "/a\\b",      "/a%b", "/A/B", "/a/b/", "/a//b"};
  std::set<std::string> names;
  for (const char* url : urls) {
    EXPECT_TRUE(names.insert(CacheName("h", url)).second) << url;
  }
  std::set<std::string> hosts;
  for (const char* host : {"a:8", "a~8", "a%7E8", "a/8"}) {
    EXPECT_TRUE(hosts.insert(CacheName(host, "/")).second) << host;
  }
  EXPECT_EQ(CacheName("h", "/a~b%c"), "h\\~a%7Eb%25c");
  EXPECT_EQ(CacheName("h", std::string("/a\nb\x7f", 5)), "h\\~a%0Ab%7F");
}

TEST(CacheNames, PathsStayInsideTheLocation) {
  CachePaths paths;
  ASSERT_EQ(CachePathsFor("/c/", CacheName("alpha:8080", "/a/b"), &paths), 0);
  EXPECT_EQ(paths.host_dir, "/c/alpha~8080");
  EXPECT_EQ(paths.full_path, "/c/alpha~8080/~a~b");
  const char* hostile_hosts[] = {"..", ".", ""};
  for (const char* host : hostile_hosts) {
    EXPECT_EQ(CachePathsFor("/c/", CacheName(host, "/x"), &paths), -1) << host;
  }
  // Separators and NULs in a request are escaped: the file stays one level below its host.
  ASSERT_EQ(CachePathsFor("/c/", CacheName("a\\..", "/x\\..\\..\\etc"), &paths), 0);
  EXPECT_EQ(paths.full_path, "/c/a%5C../~x%5C..%5C..%5Cetc");
  ASSERT_EQ(CachePathsFor("/c/", CacheName(std::string("a\0b", 3), "/x"), &paths), 0);
  EXPECT_EQ(paths.host_dir, "/c/a%00b");
  EXPECT_EQ(CachePathsFor("/c/", "a\\x\\y", &paths), -1);
  EXPECT_EQ(CachePathsFor("", CacheName("a", "/x"), &paths), -1);
  // The length rule counts the location and the whole name.
  std::string url = "/" + std::string(253, 'x');  // 259 characters in all with "/c/"
  EXPECT_EQ(CachePathsFor("/c/", CacheName("a", url), &paths), 0);
  EXPECT_EQ(CachePathsFor("/cc/", CacheName("a", url), &paths), -1);
}

TEST(CacheTtl, UnitsAndExceptions) {
  EXPECT_EQ(TtlSeconds(2, kTtlHours), 7200);
  EXPECT_EQ(TtlSeconds(2, kTtlDays), 172800);
  EXPECT_EQ(TtlSeconds(2, kTtlWeeks), 1209600);
  EXPECT_EQ(TtlSeconds(2, 9), 1209600);
  CacheSettings settings;
  settings.ttl = 3;
  settings.ttl_unit = kTtlDays;
  CacheExceptions exceptions;
  exceptions["never"] = std::string{1, kTtlHours};  // count 0
  exceptions["brief:8080"] = std::string{3, kTtlHours};
  exceptions["max"] = std::string{static_cast<char>(255), kTtlWeeks};
  EXPECT_EQ(LookupTtlIn(exceptions, settings, "never"), 0);
  EXPECT_EQ(LookupTtlIn(exceptions, settings, "brief:8080"), 7200);
  EXPECT_EQ(LookupTtlIn(exceptions, settings, "brief"), 3 * 86400);  // exact host text only
  EXPECT_EQ(LookupTtlIn(exceptions, settings, "BRIEF:8080"), 3 * 86400);
  EXPECT_EQ(LookupTtlIn(exceptions, settings, "max"), 254 * 604800);
}

TEST(CacheSettingsLocation, NamesAreAppendedBehindOneSlash) {
  EXPECT_EQ(NormalizeCacheLocation(""), "");
  EXPECT_EQ(NormalizeCacheLocation("/var/cache/web"), "/var/cache/web/");
  EXPECT_EQ(NormalizeCacheLocation("/var/cache/web//"), "/var/cache/web/");
  EXPECT_EQ(NormalizeCacheLocation("/"), "/");
}

}  // namespace
}  // namespace web
