// Codings of stored responses against Accept-Encoding, and the directives that forbid storing.
#include "gateway/web/content_coding.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "gateway/web/cache_record.h"
#include "gateway/web/cache_rules.h"

namespace web {
namespace {

std::string Request(const std::string& accept) {
  return "GET http://h/ HTTP/1.1\r\nHost: h\r\n" + accept + "\r\n";
}

TEST(ContentCoding, AcceptEncodingDecidesWhoGetsACodedCopy) {
  struct Case {
    const char* header;
    const char* coding;
    bool accepted;
  } cases[] = {
      {"Accept-Encoding: gzip, deflate\r\n", "gzip", true},
      {"accept-encoding:GZIP\r\n", "gzip", true},
      {"Accept-Encoding: x-gzip\r\n", "gzip", true},
      {"Accept-Encoding: deflate, br\r\n", "gzip", false},
      {"", "gzip", false},
      {"Accept-Encoding: gzip;q=0\r\n", "gzip", false},
      {"Accept-Encoding: gzip; q=0.5\r\n", "gzip", true},
      {"Accept-Encoding: *\r\n", "br", true},
      {"Accept-Encoding: *, br;q=0\r\n", "br", false},
      {"Accept-Encoding: identity\r\n", "gzip", false},
      {"Accept-Encoding: gzip\r\nAccept-Encoding: br\r\n", "gzip,br", true},
      {"Accept-Encoding: gzip\r\n", "gzip,br", false},
      {"", "", true},
      {"X-Accept-Encoding: gzip\r\n", "gzip", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AcceptsCoding(Request(c.header), c.coding), c.accepted) << c.header << c.coding;
  }
}

TEST(ContentCoding, CodingOfAHeaderBlock) {
  EXPECT_EQ(ContentCodingOf("HTTP/1.1 200 OK\r\nContent-Encoding:  GZIP \r\n"), "gzip");
  EXPECT_EQ(ContentCodingOf("HTTP/1.1 200 OK\r\nContent-Encoding: identity\r\n"), "");
  EXPECT_EQ(ContentCodingOf("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"), "");
  EXPECT_EQ(ContentCodingOf("HTTP/1.1 200 OK\r\nContent-Encoding: x-gzip, br\r\n"), "gzip,br");
}

TEST(ContentCoding, StoredFileIsReadPastItsRecord) {
  std::string path = ::testing::TempDir() + "coding-" + std::to_string(getpid());
  {
    std::ofstream out(path, std::ios::binary);
    out << std::string(kCacheRecordSize, '\x01')
        << "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\nContent-Encoding: br\r\n";
  }
  EXPECT_EQ(StoredContentCoding(path), "gzip");
  {
    std::ofstream out(path, std::ios::binary);
    out << std::string(kCacheRecordSize, '\x01') << "HTTP/1.1 200 OK\r\n\r\nbody";
  }
  EXPECT_EQ(StoredContentCoding(path), "");
  unlink(path.c_str());
  EXPECT_EQ(StoredContentCoding(path), "");
}

TEST(ContentCoding, NoStoreAndPrivateResponsesAreNeverKept) {
  struct Case {
    const char* head;
    bool forbidden;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nCache-Control: no-store\r\n", true},
      {"HTTP/1.1 200 OK\r\ncache-control: max-age=60, PRIVATE\r\n", true},
      {"HTTP/1.1 200 OK\r\nCache-Control: private=\"Set-Thing\"\r\n", true},
      {"HTTP/1.1 200 OK\r\nCache-Control: public, max-age=60\r\n", false},
      {"HTTP/1.1 200 OK\r\nX-Note: private\r\n", false},
  };
  for (const Case& c : cases) {
    std::string head = c.head;
    EXPECT_EQ(CacheControlForbidsStore(Lowered(head.data(), head.size())), c.forbidden) << c.head;
    std::string whole = head + "\r\n";
    EXPECT_EQ(ClassifyResponse(whole.data(), whole.size()), c.forbidden ? -1 : 200) << c.head;
  }
}

}  // namespace
}  // namespace web
